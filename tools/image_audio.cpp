#include "image_audio.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numbers>

namespace psxdig::tools {
namespace {

constexpr int kF0[5] = {0, 60, 115, 98, 122};
constexpr int kF1[5] = {0, 0, -52, -55, -60};
constexpr std::size_t kBlockSamples = 28;

void PutLE(Bytes& out, std::size_t at, std::uint32_t v, int n) {
  for (int k = 0; k < n; ++k) out[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

void AppendBE(Bytes& out, std::uint32_t v, int n) {
  for (int k = n - 1; k >= 0; --k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

void AppendVlq(Bytes& out, std::uint32_t v) {
  std::uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
    v >>= 7;
  } while (v != 0);
  while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
  out.push_back(groups[0]);
}

void Append(Bytes& out, std::initializer_list<std::uint8_t> bytes) { out.insert(out.end(), bytes); }

struct Trial {
  std::uint8_t nibbles[kBlockSamples] = {};
  int old = 0;
  int older = 0;
  double error = 0;
};

// Encodes one block with a given filter and shift, decoding as it goes so
// that the history matches what a decoder will hold.
Trial TryBlock(const std::int16_t* in, int filter, int shift, int old, int older) {
  Trial t;
  const double step = std::ldexp(1.0, 12 - shift);
  for (std::size_t j = 0; j < kBlockSamples; ++j) {
    const int predicted = (old * kF0[filter] + older * kF1[filter] + 32) >> 6;
    const int n = std::clamp(static_cast<int>(std::lround((in[j] - predicted) / step)), -8, 7);
    const int s = std::clamp(((n * 4096) >> shift) + predicted, -32768, 32767);
    t.nibbles[j] = static_cast<std::uint8_t>(n & 0x0F);
    t.error += double(in[j] - s) * double(in[j] - s);
    older = old;
    old = s;
  }
  t.old = old;
  t.older = older;
  return t;
}

std::uint8_t FlagOf(std::size_t block, std::size_t last, AdpcmEnd end, std::uint32_t loopBlock) {
  if (end != AdpcmEnd::kLoop) return block == last && end == AdpcmEnd::kEndFlag ? 0x01 : 0x00;
  if (block == last) return block == loopBlock ? 0x07 : 0x03;
  if (block == loopBlock) return 0x06;
  return block > loopBlock ? 0x02 : 0x00;
}

}  // namespace

Bytes EncodeAdpcm(const Pcm& pcm, AdpcmEnd end, std::uint32_t loopBlock) {
  Pcm padded = pcm;
  padded.resize(std::max<std::size_t>(1, (pcm.size() + kBlockSamples - 1) / kBlockSamples) * kBlockSamples, 0);
  const std::size_t blocks = padded.size() / kBlockSamples;
  Bytes out(16 * (blocks + 1), 0);
  int old = 0, older = 0;
  for (std::size_t b = 0; b < blocks; ++b) {
    Trial best;
    int bestHead = -1;
    for (int filter = 0; filter < 5; ++filter) {
      for (int shift = 0; shift <= 12; ++shift) {
        Trial t = TryBlock(&padded[b * kBlockSamples], filter, shift, old, older);
        if (bestHead < 0 || t.error < best.error) {
          best = t;
          bestHead = (filter << 4) | shift;
        }
      }
    }
    const std::size_t at = 16 * (b + 1);
    out[at] = static_cast<std::uint8_t>(bestHead);
    out[at + 1] = FlagOf(b + 1, blocks, end, loopBlock);
    for (std::size_t j = 0; j < kBlockSamples; j += 2) {
      out[at + 2 + j / 2] = static_cast<std::uint8_t>(best.nibbles[j] | (best.nibbles[j + 1] << 4));
    }
    old = best.old;
    older = best.older;
  }
  if (end == AdpcmEnd::kSilentLoop) Append(out, {0x00, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  return out;
}

Pcm MakeSine(std::uint32_t samples, double period, int amplitude, std::uint32_t fade) {
  Pcm out(samples);
  for (std::uint32_t k = 0; k < samples; ++k) {
    double gain = 1.0;
    if (fade > 0 && k + fade >= samples) gain = double(samples - k) / fade;
    out[k] = static_cast<std::int16_t>(std::lround(amplitude * gain * std::sin(2 * std::numbers::pi * k / period)));
  }
  return out;
}

Bytes MakeSeqFile(std::uint16_t resolution, std::uint32_t tempo, const Bytes& events, bool reversed) {
  Bytes out = reversed ? Bytes{'S', 'E', 'Q', 'p'} : Bytes{'p', 'Q', 'E', 'S'};
  AppendBE(out, 1, 4);
  AppendBE(out, resolution, 2);
  AppendBE(out, tempo, 3);
  Append(out, {4, 2});
  out.insert(out.end(), events.begin(), events.end());
  return out;
}

Bytes MakeSepFile(std::uint16_t resolution, std::uint32_t tempo, const std::vector<Bytes>& events) {
  Bytes out{'p', 'Q', 'E', 'S', 0, 0};
  for (std::size_t id = 0; id < events.size(); ++id) {
    AppendBE(out, static_cast<std::uint32_t>(id), 2);
    AppendBE(out, resolution, 2);
    AppendBE(out, tempo, 3);
    Append(out, {4, 2});
    AppendBE(out, static_cast<std::uint32_t>(events[id].size()), 4);
    out.insert(out.end(), events[id].begin(), events[id].end());
  }
  return out;
}

TestSong MakeSong(const SongPlan& plan) {
  TestSong song;
  Bytes& e = song.events;
  const std::size_t channels = std::max<std::size_t>(1, plan.channels.size());
  for (std::size_t c = 0; c < plan.channels.size(); ++c) {
    Append(e, {0x00, static_cast<std::uint8_t>(0xC0 | plan.channels[c]), plan.programs[c]});
  }
  const std::uint8_t loopChannel = plan.channels.empty() ? 0 : plan.channels[0];
  if (plan.bankSelect) {
    Append(e, {0x00, static_cast<std::uint8_t>(0xB0 | loopChannel), 0, 48, 0x05, 32, 1});
    song.ticks += 5;
    song.seconds += 5.0 * plan.tempo / plan.resolution / 1e6;
  }
  if (plan.loop) Append(e, {0x00, static_cast<std::uint8_t>(0xB0 | loopChannel), 99, 20, 0x00, 6, 127});
  const std::size_t half = plan.keys.size() / 2;
  std::uint32_t tempo = plan.tempo;
  for (std::size_t k = 0; k < plan.keys.size(); ++k) {
    if (k == half) {
      // A tempo change, then the same again by running status.
      Append(e, {0x00, 0xFF, 0x51});
      AppendBE(e, plan.tempo2, 3);
      Append(e, {0x00, 0x51});
      AppendBE(e, plan.tempo2, 3);
      tempo = plan.tempo2;
    }
    const std::uint8_t channel = plan.channels.empty() ? 0 : plan.channels[k % channels];
    Append(e, {0x00, static_cast<std::uint8_t>(0x90 | channel), plan.keys[k], 100});
    AppendVlq(e, plan.noteTicks);
    Append(e, {plan.keys[k], 0x00});
    ++song.noteOns;
    song.ticks += plan.noteTicks;
    song.seconds += double(plan.noteTicks) * tempo / plan.resolution / 1e6;
  }
  if (plan.loop) Append(e, {0x00, static_cast<std::uint8_t>(0xB0 | loopChannel), 99, 30});
  Append(e, {0x00, 0xFF, 0x2F, 0x00});
  return song;
}

Bytes MakeTestVab(const std::vector<TestTone>& tones, const std::vector<Bytes>& samples) {
  std::map<std::uint8_t, std::vector<TestTone>> programs;
  for (const TestTone& t : tones) programs[t.program].push_back(t);
  const std::size_t count = programs.size();
  const std::size_t headerSize = 0xA20 + 0x200 * count;
  std::size_t bodySize = 0;
  for (const Bytes& s : samples) bodySize += s.size();
  Bytes out(headerSize, 0);
  std::copy_n("pBAV", 4, out.begin());
  PutLE(out, 4, 7, 4);
  PutLE(out, 12, static_cast<std::uint32_t>(headerSize + bodySize), 4);
  PutLE(out, 16, 0xEEEE, 2);
  PutLE(out, 18, static_cast<std::uint32_t>(count), 2);
  PutLE(out, 20, static_cast<std::uint32_t>(tones.size()), 2);
  PutLE(out, 22, static_cast<std::uint32_t>(samples.size()), 2);
  PutLE(out, 24, 0x407F, 2);
  PutLE(out, 28, 0xFFFFFFFF, 4);
  std::size_t block = 0;
  for (const auto& [number, list] : programs) {
    const std::size_t rec = 0x20 + 16 * number;
    out[rec] = static_cast<std::uint8_t>(list.size());
    out[rec + 1] = 127;
    out[rec + 4] = 64;
    for (std::size_t t = 0; t < list.size(); ++t) {
      const TestTone& tone = list[t];
      const std::size_t at = 0x820 + 0x200 * block + 0x20 * t;
      const std::uint8_t head[14] = {0, tone.mode, tone.volume, tone.pan, tone.center, tone.shift, tone.minKey,
                                     tone.maxKey, 0, 0, 0, 0, tone.bend, tone.bend};
      std::copy_n(head, 14, out.begin() + at);
      PutLE(out, at + 0x10, tone.adsr1, 2);
      PutLE(out, at + 0x12, tone.adsr2, 2);
      PutLE(out, at + 0x14, number, 2);
      PutLE(out, at + 0x16, tone.vag, 2);
    }
    ++block;
  }
  for (std::size_t k = 0; k < samples.size(); ++k) {
    PutLE(out, 0x820 + 0x200 * count + 2 * (k + 1), static_cast<std::uint32_t>(samples[k].size() / 8), 2);
  }
  for (const Bytes& s : samples) out.insert(out.end(), s.begin(), s.end());
  return out;
}

namespace {

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// The samples of the test banks: a looping sine (loop of 10 whole periods),
// a fading one-shot of 0.25 s closed by a silent loop, a one-block loop and
// a one-shot of 0.19 s ending on its end flag.
std::vector<Bytes> TestSamples() {
  return {EncodeAdpcm(MakeSine(28 * 40, 84, 12000), AdpcmEnd::kLoop, 11),
          EncodeAdpcm(MakeSine(28 * 400, 56, 9000, 28 * 100), AdpcmEnd::kSilentLoop),
          EncodeAdpcm(MakeSine(28 * 3, 28, 10000), AdpcmEnd::kLoop, 3),
          EncodeAdpcm(MakeSine(28 * 300, 42, 8000, 28 * 20), AdpcmEnd::kEndFlag)};
}

std::string ExpectLine(const std::string& mid, const std::string& bank, std::uint32_t division,
                       std::uint32_t tempo, const TestSong& song) {
  char line[160];
  std::snprintf(line, sizeof line, "%s %s 0 1 %u %u %u %.4f\n", mid.c_str(), bank.c_str(), division, tempo,
                song.noteOns, song.seconds);
  return line;
}

// One note of `key` held for `held` ticks (480 a quarter at 500000 us: 960
// a second) on program `program`, then `tail` ticks to the end; with
// `bendAt` (< held), the bend goes full up that many ticks into the note.
Bytes OneNote(std::uint8_t program, std::uint8_t key, std::uint32_t held, std::uint32_t tail,
              std::uint32_t bendAt = 0) {
  Bytes e = {0x00, 0xC0, program, 0x00, 0x90, key, 127};
  if (bendAt > 0) {
    AppendVlq(e, bendAt);
    Append(e, {0xE0, 0x7F, 0x7F});
    held -= bendAt;
  }
  AppendVlq(e, held);
  Append(e, {0x90, key, 0x00});
  AppendVlq(e, tail);
  Append(e, {0xFF, 0x2F, 0x00});
  return MakeSeqFile(480, 500000, e);
}

// Envelopes to compare with the console's: exponential and linear release,
// rising and falling (exponential and linear) sustain. Program 0 holds full
// scale as the level reference.
constexpr std::uint16_t kEnvelopes[][2] = {
    {0x000F, 0x5FE0},  // held at full scale, exponential release shift 0
    {0x000F, 0x5FEC},  // exponential release, shift 12 (-100 dB in 2.1 s)
    {0x000F, 0x5FCE},  // linear release, shift 14 (silent after 0.74 s)
    {0x0027, 0x10EC},  // decay to SL 7, linear rise shift 16 step 3 (3 s to full), exp. release 12
    {0x002A, 0xCE2C},  // decay to SL 10, exponential fall shift 14 step 0, exp. release 12
    {0x002C, 0x50EC},  // decay to SL 12, linear fall shift 16 step 3 (3.9 s), exponential release 12
    {0x002C, 0x50CE},  // the same fall, linear release 14 (from below full scale)
};

bool WriteEnvelopeSet(const std::string& dir, const std::vector<Bytes>& samples) {
  std::vector<TestTone> tones;
  std::string listing;
  bool ok = true;
  for (std::uint8_t k = 0; k < std::size(kEnvelopes); ++k) {
    tones.push_back({k, 0, 127, 69, 0, 127, 64, kEnvelopes[k][0], kEnvelopes[k][1], 1});
    const std::string seq = "env_" + std::to_string(k) + ".seq";
    ok = ok && WriteFile(dir + seq, OneNote(k, 69, 1920, 4800));
    char line[64];
    std::snprintf(line, sizeof line, "%s %04X %04X 2.0\n", seq.c_str(), kEnvelopes[k][0], kEnvelopes[k][1]);
    listing += line;
  }
  TestTone noBend{0, 0, 127, 69, 0, 127, 64, 0x000F, 0x5FC0, 1, 0};
  TestTone octave = noBend;
  octave.program = 1;
  octave.bend = 12;
  octave.mode = 4;
  return ok && WriteFile(dir + "env.vab", MakeTestVab(tones, samples)) &&
         WriteFile(dir + "env.txt", Bytes(listing.begin(), listing.end())) &&
         WriteFile(dir + "bend.vab", MakeTestVab({noBend, octave}, samples)) &&
         WriteFile(dir + "bend_0.seq", OneNote(0, 69, 960, 480, 480)) &&
         WriteFile(dir + "bend_12.seq", OneNote(1, 69, 960, 480, 480)) &&
         WriteFile(dir + "clip.seq", MakeSeqFile(480, 500000, {0x00, 0xC0, 0x00, 0x00, 0x90, 64, 127, 0x83, 0x60, 64, 0,
                                                              0x00, 94, 127, 0x83, 0x60, 94, 0, 0x00, 0xFF, 0x2F, 0x00}));
}

}  // namespace

bool WriteConvertSet(const std::string& folder) {
  const std::vector<Bytes> samples = TestSamples();
  std::vector<TestTone> tones(4);
  tones[0] = {0, 0, 63, 69, 0, 127, 64, 0x80FF, 0x5FC0, 1};
  tones[1] = {0, 64, 127, 72, 32, 100, 20, 0x0A7B, 0x5FED, 3};
  tones[2] = {5, 0, 127, 60, 0, 110, 100, 0x0A7B, 0x5FED, 2};
  tones[3] = {9, 0, 127, 60, 0, 127, 64, 0x80FF, 0x4FC5, 4};
  const Bytes bank = MakeTestVab(tones, samples);
  const Bytes split = MakeTestVab({{0, 0, 127, 69, 0, 127, 64, 0x80FF, 0x5FC0, 1},
                                   {1, 0, 127, 60, 0, 127, 64, 0x0A7B, 0x5FED, 2}},
                                  samples);
  const std::size_t splitHeader = 0xA20 + 0x200 * 2;

  SongPlan plan;
  plan.channels = {0, 1, 9};
  plan.programs = {0, 5, 9};
  plan.keys = {48, 60, 64, 67, 72, 76, 55, 62};
  plan.loop = true;
  plan.bankSelect = true;
  const TestSong song = MakeSong(plan);
  SongPlan rev;
  rev.channels = {2};
  rev.programs = {0};
  rev.keys = {60, 65, 70, 75};
  rev.resolution = 384;
  rev.tempo = 468750;
  rev.tempo2 = 600000;
  const TestSong reversed = MakeSong(rev);
  SongPlan first;
  first.channels = {0};
  first.programs = {0};
  first.keys = {60, 62, 64};
  SongPlan second = first;
  second.channels = {3};
  second.programs = {1};
  second.keys = {57, 59};
  const TestSong multi0 = MakeSong(first), multi1 = MakeSong(second);

  const std::string dir = folder + "/";
  const std::string expect = ExpectLine("song.mid", "tone.sf2", 480, 500000, song) +
                             ExpectLine("reversed.mid", "tone.sf2", 384, 468750, reversed) +
                             ExpectLine("multi_0.mid", "split.sf2", 480, 500000, multi0) +
                             ExpectLine("multi_1.mid", "split.sf2", 480, 500000, multi1);
  return WriteEnvelopeSet(dir, samples) && WriteFile(dir + "tone.vab", bank) &&
         WriteFile(dir + "split.vh", Bytes(split.begin(), split.begin() + splitHeader)) &&
         WriteFile(dir + "split.vb", Bytes(split.begin() + splitHeader, split.end())) &&
         WriteFile(dir + "song.seq", MakeSeqFile(480, 500000, song.events)) &&
         WriteFile(dir + "reversed.seq", MakeSeqFile(384, 468750, reversed.events, true)) &&
         WriteFile(dir + "multi.sep", MakeSepFile(480, 500000, {multi0.events, multi1.events})) &&
         WriteFile(dir + "expect.txt", Bytes(expect.begin(), expect.end()));
}

}  // namespace psxdig::tools
