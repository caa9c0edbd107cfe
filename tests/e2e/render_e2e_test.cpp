// psxdig render on the generator's convert set and the real square-wave
// bank, and extract --render on an image holding a bank and its sequences.
#include <gtest/gtest.h>

#include <cmath>

#include <nlohmann/json.hpp>

#include "app/flac_encode.h"
#include "app/render_cmd.h"
#include "convert/convert.h"
#include "convert/adpcm.h"
#include "image_audio.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::ReadBytes;
using testing::RunPsxdig;
using tools::Bytes;

// The left channel of a 16-bit stereo WAV written by render.
std::vector<std::int16_t> LeftOf(const Bytes& wav) {
  std::vector<std::int16_t> left;
  for (std::size_t at = 44; at + 4 <= wav.size(); at += 4) {
    left.push_back(static_cast<std::int16_t>(wav[at] | (wav[at + 1] << 8)));
  }
  return left;
}

// Frequency of a stretch by its rising zero crossings (interpolated), in
// units of the sample rate.
double Frequency(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
  std::vector<double> ups;
  for (std::size_t k = from + 1; k < to; ++k) {
    if (s[k - 1] < 0 && s[k] >= 0) ups.push_back(k - 1 + double(-s[k - 1]) / (s[k] - s[k - 1]));
  }
  return ups.size() < 3 ? 0 : (ups.size() - 1) / (ups.back() - ups.front());
}

