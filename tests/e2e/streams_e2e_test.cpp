// End-to-end: one generated disc carries every sound family that is not
// sequenced music. Its XA streams must decode as ffmpeg's STR demuxer does
// (4-bit) and as the generator's encoder predicted (every coding), its CD-DA
// tracks as bchunk writes them, its VAGs as ffmpeg's VAG demuxer does
// (within its rounding); the same XA file taken from the disc as .XA, .STR
// and RIFF CDXA gives the same streams. Then damaged copies of the disc.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include <nlohmann/json.hpp>

#include "image_streams.h"
#include "test_util.h"

namespace psxdig {
namespace {

using tools::Bytes;
using Samples = std::vector<std::int16_t>;

struct Wav {
  std::uint32_t rate = 0, channels = 0;
  Samples pcm;
};

Wav ReadWav(const std::string& path) {
  const Bytes b = testing::ReadBytes(path);
  Wav w;
  for (std::size_t at = 12; at + 8 <= b.size();) {
    const std::uint32_t size = b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | static_cast<std::uint32_t>(b[at + 7]) << 24;
    const std::string id(b.begin() + at, b.begin() + at + 4);
    if (id == "fmt ") {
      w.channels = b[at + 10];
      w.rate = b[at + 12] | b[at + 13] << 8 | b[at + 14] << 16;
    } else if (id == "data") {
      for (std::size_t k = 0; k + 1 < size && at + 9 + k < b.size(); k += 2) {
        w.pcm.push_back(static_cast<std::int16_t>(b[at + 8 + k] | b[at + 9 + k] << 8));
      }
    }
    at += 8 + size + (size & 1);
  }
  return w;
}

Samples FromBytes(const std::string& bytes) {
  Samples s(bytes.size() / 2);
  for (std::size_t k = 0; k < s.size(); ++k) {
    s[k] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * k]) | bytes[2 * k + 1] << 8);
  }
  return s;
}

Samples Ffmpeg(const std::vector<std::string>& input) {
  std::vector<std::string> args = {"ffmpeg", "-loglevel", "quiet", "-nostdin"};
  args.insert(args.end(), input.begin(), input.end());
  for (const char* a : {"-f", "s16le", "-"}) args.push_back(a);
  return FromBytes(testing::Run("/usr/bin/env", args).out);
}

std::string Hex(std::uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(v));
  return text;
}

std::map<std::string, nlohmann::json> ItemsByOutput(const std::string& listing) {
  std::map<std::string, nlohmann::json> items;
  const nlohmann::json doc = nlohmann::json::parse(testing::ReadText(listing));
  for (const auto& item : doc["items"]) {
    if (item["output"].is_string()) items[item["output"]] = item;
  }
  return items;
}

class StreamsE2e : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "genisoimage, bchunk and ffmpeg are Linux programs";
#endif
    if (std::system("command -v ffmpeg >/dev/null") != 0) {
      std::system(PSXDIG_SOURCE_DIR "/tools/ensure_tools.sh --no-recommends ffmpeg:ffmpeg");
    }
    if (std::system("command -v genisoimage >/dev/null && command -v bchunk >/dev/null && command -v ffmpeg >/dev/null") != 0) {
      GTEST_SKIP() << "genisoimage, bchunk or ffmpeg missing";
    }
    ASSERT_EQ(testing::RunMkimage({"streams-folder", dir.File("disc")}).exitCode, 0);
    ASSERT_EQ(testing::Run("/usr/bin/env", {"genisoimage", "-quiet", "-V", "STREAMS", "-XA", "-o", dir.File("d.iso"), dir.File("disc")}).exitCode, 0);
    ASSERT_EQ(testing::RunMkimage({"streams-raw", dir.File("d.iso"), dir.File("d.bin")}).exitCode, 0);
  }
  testing::TempDir dir;
  const tools::StreamsDisc disc = tools::BuildStreamsDisc();
};

// The raw sectors of one XA channel of d.bin, for ffmpeg.
std::string ChannelSectors(const testing::TempDir& dir, std::uint8_t file, std::uint8_t channel) {
  const Bytes raw = testing::ReadBytes(dir.File("d.bin"));
  Bytes out;
  for (std::size_t at = 0; at + 2352 <= raw.size(); at += 2352) {
    if (raw[at + 16] == file && raw[at + 17] == channel && (raw[at + 18] & 0x24) == 0x24) {
      out.insert(out.end(), raw.begin() + at, raw.begin() + at + 2352);
    }
  }
  const std::string path = dir.File("ch" + std::to_string(file) + "_" + std::to_string(channel) + ".str");
  testing::WriteBytes(path, out);
  return path;
}

