// The voice and the sequencer against the sound chip's and the library's
// rules: the interpolation table, envelope phase lengths, the pitch rule,
// sample ends, the voice stealing order, and the length of a render.
#include <gtest/gtest.h>

#include <cmath>

#include "convert/adpcm.h"
#include "image_audio.h"
#include "render/gauss_table.h"
#include "render/render.h"

namespace psxdig::render {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(RenderVoice, InterpolationTableIsTheHardwareTable) {
  for (int i = 0; i < 256; ++i) {
    const int sum = kGaussTable[0xFF - i] + kGaussTable[0x1FF - i] + kGaussTable[0x100 + i] + kGaussTable[i];
    EXPECT_GE(sum, 32639) << i;
    EXPECT_LE(sum, 32641) << i;
  }
  // Sum and index-weighted sum of the 512 entries as typed in the table's source.
  std::int64_t sum = 0, weighted = 0;
  for (int k = 0; k < 512; ++k) {
    sum += kGaussTable[k];
    weighted += std::int64_t{k + 1} * kGaussTable[k];
  }
  EXPECT_EQ(sum, 4177922);
  EXPECT_EQ(weighted, 1669063706);
  EXPECT_EQ(kGaussTable[0x100], 4871);
  EXPECT_EQ(kGaussTable[0x1FF], 22963);
  EXPECT_EQ(kGaussTable[0x155], 11855);
}

// Ticks the envelope spends in `phase`, once it is there.
std::uint64_t TicksIn(Envelope& e, EnvelopePhase phase, std::uint64_t limit = 50000000) {
  std::uint64_t n = 0;
  while (e.phase() == phase && n < limit) e.Tick(), ++n;
  return n;
}

TEST(RenderVoice, EnvelopePhasesLastAsTheSteppingSays) {
  const struct {
    std::uint16_t adsr1, adsr2;
    EnvelopePhase phase;
    std::uint64_t ticks;
  } cases[] = {
      // Linear attack, shift 0, +7 << 11: 14336, 28672, 32767.
      {0x000F, 0x1FC0, EnvelopePhase::kAttack, 3},
      // Exponential: the same two steps, then a wait of 4 above 0x6000.
      {0x800F, 0x1FC0, EnvelopePhase::kAttack, 6},
      // Shift 11, step +4 every tick: ceil(32767 / 4).
      {0x2F0F, 0x1FC0, EnvelopePhase::kAttack, 8192},
      // Shift 13, step +7 every 4 ticks: ceil(32767 / 7) x 4.
      {0x340F, 0x1FC0, EnvelopePhase::kAttack, 18724},
      // Decay shift 0 halves the level: 32767 -> 16383 (SL 7) -> 8191 (SL 3).
      {0x0007, 0x1FC0, EnvelopePhase::kDecay, 1},
      {0x0003, 0x1FC0, EnvelopePhase::kDecay, 2},
      // Linear release, shift 20: 2^(20 + 1) ticks from full scale, as the continuous formula gives.
      {0x000F, 0x1FD4, EnvelopePhase::kRelease, 2097152},
  };
  for (const auto& c : cases) {
    Envelope e;
    e.Start(c.adsr1, c.adsr2);
    if (c.phase != EnvelopePhase::kAttack) TicksIn(e, EnvelopePhase::kAttack);
    if (c.phase == EnvelopePhase::kRelease) {
      ASSERT_EQ(e.phase(), EnvelopePhase::kSustain);
      e.Release();
    }
    EXPECT_EQ(TicksIn(e, c.phase), c.ticks) << std::hex << c.adsr1 << " " << c.adsr2;
  }
  // Exponential decay from full scale to below 0x800 (SL 0) against the
  // continuous formula ln(32767 / 2048) x 2^(shift + 1) ticks: close for
  // small shifts; from shift 11 on every step is at least -1 of about
  // L / 4096, and the integer steps end the fall a fifth sooner.
  const struct {
    std::uint16_t adsr1;
    double low, high;
  } falls[] = {{0x0040, 0.99, 1.0}, {0x0060, 0.98, 1.0}, {0x00F0, 0.79, 0.81}};
  Envelope e;
  for (const auto& f : falls) {
    e.Start(f.adsr1, 0x1FC0);
    TicksIn(e, EnvelopePhase::kAttack);
    const double formula = std::log(32767.0 / 2048.0) * std::ldexp(1.0, ((f.adsr1 >> 4) & 15) + 1);
    const double ticks = static_cast<double>(TicksIn(e, EnvelopePhase::kDecay));
    EXPECT_GE(ticks, f.low * formula) << f.adsr1;
    EXPECT_LE(ticks, f.high * formula) << f.adsr1;
    EXPECT_LT(e.level(), 0x800);
  }
  // A held attack (rate 0x7F) never moves.
  e.Start(0x7F0F, 0x1FC0);
  EXPECT_EQ(TicksIn(e, EnvelopePhase::kAttack, 100000), 100000u);
  EXPECT_EQ(e.level(), 0);
}

TEST(RenderVoice, PitchFollowsTheLibraryRule) {
  EXPECT_EQ(NotePitch(60, 60, 0, 8192, 2, 2), 0x1000u);
  EXPECT_EQ(NotePitch(72, 60, 0, 8192, 2, 2), 0x2000u);
  EXPECT_EQ(NotePitch(48, 60, 0, 8192, 2, 2), 0x0800u);
  EXPECT_EQ(NotePitch(84, 60, 0, 8192, 2, 2), 0x3FFFu);  // clamped below 0x4000
  EXPECT_EQ(NotePitch(0, 127, 0, 8192, 2, 2), 3u);  // 4096 x 2^(-127 / 12) = 2.67
  // Fine tune in 1/16 semitone (shift >> 3): 4096 x 2^(2 / 192) = 4125.68.
  EXPECT_EQ(NotePitch(60, 60, 16, 8192, 2, 2), 4126u);
  EXPECT_EQ(NotePitch(60, 60, 23, 8192, 2, 2), 4126u);
  // Bend by the tone's ranges: 0 is a full bendDown, 12288 half of bendUp.
  EXPECT_EQ(NotePitch(60, 60, 0, 0, 12, 2), 0x0800u);
  EXPECT_EQ(NotePitch(60, 60, 0, 12288, 12, 2), 4340u);  // 4096 x 2^(1 / 12) = 4339.6
}

Bytes Block(std::uint8_t head, std::uint8_t flags, std::uint8_t data) {
  Bytes b(16, data);
  b[0] = head;
  b[1] = flags;
  return b;
}

TEST(RenderVoice, SampleEndsWhereItsFlagsSay) {
  const struct {
    std::uint8_t lastFlags;
    std::uint32_t pitch;
    std::uint32_t on;
  } cases[] = {
      {0x01, 0x1000, 84},   // one-shot end after the third block
      {0x01, 0x2000, 42},   // twice as fast
      {0x00, 0x1000, 84},   // no end flag: the sample's last block ends it
      {0x03, 0x1000, 300},  // end + repeat: loops on
  };
  for (const auto& c : cases) {
    Bytes sample = Block(0, 0, 0);
    for (const Bytes& b : {Block(0x12, 0x00, 0x17), Block(0x12, c.lastFlags, 0x71)}) {
      sample.insert(sample.end(), b.begin(), b.end());
    }
    Voice v;
    v.KeyOn({sample.data(), 3}, 0x000F, 0x1FC0);
    v.SetPitch(c.pitch);
    v.SetVolume(0x3FFF, 0x3FFF);
    std::vector<std::int32_t> left(300), right(300);
    EXPECT_EQ(v.Render(left.data(), right.data(), 300), c.on) << int(c.lastFlags);
    EXPECT_NE(left[c.on - 1], 0);
  }
}

TEST(RenderVoice, StealingOrder) {
  VoiceSlot slots[24];
  for (int v = 0; v < 24; ++v) slots[v] = {true, false, 0x7FFF, 5, static_cast<std::uint64_t>(100 + v)};
  EXPECT_EQ(PickVoice(slots), 0);  // all alike: the first key on
  slots[9].priority = 3;
  slots[17].priority = 3;
  slots[17].order = 1;
  EXPECT_EQ(PickVoice(slots), 17);  // lowest priority, earliest among those
  slots[20] = {true, true, 300, 9, 500};
  slots[4] = {true, true, 200, 9, 600};
  slots[6] = {true, true, 200, 9, 50};
  EXPECT_EQ(PickVoice(slots), 4);  // releasing, lowest level, lowest number
  slots[11].on = false;
  slots[13].on = false;
  EXPECT_EQ(PickVoice(slots), 11);  // a free voice first
}

// A bank of one tone (program 0, centre 60) playing a looping sine, and the
// sequencer's result for a SEQ of `events`.
struct Song {
  Bytes bank = tools::MakeTestVab({{0, 0, 127, 60, 0, 127, 64, 0x000F, 0x1FC0, 1}},
                                  {tools::EncodeAdpcm(tools::MakeSine(28 * 10, 50, 10000), tools::AdpcmEnd::kLoop, 1)});
  RenderedSong Render(const Bytes& events, RenderSettings settings = {}, std::uint32_t tempo = 500000,
                      std::uint16_t resolution = 480) {
    const Bytes seq = tools::MakeSeqFile(resolution, tempo, events);
    const convert::SequenceFile split = convert::SplitSequenceFile(seq);
    return RenderSequence(split.sequences.at(0), LoadBankFile(bank), settings);
  }
};

TEST(RenderSequencer, CentreNotePlaysTheDecodedSamplesThroughTheTable) {
  Song song;
  const RenderedSong r = song.Render({0x00, 0xC0, 0x00, 0x00, 0x90, 60, 127, 0x83, 0x60, 60, 0x00, 0x00, 0xFF, 0x2F, 0x00});
  ASSERT_TRUE(r.error.empty());
  const Bytes sample(song.bank.end() - static_cast<std::ptrdiff_t>(16 * 11), song.bank.end());
  const std::vector<std::int16_t> pcm = convert::DecodeAdpcm(sample).pcm;
  ASSERT_EQ(pcm.size(), 308u);
  const std::int32_t levels[4] = {0, 14336, 28672, 32767};
  auto at = [&](std::size_t k, int back) { return k >= std::size_t(back) ? pcm[k - back] : 0; };
  for (std::size_t t = 0; t < pcm.size(); ++t) {
    // Pitch 0x1000 keeps the fraction at 0: taps G[0xFF], G[0x1FF], G[0x100], G[0].
    const std::int32_t s = (4807 * at(t, 3) + 22963 * at(t, 2) + 4871 * at(t, 1) - 1 * at(t, 0)) >> 15;
    const std::int32_t v = (s * levels[std::min<std::size_t>(t, 3)]) >> 15;
    const std::int32_t out = (v * 0x3FFF) >> 15;  // every gain 127/127, centred
    ASSERT_EQ(r.pcm[2 * t], out) << t;
    ASSERT_EQ(r.pcm[2 * t + 1], out) << t;
  }
}

TEST(RenderSequencer, LengthLoopsAndBadInput) {
  const Bytes note = {0x00, 0x90, 60, 100, 0x83, 0x60, 60, 0x00};  // 480 ticks = 22050 output ticks
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  const Bytes start = {0x00, 0xB0, 99, 20}, forever = {0x00, 0xB0, 6, 127}, three = {0x00, 0xB0, 6, 3};
  const Bytes end = {0x00, 0xB0, 99, 30}, eot = {0x00, 0xFF, 0x2F, 0x00};
  const Bytes wait = {0x83, 0x60, 0xB0, 7, 127};  // 480 ticks, then a harmless controller
  Bytes chord;
  for (int k = 0; k < 10000; ++k) chord.insert(chord.end(), {0x00, 0x90, static_cast<std::uint8_t>(k % 128), 1});
  const struct {
    const char* what;
    Bytes events;
    std::uint32_t loops;
    double fade;
    std::uint32_t tempo;
    std::uint64_t ticks;  // 0: only bounded
    bool warns;
  } cases[] = {
      {"forever, loops 2, fade 1", cat({start, forever, note, end, eot}), 2, 1.0, 500000, 88200, false},
      {"forever, loops 1, fade 0", cat({start, forever, note, end, eot}), 1, 0.0, 500000, 22050, false},
      {"no count is forever", cat({start, note, end, eot}), 3, 0.0, 500000, 66150, false},
      {"count 3 plays three times", cat({start, three, wait, end, eot}), 2, 10.0, 500000, 66150, false},
      {"loop end without a start", cat({wait, end, eot}), 2, 10.0, 500000, 22050, false},
      {"body that takes no time", cat({start, end, wait, eot}), 2, 10.0, 500000, 22050, false},
      {"one tick", {0x01, 0xFF, 0x2F, 0x00}, 2, 10.0, 500000, 45, false},
      {"seven ticks", {0x07, 0xFF, 0x2F, 0x00}, 2, 10.0, 500000, 321, false},
      {"tempo 0", cat({start, note, end, note, eot}), 2, 10.0, 0, 0, false},
      {"no end of track", cat({note, wait}), 2, 10.0, 500000, 0, true},
      {"unknown meta event", cat({wait, {0x00, 0xFF, 0x01, 0x03}}), 2, 10.0, 500000, 22050, true},
      {"10000 notes", cat({chord, wait, eot}), 2, 10.0, 500000, 0, false},
  };
  Song song;
  for (const auto& c : cases) {
    RenderSettings settings;
    settings.loops = c.loops;
    settings.fadeSeconds = c.fade;
    const RenderedSong r = song.Render(c.events, settings, c.tempo);
    EXPECT_TRUE(r.error.empty()) << c.what;
    EXPECT_EQ(r.pcm.size(), 2 * r.ticks) << c.what;
    EXPECT_FALSE(r.capped) << c.what;
    EXPECT_EQ(!r.warnings.empty(), c.warns) << c.what;
    if (c.ticks != 0) {
      EXPECT_EQ(r.ticks, c.ticks) << c.what;
    }
    EXPECT_LE(r.ticks, 10 * 44100u + 3 * 22050) << c.what;
  }
  // The fade: tick k of F is scaled by (F - k) / F, the last one by 1 / F.
  RenderSettings fade;
  fade.fadeSeconds = 1;
  const RenderedSong faded = song.Render(cat({start, forever, note, end, eot}), fade);
  RenderSettings plain = fade;
  plain.loops = 4;
  const RenderedSong full = song.Render(cat({start, forever, note, end, eot}), plain);
  for (const std::uint64_t k : {0ull, 1000ull, 44099ull}) {
    const double want = full.pcm[2 * (44100 + k)] * (44100.0 - k) / 44100.0;
    EXPECT_EQ(faded.pcm[2 * (44100 + k)], std::lround(want)) << k;
  }
  // Voices sharing their decoded blocks sound as voices decoding alone, also
  // when the shared blocks run out half way.
  for (const std::uint64_t shared : {0ull, 7ull}) {
    RenderSettings alone = fade;
    alone.sharedBlocks = shared;
    EXPECT_EQ(song.Render(cat({start, forever, chord, note, end, eot}), alone).pcm,
              song.Render(cat({start, forever, chord, note, end, eot}), fade).pcm);
  }
  // Resolution 0 renders nothing; a render past the cap stops there.
  EXPECT_FALSE(song.Render(cat({note, eot}), {}, 500000, 0).error.empty());
  RenderSettings capped;
  capped.maxTicks = 44100;
  const RenderedSong r = song.Render({0x00, 0x90, 60, 100, 0xFF, 0xFF, 0xFF, 0x7F, 60, 0}, capped, 0xFFFFFF);
  EXPECT_TRUE(r.capped);
  EXPECT_EQ(r.ticks, 44100u);
}

}  // namespace
}  // namespace psxdig::render