TEST(RenderCommand, RendersTheConvertSetAndTheSquareBank) {
  testing::TempDir dir;
  ASSERT_EQ(testing::RunMkimage({"convert-set", dir.path().string()}).exitCode, 0);
  const std::string out = dir.File("out");
  auto r = RunPsxdig({"render", dir.File("song.seq"), dir.File("tone.vab"), "--loops", "1", "--fade", "0", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto inOut = [&](const char* name) { return (testing::fs::path(out) / name).string() + "\n"; };
  EXPECT_EQ(r.out, inOut("song.wav"));
  r = RunPsxdig({"render", "-q", dir.File("multi.sep"), dir.File("split.vh"), "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, inOut("multi_0.wav") + inOut("multi_1.wav"));
  // Lengths: the looped song once through (1.8 s and the 5 ticks its bank
  // select takes, 79609.7 output ticks, fade 0) exactly; the
  // SEP's sequences (0.65 s, 0.45 s, no loop) up to their release tails.
  const struct {
    const char* file;
    std::size_t least, most;
  } renders[] = {{"song.wav", 79609, 79609}, {"multi_0.wav", 28665, 28665 + 441000},
                 {"multi_1.wav", 19845, 19845 + 441000}};
  for (const auto& c : renders) {
    const Bytes wav = ReadBytes(dir.File("out/") + c.file);
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    const std::vector<std::int16_t> left = LeftOf(wav);
    EXPECT_GE(left.size(), c.least) << c.file;
    EXPECT_LE(left.size(), c.most) << c.file;
    double energy = 0;
    int peak = 0;
    for (const std::int16_t s : left) energy += double(s) * s, peak = std::max(peak, std::abs(int(s)));
    EXPECT_GT(std::sqrt(energy / left.size()), 300) << c.file;  // not silent
    EXPECT_LT(peak, 32767) << c.file;                           // not clipped
  }

  const Bytes seq = tools::MakeSeqFile(
      480, 500000, {0x00, 0x90, 64, 127, 0x81, 0x70, 64, 0, 0x00, 76, 127, 0x81, 0x70, 76, 0, 0x00, 0xFF, 0x2F, 0x00});
  testing::WriteBytes(dir.File("notes.seq"), seq);
  // FLAC when built in; bad input and usage.
  r = RunPsxdig({"render", "-q", dir.File("multi.sep"), dir.File("split.vh"), "--flac", "-o", out});
  if (FlacAvailable()) {
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(dir.File("out/multi_1.flac")).at(0), 'f');
  } else {
    EXPECT_EQ(r.exitCode, 1);
  }
  Bytes noTime = seq;
  noTime[8] = noTime[9] = 0;  // resolution 0
  testing::WriteBytes(dir.File("bad.seq"), noTime);
  r = RunPsxdig({"render", dir.File("bad.seq"), dir.File("tone.vab"), "-o", out});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "psxdig render: " + dir.File("bad.seq") + ": resolution 0: the sequence has no time base\n");
  std::filesystem::copy_file(dir.File("split.vh"), dir.File("lonely.vh"));
  EXPECT_EQ(RunPsxdig({"render", dir.File("song.seq"), dir.File("lonely.vh")}).exitCode, 1);
  EXPECT_EQ(RunPsxdig({"render", "--help"}).exitCode, 0);
  EXPECT_EQ(RunPsxdig({"render", dir.File("song.seq")}).exitCode, 2);
  EXPECT_EQ(RunPsxdig({"render", "--loops", "0", dir.File("song.seq"), dir.File("tone.vab")}).exitCode, 2);
  // The square bank (centre note 64): notes 64 and 76, 0.25 s apart, sound
  // at the sample's own frequency and an octave above it, within 2 cents.
  const std::string fixture = PSXDIG_FIXTURES "/square.VAB";
  if (!std::filesystem::exists(fixture)) GTEST_SKIP() << fixture << " is missing";
  const Bytes square = ReadBytes(fixture);
  r = RunPsxdig({"render", dir.File("notes.seq"), fixture, "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::int16_t> played = LeftOf(ReadBytes(dir.File("out/notes.wav")));
  const std::size_t vh = 0xA20 + 0x200;
  const std::vector<std::int16_t> decoded =
      convert::DecodeAdpcm(ByteSpan(square).subspan(vh)).pcm;
  const double own = Frequency(decoded, 0, decoded.size());
  ASSERT_GT(own, 0);
  const double notes[2] = {Frequency(played, 100, 4000), Frequency(played, 11025 + 100, 11025 + 2200)};
  EXPECT_NEAR(1200 * std::log2(notes[0] / own), 0, 2);
  EXPECT_NEAR(1200 * std::log2(notes[1] / own), 1200, 2);

}

TEST(RenderCommand, ExtractRendersEverySequenceWithItsBank) {
  testing::TempDir dir;
  Bytes vab = tools::MakeTestVab({tools::TestTone{}}, {tools::EncodeAdpcm(tools::MakeSine(28 * 20, 40, 9000),
                                                                          tools::AdpcmEnd::kLoop, 5)});
  vab[40] = vab[41] = 0xFF;  // the program record's unused bytes as rip recognises them
  const Bytes sep = tools::MakeSepFile(480, 500000, {tools::MakeSong({{0}, {0}, {60, 64}}).events,
                                                     tools::MakeSong({{1}, {0}, {67}}).events});
  const std::size_t sepAt = (0x800 + vab.size() + 0x800) & ~std::size_t{0x7FF};
  const Bytes image = testing::Cat({Bytes(0x800, 0), vab, Bytes(sepAt - 0x800 - vab.size(), 0), sep});
  testing::WriteBytes(dir.File("mix.bin"), image);
  testing::WriteBytes(dir.File("alone.bin"), testing::Cat({Bytes(0x800, 0), sep}));
  const auto r = RunPsxdig({"extract", "--render", "-q", "-o", dir.File("out"), dir.File("mix.bin"), dir.File("alone.bin")});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  // The SEP of mix.bin plays with the bank before it, as render would play it.
  const ByteSpan bank(vab);
  const std::size_t header = convert::BankHeaderSize(bank);
  const render::PlayableBank playable = render::LoadBank(bank.first(header), bank.subspan(header));
  std::vector<RenderedFile> expected;
  RenderSequenceFile(sep, playable, {}, false, [&](RenderedFile&& f) { expected.push_back(std::move(f)); });
  ASSERT_EQ(expected.size(), 2u);
  const std::string folder = dir.File("out/mix.bin.psxdig/");
  const auto json = nlohmann::json::parse(testing::ReadText(folder + "listing.json"));
  char stem[32];
  std::snprintf(stem, sizeof stem, "@%zx", sepAt);
  bool seen = false;
  for (const auto& item : json["items"]) {
    if (item["ext"] != ".sep") continue;
    seen = true;
    EXPECT_EQ(item["renderedWith"], "@800.vh");
    ASSERT_EQ(item["rendered"].size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
      const std::string file = stem + expected[k].suffix;
      EXPECT_EQ(item["rendered"][k]["file"], file);
      EXPECT_DOUBLE_EQ(item["rendered"][k]["seconds"].get<double>(), expected[k].seconds);
      EXPECT_EQ(ReadBytes(folder + file), expected[k].bytes) << file;
    }
  }
  EXPECT_TRUE(seen);
  // Without a bank on its disc, the sequence is listed as not rendered.
  const auto alone = nlohmann::json::parse(testing::ReadText(dir.File("out/alone.bin.psxdig/listing.json")));
  ASSERT_EQ(alone["items"].size(), 1u);
  EXPECT_TRUE(alone["items"][0]["rendered"].empty());
  EXPECT_NE(alone["items"][0].value("renderError", ""), "");
}

}  // namespace
}  // namespace psxdig
