#include "convert/sf2.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "convert/convert_bytes.h"

namespace psxdig::convert {
namespace {

// Generator ids.
enum : std::uint16_t {
  kReverbEffectsSend = 16,
  kPan = 17,
  kAttackVolEnv = 34,
  kDecayVolEnv = 36,
  kSustainVolEnv = 37,
  kReleaseVolEnv = 38,
  kInstrument = 41,
  kKeyRange = 43,
  kInitialAttenuation = 48,
  kCoarseTune = 51,
  kFineTune = 52,
  kSampleId = 53,
  kSampleModes = 54,
  kScaleTuning = 56,
  kOverridingRootKey = 58,
};

constexpr double kHighestPitch = 0x3FFF;
constexpr std::uint8_t kReverbMode = 4;  // tone mode bit: the voice feeds the reverb
constexpr int kReverbSend = 500;         // 50 %: the game sets the depth, the bank does not say
constexpr std::size_t kZeroTail = 46;
constexpr std::size_t kMinSampleLength = 48;
constexpr std::size_t kMinLoopLength = 32;
constexpr std::size_t kLoopTail = 8;

Bytes Chunk(const char* id, const Bytes& data) {
  Bytes out;
  AppendText(out, id);
  AppendLE(out, static_cast<std::uint32_t>(data.size()), 4);
  out.insert(out.end(), data.begin(), data.end());
  if (data.size() % 2) out.push_back(0);
  return out;
}

Bytes List(const char* type, const std::vector<Bytes>& chunks) {
  Bytes data;
  AppendText(data, type);
  for (const Bytes& c : chunks) data.insert(data.end(), c.begin(), c.end());
  return Chunk("LIST", data);
}

// A zero-terminated text of even length.
Bytes Zstr(std::string text) {
  if (text.size() > 253) text.resize(253);
  Bytes out(text.begin(), text.end());
  out.push_back(0);
  if (out.size() % 2) out.push_back(0);
  return out;
}

void AppendName(Bytes& out, const std::string& name) {
  Bytes field(20, 0);
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), 19), field.begin());
  out.insert(out.end(), field.begin(), field.end());
}

void AppendGen(Bytes& out, std::uint16_t id, int amount) {
  AppendLE(out, id, 2);
  AppendLE(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(amount)), 2);
}

std::string Numbered(const char* prefix, unsigned n) {
  char text[24];
  std::snprintf(text, sizeof text, "%s%03u", prefix, n);
  return text;
}

// The sample points written for one VAG: a loop shorter than 32 points is
// repeated, 8 points of the loop follow its end, short samples get zeros.
struct PlacedSample {
  std::vector<std::int16_t> points;
  std::size_t loopStart = 0;
  std::size_t loopEnd = 0;
};

PlacedSample Place(const DecodedSample& s) {
  PlacedSample p;
  p.points = s.pcm;
  const bool loops = s.loops && s.loopStart < s.loopEnd && s.loopEnd <= s.pcm.size();
  if (loops) {
    p.points.resize(s.loopEnd);
    p.loopStart = s.loopStart;
    const std::vector<std::int16_t> body(p.points.begin() + s.loopStart, p.points.end());
    while (p.points.size() - p.loopStart < kMinLoopLength) p.points.insert(p.points.end(), body.begin(), body.end());
    p.loopEnd = p.points.size();
    for (std::size_t k = 0; k < kLoopTail; ++k) p.points.push_back(body[k % body.size()]);
  }
  if (p.points.size() < kMinSampleLength) p.points.resize(kMinSampleLength, 0);
  if (!loops) p.loopEnd = p.points.size();
  return p;
}

struct SampleArea {
  Bytes smpl;
  Bytes shdr;
};

SampleArea WriteSamples(const std::vector<DecodedSample>& samples) {
  SampleArea area;
  std::uint32_t at = 0;
  for (std::size_t k = 0; k < samples.size(); ++k) {
    const PlacedSample p = Place(samples[k]);
    for (const std::int16_t v : p.points) AppendLE(area.smpl, static_cast<std::uint16_t>(v), 2);
    area.smpl.insert(area.smpl.end(), 2 * kZeroTail, 0);
    AppendName(area.shdr, Numbered("vag_", static_cast<unsigned>(k + 1)));
    AppendLE(area.shdr, at, 4);
    AppendLE(area.shdr, at + static_cast<std::uint32_t>(p.points.size()), 4);
    AppendLE(area.shdr, at + static_cast<std::uint32_t>(p.loopStart), 4);
    AppendLE(area.shdr, at + static_cast<std::uint32_t>(p.loopEnd), 4);
    AppendLE(area.shdr, kSpuRate, 4);
    AppendLE(area.shdr, 60, 1);  // the zones give the root key
    AppendLE(area.shdr, 0, 1);
    AppendLE(area.shdr, 0, 2);
    AppendLE(area.shdr, 1, 2);  // mono
    at += static_cast<std::uint32_t>(p.points.size() + kZeroTail);
  }
  AppendName(area.shdr, "EOS");
  area.shdr.insert(area.shdr.end(), 26, 0);
  return area;
}