TEST_F(StreamsE2e, OneDiscGivesEveryFamilyAsIndependentToolsDecodeIt) {
  const auto run = testing::RunPsxdig({"extract", "--convert", "-o", dir.File("out"), dir.File("d.cue"), dir.File("d.iso"),
                                       dir.File("MUSIC.XA"), dir.File("MUSIC.STR"), dir.File("MUSIC.CDXA")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("d.cue: 1 sequence or bank item, 4 VAG samples, 7 XA streams, 2 CD-DA tracks"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("SOUND/SHORT.VAG@0: the header gives"), std::string::npos) << run.err;
  const std::string out = dir.File("out/d.cue.psxdig/");
  auto items = ItemsByOutput(out + "listing.json");

  for (const tools::VagPlanted& v : disc.vags) {
    const std::string name = v.path + "@" + Hex(v.ofs);
    const nlohmann::json& item = items[name + ".vag"];
    ASSERT_EQ(item["kind"], "sample") << name;
    EXPECT_EQ(item["rate"], v.rate);
    EXPECT_EQ(item["name"], v.name);
    EXPECT_EQ(item["channels"], v.channels);
    EXPECT_EQ(item["note"].is_string(), v.sizeFieldTooLarge) << name;
    const Bytes file = testing::ReadBytes(dir.File("disc/" + v.path));
    EXPECT_EQ(testing::ReadBytes(out + name + ".vag"), Bytes(file.begin() + v.ofs, file.begin() + v.ofs + v.size)) << name;
    const Wav ours = ReadWav(out + name + ".wav");
    EXPECT_EQ(ours.rate, v.rate);
    ASSERT_EQ(ours.channels, v.channels) << name;
    if (v.channels == 2) continue;  // ffmpeg has no VAGi
    // ffmpeg decodes to the end of the file; ours stops at the end flag.
    const Samples ref = Ffmpeg({"-f", "vag", "-i", out + name + ".vag"});
    ASSERT_GE(ref.size(), ours.pcm.size()) << name;
    for (std::size_t k = 0; k < ours.pcm.size(); ++k) ASSERT_NEAR(ours.pcm[k], ref[k], 64) << name << " sample " << k;
  }

  for (const tools::XaFile& f : disc.xa) {
    for (const tools::XaChannel& c : f.channels) {
      std::size_t first = 0;
      while (f.sectors[first].sub[1] != c.channel || !(f.sectors[first].sub[2] & 4)) ++first;
      const std::string name = f.path + "@" + Hex(first * 2048) + "_ch" + std::to_string(c.channel) + ".wav";
      const nlohmann::json& item = items[name];
      ASSERT_EQ(item["kind"], "xa") << name;
      EXPECT_EQ(item["sectors"], c.sectors);
      EXPECT_EQ(item["fileNumber"], f.fileNumber);
      EXPECT_EQ(item["endOfFile"], true);
      const Wav ours = ReadWav(out + name);
      EXPECT_EQ(ours.rate, (c.coding & 4) ? 18900u : 37800u) << name;
      EXPECT_EQ(ours.channels, (c.coding & 1) ? 2u : 1u) << name;
      EXPECT_EQ(ours.pcm, c.decoded) << name;
      if (c.coding & 0x10) continue;  // ffmpeg decodes 8-bit sectors as 4-bit ones
      EXPECT_EQ(ours.pcm, Ffmpeg({"-f", "psxstr", "-i", ChannelSectors(dir, f.fileNumber, c.channel)})) << name;
      if (f.fileNumber != 1) continue;
      // The same stream from the file taken off the disc in three forms.
      const std::uint64_t image = first * 2336;
      for (const auto& [input, offset] : {std::pair{"MUSIC.XA", image}, {"MUSIC.STR", image / 2336 * 2352}, {"MUSIC.CDXA", 44 + image / 2336 * 2352}}) {
        EXPECT_EQ(ReadWav(dir.File("out/") + input + ".psxdig/@" + Hex(offset) + "_ch" + std::to_string(c.channel) + ".wav").pcm,
                  c.decoded) << input;
      }
    }
  }

  const std::uint64_t dataSectors = testing::ReadBytes(dir.File("d.bin")).size() / 2352;
  for (std::size_t t = 0; t < disc.audioTracks.size(); ++t) {
    const std::string n = std::to_string(t + 2);
    const nlohmann::json& item = items["track0" + n + ".wav"];
    ASSERT_EQ(item["kind"], "cdda");
    // Track 2 starts behind the data track and its pregap, track 3 behind track 2's file.
    const std::uint64_t lba = dataSectors + 150 + t * (150 + disc.audioTracks[0].size() / 2352);
    char msf[16];
    std::snprintf(msf, sizeof msf, "%02u:%02u:%02u", unsigned((lba + 150) / 4500), unsigned((lba + 150) / 75 % 60), unsigned((lba + 150) % 75));
    EXPECT_EQ(item["start"], msf);
    EXPECT_EQ(item["sectors"], disc.audioTracks[t].size() / 2352);
    const std::string cue = dir.File("t" + n + ".cue");
    testing::WriteBytes(cue, testing::Str("FILE \"d_0" + n + ".bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 00 00:00:00\n  INDEX 01 00:02:00\n"));
    ASSERT_EQ(testing::Run("/usr/bin/env", {"bchunk", "-w", dir.File("d_0" + n + ".bin"), cue, dir.File("b" + n)}).exitCode, 0);
    const Samples ours = ReadWav(out + "track0" + n + ".wav").pcm;
    EXPECT_EQ(ours, ReadWav(dir.File("b" + n + "01.wav")).pcm) << n;
    EXPECT_EQ(ours.size() * 2, disc.audioTracks[t].size());
  }

  const nlohmann::json iso = nlohmann::json::parse(testing::ReadText(dir.File("out/d.iso.psxdig/listing.json")));
  EXPECT_NE(iso["xaNote"].get<std::string>().find("XA/MUSIC.XA"), std::string::npos);
  EXPECT_EQ(iso["items"].size(), 5u);  // the sequence and the VAGs: no XA audio
  // Each family can be left out.
  ASSERT_EQ(testing::RunPsxdig({"extract", "-q", "--no-vag", "--no-xa", "--no-cdda", "-o", dir.File("only"), dir.File("d.cue")}).exitCode, 0);
  EXPECT_EQ(ItemsByOutput(dir.File("only/d.cue.psxdig/listing.json")).size(), 1u);
}

// Damaged copies: a reserved coding value, a subheader copy that differs,
// a stream that changes its coding, a lone audio sector in another file; a
// sheet whose audio files are missing or shorter than its INDEX says.
TEST_F(StreamsE2e, DamagedSectorsAndTracksGiveALineAndTheRestIsWritten) {
  Bytes raw = testing::ReadBytes(dir.File("d.bin"));
  std::vector<std::size_t> audio;
  for (std::size_t at = 0; at + 2352 <= raw.size(); at += 2352) {
    if (raw[at + 16] == 1 && (raw[at + 18] & 0x24) == 0x24 && raw[at + 17] == 2) audio.push_back(at);
  }
  ASSERT_EQ(audio.size(), 6u);
  raw[audio[0] + 19] = raw[audio[0] + 23] = 0x02;  // reserved channel count
  raw[audio[1] + 21] = 9;               // the copy names another channel
  for (std::size_t k = 3; k < audio.size(); ++k) raw[audio[k] + 19] = raw[audio[k] + 23] = 0x04;  // 18.9 kHz from here on
  // A lone sector of another file number in the padding behind the files.
  const std::size_t last = raw.size() - 2352;
  std::copy(raw.begin() + audio[2] + 16, raw.begin() + audio[2] + 2352, raw.begin() + last + 16);
  raw[last + 16] = raw[last + 20] = 9;
  testing::WriteBytes(dir.File("bad.bin"), raw);
  testing::WriteBytes(dir.File("short.bin"), Bytes(100 * 2352, 0));
  testing::WriteBytes(dir.File("bad.cue"), testing::Str("FILE \"bad.bin\" BINARY\n TRACK 01 MODE2/2352\n  INDEX 01 00:00:00\n"
                                                       "FILE \"gone.bin\" BINARY\n TRACK 02 AUDIO\n  INDEX 01 00:00:00\n"
                                                       "FILE \"short.bin\" BINARY\n TRACK 03 AUDIO\n  INDEX 01 00:02:00\n"));
  const auto run = testing::RunPsxdig({"extract", "-q", "-o", dir.File("out"), dir.File("bad.cue")});
  EXPECT_EQ(run.exitCode, 0) << run.err;  // the data track was searched and streams found
  for (const char* line : {"coding byte 0x02 holds reserved values; sector left out",
                           "1 audio sectors whose subheader copies disagree",
                           "changes its coding from 4-bit mono 37800 Hz to 4-bit mono 18900 Hz; a new stream starts here",
                           "a lone audio sector of file 9 channel 2", "audio track 2: cannot read", "; not written",
                           "audio track 3: its file holds 235200 bytes but INDEX 01 lies at byte 352800"}) {
    EXPECT_NE(run.err.find(line), std::string::npos) << line << "\n" << run.err;
  }
  auto items = ItemsByOutput(dir.File("out/bad.cue.psxdig/listing.json"));
  EXPECT_EQ(items.count("track02.wav") + items.count("track03.wav"), 0u);
  std::size_t streams = 0;
  for (const auto& [name, item] : items) streams += item["kind"] == "xa";
  EXPECT_EQ(streams, 9u);  // 7, one split by its coding change, and the lone sector
}

}  // namespace
}  // namespace psxdig
