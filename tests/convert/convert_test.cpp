// The converters: SEQ/SEP to MIDI byte for byte, the ADPCM decoder against
// hand-made blocks and the generator's encoder, VAB to SoundFont 2 zone by
// zone, WAV loops, and the malformed inputs each one refuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "convert/adpcm.h"
#include "convert/convert.h"
#include "convert/sf2.h"
#include "image_audio.h"
#include "test_util.h"

namespace psxdig::convert {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::Str;

Bytes Seq(const Bytes& events) { return tools::MakeSeqFile(384, 468750, events); }

// What every converted SEQ begins with: the header, track length, tempo and
// time signature of a 384-tick, 468750 us sequence in 4/4.
Bytes SmfOf(const Bytes& body) {
  const Bytes track = Cat({{0x00, 0xFF, 0x51, 0x03, 0x07, 0x27, 0x0E, 0x00, 0xFF, 0x58, 0x04, 4, 2, 0x18, 0x08}, body});
  const auto n = static_cast<std::uint32_t>(track.size());
  return Cat({Str("MThd"), {0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0x80}, Str("MTrk"),
              {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)}, track});
}

TEST(SeqToSmf, ConvertsOrRefusesEveryCase) {
  const Bytes example = {0x00, 0xC0, 0x05, 0x00, 0xB0, 0x63, 0x14, 0x00, 0x06, 0x7F, 0x00, 0x90, 0x3C, 0x64,
                         0x83, 0x00, 0x3C, 0x00, 0x00, 0xFF, 0x51, 0x07, 0xA1, 0x20, 0x00, 0x51, 0x07, 0x27,
                         0x0E, 0x00, 0xB0, 0x63, 0x1E, 0x00, 0xFF, 0x2F, 0x00};
  const Bytes exampleSmf = SmfOf(Cat({{0x00, 0xC0, 0x05, 0x00, 0xB0, 0x63, 0x14, 0x00, 0xFF, 0x06, 0x09}, Str("loopStart"),
                                      {0x00, 0xB0, 0x06, 0x7F, 0x00, 0x90, 0x3C, 0x64, 0x83, 0x00, 0x90, 0x3C, 0x00,
                                       0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x51, 0x03, 0x07, 0x27,
                                       0x0E, 0x00, 0xB0, 0x63, 0x1E, 0x00, 0xFF, 0x06, 0x07},
                                      Str("loopEnd"), {0x00, 0xFF, 0x2F, 0x00}}));
  const Bytes note = {0x00, 0x90, 0x3C, 0x64};
  const Bytes end = {0x00, 0xFF, 0x2F, 0x00};
  struct Case {
    const char* name;
    Bytes file;
    Bytes smf;          // expected output of a SEQ
    const char* error;  // expected error, "" for none
  } cases[] = {
      {"example", Seq(example), exampleSmf, ""},
      {"reversed magic", tools::MakeSeqFile(384, 468750, example, true), exampleSmf, ""},
      {"end without its zero", Seq({0x00, 0xC1, 0x02, 0x00, 0xFF, 0x2F}), SmfOf({0x00, 0xC1, 0x02, 0x00, 0xFF, 0x2F, 0x00}), ""},
      {"note cut short", Seq({0x00, 0x90, 0x3C}), {}, "event at 0xF: event runs past the data"},
      {"delta past the data", Seq(Cat({note, {0x81}})), {}, "event at 0x13: delta time runs past"},
      {"five-byte delta", Seq(Cat({note, {0x81, 0x81, 0x81, 0x81, 0x00}})), {}, "exceeds 4 bytes"},
      {"unknown status", Seq(Cat({note, {0x00, 0xF3, 0x01}, end})), {}, "event at 0x13: unsupported status 0xF3"},
      {"unknown meta", Seq(Cat({note, {0x00, 0xFF, 0x01, 0x00}, end})), {}, "unsupported meta event type 0x1"},
      {"data without status", Seq({0x00, 0x3C, 0x40}), {}, "data byte 0x3C without a status byte"},
      {"high data byte", Seq({0x00, 0x90, 0x3C, 0x80}), {}, "data byte 0x80 of status 0x90"},
      {"no end of track", Seq(note), {}, "the events end without an end of track"},
      {"no events", Seq(end), {}, "the sequence has no events"},
      {"resolution 0", tools::MakeSeqFile(0, 500000, Cat({note, end})), {}, "resolution 0 is not a tick count"},
      {"SEP record past the end", Cat({Str("pQES"), {0, 0, 0, 0, 1, 0x80, 7, 0x27, 0x0E, 4, 2, 0, 0, 1, 0}, end}), {},
       "sequence 0 claims 256 bytes of events, past the end"},
      {"no magic", Str("MThd00000000000000"), {}, "not a SEQ or SEP file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ConvertResult r = ConvertSequence(c.file);
    if (*c.error) {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    } else {
      EXPECT_EQ(r.error, "");
    }
    if (c.smf.empty()) {
      EXPECT_TRUE(r.files.empty());
    } else {
      ASSERT_EQ(r.files.size(), 1u);
      EXPECT_EQ(r.files[0].suffix, ".mid");
      EXPECT_EQ(r.files[0].bytes, c.smf);
    }
  }
  // A SEP: one file per sequence, named by its ID; a broken second one
  // stops the conversion after the first.
  const Bytes good = Cat({note, {0x10, 0x3C, 0x00}, end});
  const ConvertResult sep = ConvertSequence(tools::MakeSepFile(384, 468750, {good, good}));
  ASSERT_EQ(sep.files.size(), 2u);
  EXPECT_EQ(sep.files[1].suffix, "_1.mid");
  EXPECT_EQ(sep.files[1].bytes, SmfOf(Cat({note, {0x10, 0x90, 0x3C, 0x00}, end})));
  const ConvertResult broken = ConvertSequence(tools::MakeSepFile(384, 468750, {good, note}));
  EXPECT_EQ(broken.files.size(), 1u);
  EXPECT_EQ(broken.error, "sequence 1: event at 0x2F: the events end without an end of track");
}

TEST(SeqToSmf, LeavesOutBankSelectsAndWritesTheBendRangeOfEachProgram) {
  const Bytes events = {0x00, 0xB1, 0x00, 0x30, 0x05, 0x20, 0x01, 0x03, 0xC1, 0x03, 0x00, 0x91, 0x3C, 0x64,
                        0x10, 0xB1, 0x00, 0x02, 0x00, 0xC1, 0x04, 0x00, 0xFF, 0x2F, 0x00};
  BendRanges bends;
  bends.fill(-1);
  bends[3] = 12;
  const Bytes rpn12 = {0x00, 0xB1, 101, 0, 0x00, 0xB1, 100, 0, 0x00, 0xB1, 6, 12,
                       0x00, 0xB1, 38, 0, 0x00, 0xB1, 101, 127, 0x00, 0xB1, 100, 127};
  // The deltas of the three bank selects move to the events after them;
  // program 4 is not in the bank: no range.
  const Bytes tail = {0x00, 0x91, 0x3C, 0x64, 0x10, 0xC1, 0x04, 0x00, 0xFF, 0x2F, 0x00};
  for (const bool withBank : {false, true}) {
    const ConvertResult r = ConvertSequence(Seq(events), withBank ? &bends : nullptr);
    ASSERT_EQ(r.files.size(), 1u);
    EXPECT_EQ(r.droppedBankSelect, 3u);
    EXPECT_EQ(r.files[0].bytes, SmfOf(Cat({{0x08, 0xC1, 0x03}, withBank ? rpn12 : Bytes{}, tail})));
  }
  // Left-out time beyond what one delta holds goes to an empty text event.
  const ConvertResult far = ConvertSequence(Seq({0xFF, 0xFF, 0xFF, 0x7F, 0xB0, 0x00, 0x01, 0x01, 0xC0, 0x02,
                                                 0x00, 0xFF, 0x2F, 0x00}));
  ASSERT_EQ(far.files.size(), 1u);
  EXPECT_EQ(far.files[0].bytes, SmfOf({0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00, 0x01, 0xC0, 0x02, 0x00, 0xFF, 0x2F, 0x00}));
  // The range most of a program's tones have.
  std::vector<tools::TestTone> tones(4);
  for (std::size_t k = 0; k < 4; ++k) tones[k].bend = k == 0 ? 12 : 0;
  tones[3].program = 7;
  const BankBends read = ReadBankBends(tools::MakeTestVab(tones, {Bytes(16, 0)}));
  EXPECT_EQ(read.error, "");
  EXPECT_EQ(read.ranges[0], 0);
  EXPECT_EQ(read.ranges[7], 0);
  EXPECT_EQ(read.ranges[1], -1);
  EXPECT_EQ(ReadBankBends(Str("pBAV")).error, "the header is cut short: 4 of 2592 bytes");
}

TEST(Envelope, FallsAreMatchedWhereTheyAreHeard) {
  const auto tc = [](double seconds) { return static_cast<int>(std::lround(1200 * std::log2(seconds))); };
  struct Case {
    std::uint16_t adsr1, adsr2;
    int decay, sustain, release, sustainAttenuation;
  } cases[] = {
      // Linear release shift 14: 20 dB down after 3687 steps of 8 ticks; x 5.
      {0x000F, 0x5FCE, -12000, 0, tc(5 * 3687 * 8 / 44100.0), 0},
      // Exponential release shift 12: the chip's steps round down, 20 dB
      // down after 0.356 s (an exact exponential: 0.428 s).
      {0x000F, 0x5FEC, -12000, 0, tc(5 * 0.356), 0},
      // SL 12: the decay (shift 2) steps 32767 -> 28671 -> 25087, below
      // 13 x 0x800; the linear fall from there (5 units per 32 ticks) is 6.5 dB
      // down after 2 s and the decay line meets it there. The sustain level
      // (2.3 dB) goes into the attenuation.
      {0x002C, 0x50CE, tc(100 * 2 / -(20 * std::log10(1 - 2 / (25087 / 5.0 * 32 / 44100)))), 1000,
       tc(5 * 3687 * 8 / 44100.0), 23},
      // SL 7: the decay ends at 14705 (-6.96 dB) after 6 steps, and the line
      // falls that far in that time; the linear rise (4 units per 32 ticks)
      // reaches 25730 (-2.10 dB) after 2 s; the level is held half way in dB.
      {0x0027, 0x10EC, tc(100 / 6.96 * 6 / 44100), 45, tc(5 * 0.356), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.adsr2);
    const ZoneEnvelope env = EnvelopeFromAdsr(c.adsr1, c.adsr2);
    EXPECT_NEAR(env.decay, c.decay, 10);
    EXPECT_EQ(env.sustain, c.sustain);
    EXPECT_NEAR(env.release, c.release, 5);
    EXPECT_EQ(env.sustainAttenuation, c.sustainAttenuation);
  }
}

TEST(AdpcmDecoder, DecodesBlocksAndFindsLoops) {
  // Hand-made blocks: shift 13 acts as 9; filter 1 on a full history clamps.
  Bytes blocks(48, 0);
  blocks[0] = 0x0D;
  std::fill(blocks.begin() + 2, blocks.begin() + 16, 0x77);
  blocks[16] = 0x00;
  std::fill(blocks.begin() + 18, blocks.begin() + 32, 0x77);
  blocks[32] = 0x10;
  blocks[33] = 0x01;
  std::fill(blocks.begin() + 34, blocks.begin() + 48, 0x77);
  const DecodedSample hand = DecodeAdpcm(blocks);
  ASSERT_EQ(hand.pcm.size(), 84u);
  EXPECT_EQ(hand.pcm[0], 56);
  EXPECT_EQ(hand.pcm[28], 28672);
  EXPECT_EQ(hand.pcm[56], 32767);
  EXPECT_FALSE(hand.loops);

  // Encoder -> decoder round trips, with the extent and loop of each ending.
  const tools::Pcm sine = tools::MakeSine(28 * 40, 84, 12000);
  struct Case {
    tools::AdpcmEnd end;
    std::uint32_t loopBlock;
    bool loops;
    std::uint32_t loopStart, loopEnd;
  } cases[] = {{tools::AdpcmEnd::kLoop, 11, true, 28 * 11, 28 * 41},
               {tools::AdpcmEnd::kLoop, 40, true, 28 * 40, 28 * 41},  // flags 07 on a sounding block
               {tools::AdpcmEnd::kLoop, 99, true, 0, 28 * 41},        // no loop-start flag: from block 0
               {tools::AdpcmEnd::kEndFlag, 1, false, 0, 0},
               {tools::AdpcmEnd::kSilentLoop, 1, false, 0, 0}};
  for (const Case& c : cases) {
    const Bytes adpcm = tools::EncodeAdpcm(sine, c.end, c.loopBlock);
    const DecodedSample d = DecodeAdpcm(Cat({adpcm, Bytes(32, 0x11)}));  // data after the end is never read
    SCOPED_TRACE(static_cast<int>(c.end));
    EXPECT_EQ(d.loops, c.loops);
    EXPECT_EQ(d.loopStart, c.loopStart);
    EXPECT_EQ(d.loopEnd, c.loopEnd);
    ASSERT_EQ(d.pcm.size(), 28u * 41);
    int worst = 0;
    for (std::size_t k = 0; k < sine.size(); ++k) worst = std::max(worst, std::abs(d.pcm[28 + k] - sine[k]));
    EXPECT_LE(worst, 200);  // 1.7 % of the amplitude
  }
}

// The data of the first chunk `id` inside a RIFF file.
Bytes ChunkData(const Bytes& riff, const std::string& id) {
  const auto at = std::search(riff.begin() + 12, riff.end(), id.begin(), id.end());
  if (riff.end() - at < 8) return {};
  const std::size_t off = static_cast<std::size_t>(at - riff.begin()) + 8;
  const std::size_t size = riff[off - 4] | (riff[off - 3] << 8) | (riff[off - 2] << 16) | (riff[off - 1] << 24);
  return Bytes(riff.begin() + off, riff.begin() + off + std::min(size, riff.size() - off));
}

std::vector<int> Words(const Bytes& data, std::size_t from, std::size_t count, bool isSigned = true) {
  std::vector<int> out;
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint16_t v = data[from + 2 * k] | (data[from + 2 * k + 1] << 8);
    out.push_back(isSigned ? static_cast<std::int16_t>(v) : v);
  }
  return out;
}