// The first key the sound chip plays at its highest pitch (0x3FFF, four
// times the sample's rate): the library's pitch of a key, in 1/16
// semitones of the fine tune, is clipped there. 128 when no key is.
int FirstClippedKey(const VabTone& t) {
  for (int key = 0; key < 128; ++key) {
    const double semitones = key - t.center + (t.shift >> 3) / 16.0;
    if (std::floor(4096.0 * std::exp2(semitones / 12.0) + 0.5) > kHighestPitch) return key;
  }
  return 128;
}

struct ZoneKeys {
  int lo = 0;
  int hi = 0;
  bool clipped = false;  // every key sounds at the highest pitch
};

void AppendZone(Bytes& igen, const VabTone& t, const VabProgram& program, std::uint8_t masterVolume, bool loops,
                const ZoneKeys& keys) {
  const ZoneEnvelope env = EnvelopeFromAdsr(t.adsr1, t.adsr2);
  AppendGen(igen, kKeyRange, keys.lo | (keys.hi << 8));
  AppendGen(igen, kInitialAttenuation,
            std::min(1440, AttenuationCb(t.volume, program.volume, masterVolume) + env.sustainAttenuation));
  AppendGen(igen, kPan, PanPermille(t.pan, program.pan));
  if (t.mode & kReverbMode) AppendGen(igen, kReverbEffectsSend, kReverbSend);
  AppendGen(igen, kAttackVolEnv, env.attack);
  AppendGen(igen, kDecayVolEnv, env.decay);
  AppendGen(igen, kSustainVolEnv, env.sustain);
  AppendGen(igen, kReleaseVolEnv, env.release);
  if (keys.clipped) {
    // No key tracking: every key sounds as the root key (the zone's first)
    // does, two octaves up: four times the sample's rate, the chip's limit
    // (0x3FFF is 0.1 cent below it).
    AppendGen(igen, kCoarseTune, 24);
    AppendGen(igen, kScaleTuning, 0);
  } else {
    AppendGen(igen, kFineTune, static_cast<int>(std::lround(6.25 * (t.shift >> 3))));
  }
  AppendGen(igen, kSampleModes, loops ? 1 : 0);
  AppendGen(igen, kOverridingRootKey, keys.clipped ? keys.lo : std::min<int>(t.center, 127));
  AppendGen(igen, kSampleId, t.vag - 1);
}

// One zone for the tone's keys, or two when its highest keys are clipped.
// Returns the number of zones written.
int AppendToneZones(Bytes& ibag, Bytes& igen, const VabTone& t, const VabProgram& program,
                    std::uint8_t masterVolume, bool loops) {
  int lo = std::min<int>(t.minKey, 127);
  int hi = std::min<int>(t.maxKey, 127);
  if (lo > hi) std::swap(lo, hi);
  if (t.minKey == 0 && t.maxKey == 0) hi = 127;
  const int clip = FirstClippedKey(t);
  int zones = 0;
  for (const ZoneKeys& keys : {ZoneKeys{lo, std::min(hi, clip - 1), false}, ZoneKeys{std::max(lo, clip), hi, true}}) {
    if (keys.lo > keys.hi) continue;
    AppendLE(ibag, static_cast<std::uint32_t>(igen.size() / 4), 2);
    AppendLE(ibag, 0, 2);
    AppendZone(igen, t, program, masterVolume, loops, keys);
    ++zones;
  }
  return zones;
}