std::uint32_t U32(const Bytes& data, std::size_t at) {
  return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (std::uint32_t{data[at + 3]} << 24);
}

class VabConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    samples = {tools::EncodeAdpcm(tools::MakeSine(28 * 40, 84, 12000), tools::AdpcmEnd::kLoop, 11),
               tools::EncodeAdpcm(tools::MakeSine(28 * 10, 56, 9000), tools::AdpcmEnd::kSilentLoop),
               tools::EncodeAdpcm(tools::MakeSine(28 * 3, 28, 10000), tools::AdpcmEnd::kLoop, 3),
               tools::EncodeAdpcm(tools::MakeSine(28 * 5, 42, 8000), tools::AdpcmEnd::kEndFlag)};
    tones = {{0, 0, 63, 69, 0, 127, 64, 0x80FF, 0x5FC0, 1},
             {0, 64, 127, 72, 32, 100, 20, 0x0A7B, 0x5FED, 3},
             {5, 70, 50, 60, 0, 127, 127, 0x0A7B, 0xCA45, 2, 2, 4},
             {5, 0, 127, 60, 0, 127, 64, 0x80FF, 0x5FC0, 0},  // no sample: skipped
             {9, 0, 127, 60, 0, 127, 64, 0x80FF, 0x5FC0, 7}};  // past the table: skipped
    vab = tools::MakeTestVab(tones, samples);
    vab[0x18] = 100;  // master volume
  }
  std::vector<Bytes> samples;
  std::vector<tools::TestTone> tones;
  Bytes vab;
};