// phdr/pbag/pgen/inst/ibag/igen for the programs.
std::vector<Bytes> WritePresets(const VabBank& bank, const std::vector<DecodedSample>& samples) {
  Bytes phdr, pbag, pgen, inst, ibag, igen;
  std::uint16_t zones = 0;
  for (std::size_t i = 0; i < bank.programs.size(); ++i) {
    const VabProgram& program = bank.programs[i];
    AppendName(inst, Numbered("program_", program.number));
    AppendLE(inst, zones, 2);
    for (const VabTone& tone : program.tones) {
      zones = static_cast<std::uint16_t>(
          zones + AppendToneZones(ibag, igen, tone, program, bank.masterVolume, samples[tone.vag - 1].loops));
    }
  }
  std::uint16_t presets = 0;
  for (const std::uint16_t bankNumber : {0, 128}) {
    for (std::size_t i = 0; i < bank.programs.size(); ++i) {
      AppendName(phdr, Numbered("program_", bank.programs[i].number));
      AppendLE(phdr, bank.programs[i].number, 2);
      AppendLE(phdr, bankNumber, 2);
      AppendLE(phdr, presets++, 2);
      phdr.insert(phdr.end(), 12, 0);
      AppendLE(pbag, static_cast<std::uint32_t>(pgen.size() / 4), 2);
      AppendLE(pbag, 0, 2);
      AppendGen(pgen, kInstrument, static_cast<int>(i));
    }
  }
  AppendName(phdr, "EOP");
  AppendLE(phdr, 0, 4);
  AppendLE(phdr, presets, 2);
  phdr.insert(phdr.end(), 12, 0);
  AppendLE(pbag, static_cast<std::uint32_t>(pgen.size() / 4), 2);
  AppendLE(pbag, 0, 2);
  pgen.insert(pgen.end(), 4, 0);
  AppendName(inst, "EOI");
  AppendLE(inst, zones, 2);
  AppendLE(ibag, static_cast<std::uint32_t>(igen.size() / 4), 2);
  AppendLE(ibag, 0, 2);
  igen.insert(igen.end(), 4, 0);
  const Bytes noModulators(10, 0);
  return {Chunk("phdr", phdr), Chunk("pbag", pbag), Chunk("pmod", noModulators), Chunk("pgen", pgen),
          Chunk("inst", inst), Chunk("ibag", ibag), Chunk("imod", noModulators), Chunk("igen", igen)};
}

}  // namespace

std::vector<std::uint8_t> VabToSf2(const VabBank& bank, const std::vector<DecodedSample>& samples,
                                   const std::string& name) {
  Bytes version;
  AppendLE(version, 2, 2);
  AppendLE(version, 1, 2);
  const Bytes info = List("INFO", {Chunk("ifil", version), Chunk("isng", Zstr("EMU8000")),
                                   Chunk("INAM", Zstr(name.empty() ? "bank" : name)),
                                   Chunk("ISFT", Zstr("psxdig"))});
  const SampleArea area = WriteSamples(samples);
  const Bytes sdta = List("sdta", {Chunk("smpl", area.smpl)});
  std::vector<Bytes> pdtaChunks = WritePresets(bank, samples);
  pdtaChunks.push_back(Chunk("shdr", area.shdr));
  const Bytes pdta = List("pdta", pdtaChunks);
  Bytes body;
  AppendText(body, "sfbk");
  for (const Bytes* part : {&info, &sdta, &pdta}) body.insert(body.end(), part->begin(), part->end());
  return Chunk("RIFF", body);
}

std::vector<std::uint8_t> SampleToWav(const DecodedSample& sample, std::uint32_t rate,
                                      std::uint8_t unityNote, std::uint32_t pitchFraction) {
  Bytes fmt;
  AppendLE(fmt, 1, 2);
  AppendLE(fmt, 1, 2);
  AppendLE(fmt, rate, 4);
  AppendLE(fmt, rate * 2, 4);
  AppendLE(fmt, 2, 2);
  AppendLE(fmt, 16, 2);
  Bytes data;
  for (const std::int16_t v : sample.pcm) AppendLE(data, static_cast<std::uint16_t>(v), 2);
  Bytes body;
  AppendText(body, "WAVE");
  for (const Bytes& c : {Chunk("fmt ", fmt), Chunk("data", data)}) body.insert(body.end(), c.begin(), c.end());
  if (sample.loops) {
    Bytes smpl;
    for (const std::uint32_t v : {0u, 0u, rate ? 1000000000u / rate : 0u, std::uint32_t{unityNote}, pitchFraction,
                                  0u, 0u, 1u, 0u, 0u, 0u, sample.loopStart, sample.loopEnd - 1, 0u, 0u}) {
      AppendLE(smpl, v, 4);
    }
    const Bytes c = Chunk("smpl", smpl);
    body.insert(body.end(), c.begin(), c.end());
  }
  return Chunk("RIFF", body);
}

}  // namespace psxdig::convert