TEST_F(VabConversion, WritesZonesSamplesPresetsAndWavs) {
  const ConvertResult r = ConvertFile(vab, "tone", true);
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.files.size(), 5u);
  EXPECT_EQ(r.files[0].suffix, ".sf2");
  EXPECT_EQ(r.files[4].suffix, "_4.wav");
  const Bytes& sf2 = r.files[0].bytes;
  EXPECT_EQ(U32(sf2, 4), sf2.size() - 8);
  // One zone per tone with a sample, and one more for the keys the sound
  // chip plays at its highest pitch (from 96 for centre 72 and fine tune
  // 4/16: key 96 would be 24.25 semitones up). Attenuation counts the
  // master volume (100 here) and, for tone 2 whose sustain falls, its
  // sustain level (25 cB); tone 2 feeds the reverb. Releases: tone 1
  // exponential shift 13 (20 dB down after 0.713 s, x 5 = 2200 tc), tone 2
  // linear shift 5 (20 dB down after 58 ticks, x 5 = -8698 tc).
  const int master = static_cast<int>(std::lround(-200 * std::log10(100 / 127.0)));
  const std::vector<std::vector<std::pair<int, int>>> zones = {
      {{43, 63 << 8}, {48, master}, {17, 0}, {34, -12000}, {36, 4916}, {37, 0}, {38, -12000}, {52, 0}, {54, 1}, {58, 69}, {53, 0}},
      {{43, 64 | 95 << 8}, {48, 21 + master}, {17, -344}, {34, -12000}, {36, -4677}, {37, 25}, {38, 2200},
       {52, 25}, {54, 1}, {58, 72}, {53, 2}},
      {{43, 96 | 127 << 8}, {48, 21 + master}, {17, -344}, {34, -12000}, {36, -4677}, {37, 25}, {38, 2200},
       {51, 24}, {56, 0}, {54, 1}, {58, 96}, {53, 2}},
      {{43, 50 | 70 << 8}, {48, master + 25}, {17, 500}, {16, 500}, {34, -12000}, {36, -1142}, {37, 1000},
       {38, -8698}, {52, 0}, {54, 0}, {58, 60}, {53, 1}}};
  const Bytes igen = ChunkData(sf2, "igen");
  const Bytes ibag = ChunkData(sf2, "ibag");
  ASSERT_EQ(ibag.size(), 4u * (zones.size() + 1));
  for (std::size_t z = 0; z < zones.size(); ++z) {
    SCOPED_TRACE(z);
    const std::size_t from = Words(ibag, 4 * z, 1, false)[0], to = Words(ibag, 4 * z + 4, 1, false)[0];
    std::vector<std::pair<int, int>> got;
    for (std::size_t g = from; g < to; ++g) {
      const std::vector<int> w = Words(igen, 4 * g, 2, false);
      got.emplace_back(w[0], w[0] == 43 ? w[1] : static_cast<std::int16_t>(w[1]));
    }
    EXPECT_EQ(got, zones[z]);
  }
  // Presets 0 and 5 in banks 0 and 128, then the terminal record.
  const Bytes phdr = ChunkData(sf2, "phdr");
  ASSERT_EQ(phdr.size(), 38u * 5);
  std::vector<int> presets;
  for (std::size_t p = 0; p < 5; ++p) {
    for (const int v : Words(phdr, 38 * p + 20, 3, false)) presets.push_back(v);
  }
  EXPECT_EQ(presets, (std::vector<int>{0, 0, 0, 5, 0, 1, 0, 128, 2, 5, 128, 3, 0, 0, 4}));
  // Sample extents relative to their start: end, loop start, loop end. The
  // 28-point loop is doubled; loops get 8 points of tail, short samples
  // zeros up to 48 points.
  const Bytes shdr = ChunkData(sf2, "shdr");
  ASSERT_EQ(shdr.size(), 46u * 5);
  const std::uint32_t expected[4][3] = {{1156, 308, 1148}, {308, 0, 308}, {148, 84, 140}, {168, 0, 168}};
  for (std::size_t k = 0; k < 4; ++k) {
    const std::uint32_t start = U32(shdr, 46 * k + 20);
    EXPECT_EQ(U32(shdr, 46 * k + 24) - start, expected[k][0]) << k;
    EXPECT_EQ(U32(shdr, 46 * k + 28) - start, expected[k][1]) << k;
    EXPECT_EQ(U32(shdr, 46 * k + 32) - start, expected[k][2]) << k;
    EXPECT_EQ(U32(shdr, 46 * k + 36), 44100u);
  }
  // WAVs: PCM size, and the smpl loop (unity note, fraction, start, last point).
  struct Wav {
    std::size_t file;
    std::uint32_t points;
    std::vector<std::uint32_t> smpl;  // empty: no smpl chunk
  } wavs[] = {{1, 1148, {69, 0, 308, 1147}}, {2, 308, {}}, {3, 112, {71, 0xC0000000, 84, 111}}, {4, 168, {}}};
  for (const Wav& w : wavs) {
    const Bytes& bytes = r.files[w.file].bytes;
    EXPECT_EQ(ChunkData(bytes, "data").size(), 2u * w.points);
    EXPECT_EQ(U32(bytes, 24), 44100u);
    const Bytes smpl = ChunkData(bytes, "smpl");
    if (w.smpl.empty()) {
      EXPECT_TRUE(smpl.empty()) << w.file;
      continue;
    }
    ASSERT_EQ(smpl.size(), 60u);
    EXPECT_EQ((std::vector<std::uint32_t>{U32(smpl, 12), U32(smpl, 16), U32(smpl, 44), U32(smpl, 48)}), w.smpl);
  }
}

TEST_F(VabConversion, RefusesInconsistentBanks) {
  const std::size_t headerSize = 0xA20 + 0x200 * 3;
  const ByteSpan all(vab);
  const std::string bodySize = std::to_string(vab.size() - headerSize);
  const std::string shortSize = std::to_string(vab.size() - headerSize - 16);
  Bytes programs129 = vab, tones17 = vab, noSample = vab;
  programs129[0x12] = 129;
  tones17[0x20] = 17;
  for (std::size_t t = 0; t < 16; ++t) noSample[0x820 + 0x20 * t + 0x16] = 0;
  for (std::size_t t = 0; t < 16; ++t) noSample[0xA20 + 0x20 * t + 0x16] = 0;
  struct Case {
    ConvertResult result;
    std::string error;
    std::size_t files;
  } cases[] = {
      {ConvertBank(all.first(headerSize), all.subspan(headerSize + 16), "b", true),
       "the sample sizes add up to " + bodySize + " bytes but the body holds " + shortSize, 0},
      {ConvertBank(all.first(100), all.subspan(headerSize), "b", true), "the header is cut short: 100 of 4128 bytes", 0},
      {ConvertFile(all.first(headerSize), "b", true), "a VAB header without its body (.vb)", 0},
      {ConvertFile(programs129, "b", true), "the header claims 129 programs (at most 128)", 0},
      {ConvertFile(tones17, "b", true), "program 0 claims 17 tones (at most 16)", 0},
      {ConvertFile(noSample, "b", true), "no program has a tone with a sample", 4},  // the WAVs are still written
      {ConvertFile(Str("pBA"), "b", true), "not a SEQ, SEP or VAB file", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result.error, c.error);
    EXPECT_EQ(c.result.files.size(), c.files) << c.error;
  }
}

}  // namespace
}  // namespace psxdig::convert
