#include "render/voice.h"

#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/gauss_table.h"

namespace psxdig::render {
namespace {

// The filters' weights in 1/64; filters 5..7 act as filter 0.
constexpr std::int32_t kF0[8] = {0, 60, 115, 98, 122, 0, 0, 0};
constexpr std::int32_t kF1[8] = {0, 0, -52, -55, -60, 0, 0, 0};

constexpr std::uint8_t kFlagEnd = 0x01;
constexpr std::uint8_t kFlagRepeat = 0x02;
constexpr std::uint8_t kFlagLoopStart = 0x04;
constexpr std::uint32_t kBlockTicks = 28u << 12;

// A wait no render reaches (it is capped far below 2^32 ticks): the level holds.
constexpr std::uint32_t kHoldForever = 0xFFFFFFFFu;

// The four tap weights of every fraction, oldest sample first.
constexpr std::array<std::array<std::int32_t, 4>, 256> MakeTaps() {
  std::array<std::array<std::int32_t, 4>, 256> taps{};
  for (int i = 0; i < 256; ++i) {
    taps[i] = {kGaussTable[0xFF - i], kGaussTable[0x1FF - i], kGaussTable[0x100 + i], kGaussTable[i]};
  }
  return taps;
}
constexpr auto kTaps = MakeTaps();

// The same weights as 16-bit lanes (every entry fits), for a multiply-add of
// four samples at once where the processor has one. The sums are exact
// either way.
constexpr std::array<std::array<std::int16_t, 4>, 256> MakeTaps16() {
  std::array<std::array<std::int16_t, 4>, 256> taps{};
  for (int i = 0; i < 256; ++i) {
    for (int k = 0; k < 4; ++k) taps[i][k] = static_cast<std::int16_t>(kTaps[i][k]);
  }
  return taps;
}
alignas(16) constexpr auto kTaps16 = MakeTaps16();

// (w[0] g[0] + w[1] g[1] + w[2] g[2] + w[3] g[3]) >> 15 for fraction i.
inline std::int32_t Interpolate(const std::int16_t* w, std::uint32_t i) {
#if defined(__SSE2__)
  const __m128i taps = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kTaps16[i].data()));
  const __m128i samples = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(w));
  const __m128i pairs = _mm_madd_epi16(taps, samples);
  return (_mm_cvtsi128_si32(pairs) + _mm_cvtsi128_si32(_mm_srli_si128(pairs, 4))) >> 15;
#else
  const std::array<std::int32_t, 4>& g = kTaps[i];
  return (g[0] * w[0] + g[1] * w[1] + g[2] * w[2] + g[3] * w[3]) >> 15;
#endif
}

struct Rate {
  bool increase;
  bool exponential;
  std::uint32_t shift;
  std::uint32_t step;
};

}  // namespace

void Envelope::Start(std::uint16_t adsr1, std::uint16_t adsr2) {
  adsr1_ = adsr1;
  adsr2_ = adsr2;
  level_ = 0;
  Enter(EnvelopePhase::kAttack);
}

void Envelope::Release() {
  if (phase_ == EnvelopePhase::kRelease || phase_ == EnvelopePhase::kOff) return;
  Enter(EnvelopePhase::kRelease);
}

void Envelope::Enter(EnvelopePhase phase) {
  phase_ = phase;
  if (phase == EnvelopePhase::kDecay && DecayDone()) phase_ = EnvelopePhase::kSustain;
  Prepare();
}

void Envelope::Prepare() {
  Rate r{};
  switch (phase_) {
    case EnvelopePhase::kAttack:
      r = {true, (adsr1_ & 0x8000) != 0, (adsr1_ >> 10) & 0x1Fu, (adsr1_ >> 8) & 3u};
      break;
    case EnvelopePhase::kDecay:
      r = {false, true, (adsr1_ >> 4) & 0x0Fu, 0};
      break;
    case EnvelopePhase::kSustain:
      r = {(adsr2_ & 0x4000) == 0, (adsr2_ & 0x8000) != 0, (adsr2_ >> 8) & 0x1Fu, (adsr2_ >> 6) & 3u};
      break;
    case EnvelopePhase::kRelease:
      r = {false, (adsr2_ & 0x20) != 0, adsr2_ & 0x1Fu, 0};
      break;
    case EnvelopePhase::kOff:
      countdown_ = kHoldForever;
      return;
  }
  const bool holds = (phase_ == EnvelopePhase::kAttack || phase_ == EnvelopePhase::kSustain) &&
                     ((r.shift << 2) | r.step) == 0x7F;
  if (holds) {
    step_ = 0;
    countdown_ = kHoldForever;
    return;
  }
  const std::int32_t base = r.increase ? 7 - static_cast<std::int32_t>(r.step) : -(8 - static_cast<std::int32_t>(r.step));
  step_ = base * (1 << (r.shift < 11 ? 11 - r.shift : 0));
  std::uint32_t wait = 1u << (r.shift > 11 ? r.shift - 11 : 0);
  if (r.exponential && r.increase && level_ > 0x6000) wait *= 4;
  if (r.exponential && !r.increase) step_ = (step_ * level_) >> 15;
  countdown_ = wait;
}

void Envelope::Step() {
  level_ = std::clamp(level_ + step_, 0, 0x7FFF);
  switch (phase_) {
    case EnvelopePhase::kAttack:
      if (level_ == 0x7FFF) {
        Enter(EnvelopePhase::kDecay);
        return;
      }
      break;
    case EnvelopePhase::kDecay:
      if (DecayDone()) {
        Enter(EnvelopePhase::kSustain);
        return;
      }
      break;
    case EnvelopePhase::kRelease:
      if (level_ == 0) {
        phase_ = EnvelopePhase::kOff;
        countdown_ = kHoldForever;
        return;
      }
      break;
    default:
      break;
  }
  Prepare();
}

void BlockDecoder::Start(VoiceSample s) {
  sample = s;
  block = 0;
  repeat = 0;
  h1 = h2 = 0;
  window[28] = window[29] = window[30] = 0;
  Decode();
}

void BlockDecoder::Decode() {
  const std::uint8_t* b = sample.data + 16u * block;
  if (b[1] & kFlagLoopStart) repeat = block;
  std::int32_t shift = b[0] & 0x0F;
  if (shift > 12) shift = 9;
  const std::int32_t f0 = kF0[(b[0] >> 4) & 7], f1 = kF1[(b[0] >> 4) & 7];
  window[0] = window[28];
  window[1] = window[29];
  window[2] = window[30];
  std::int32_t x1 = h1, x2 = h2;
  for (int j = 0; j < 28; ++j) {
    const std::int32_t nibble = (b[2 + j / 2] >> ((j & 1) * 4)) & 0x0F;
    const std::int32_t t = (nibble ^ 8) - 8;
    const std::int32_t x = std::clamp(((t * 4096) >> shift) + ((x1 * f0 + x2 * f1 + 32) >> 6), -32768, 32767);
    window[3 + j] = static_cast<std::int16_t>(x);
    x2 = x1;
    x1 = x;
  }
  h1 = x1;
  h2 = x2;
}

bool BlockDecoder::Next() {
  const std::uint8_t flags = sample.data[16u * block + 1];
  if (flags & kFlagEnd) {
    if ((flags & kFlagRepeat) == 0) return false;
    block = repeat;
  } else {
    ++block;
  }
  if (block >= sample.blocks) return false;
  Decode();
  return true;
}

bool DecodedStream::Extend(VoiceSample sample, std::uint64_t& budget) {
  if (ended_ || budget == 0) return false;
  if (blocks_ == 0) {
    decoder_.Start(sample);
    pcm_.assign(3, 0);
  } else if (!decoder_.Next()) {
    ended_ = true;
    return false;
  }
  pcm_.insert(pcm_.end(), decoder_.window + 3, decoder_.window + 31);
  ++blocks_;
  --budget;
  return true;
}

void Voice::KeyOn(VoiceSample sample, std::uint16_t adsr1, std::uint16_t adsr2, DecodedStream* stream,
                  std::uint64_t* budget) {
  sample_ = sample;
  block_ = 0;
  counter_ = 0;
  envelope_.Start(adsr1, adsr2);
  budget_ = budget;
  stream_ = stream;
  if (stream_ && stream_->blocks() == 0 && !stream_->Extend(sample, *budget_)) stream_ = nullptr;
  if (!stream_) own_.Start(sample);
}

bool Voice::NextBlock() {
  if (!stream_) return own_.Next();
  if (block_ + 1 < stream_->blocks() || stream_->Extend(sample_, *budget_)) {
    ++block_;
    return true;
  }
  if (stream_->ended()) return false;
  // The budget is spent: on from where the stream stops, decoding alone.
  own_ = stream_->tail();
  stream_ = nullptr;
  return own_.Next();
}

std::uint32_t Voice::Render(std::int32_t* left, std::int32_t* right, std::uint32_t ticks) {
  // Everything the loop changes lives in locals: the outputs may alias members.
  const std::int16_t* w = Window();
  std::uint32_t counter = counter_;
  std::uint32_t countdown = envelope_.countdown_;
  std::int32_t level = envelope_.level_;
  const std::uint32_t step = step_;
  const std::int32_t volL = volL_, volR = volR_;
  std::uint32_t k = 0;
  while (k < ticks) {
    const std::uint32_t n = counter >> 12;
    const std::int32_t s = Interpolate(w + n, (counter >> 4) & 0xFF);
    const std::int32_t v = (s * level) >> 15;
    left[k] += (v * volL) >> 15;
    right[k] += (v * volR) >> 15;
    ++k;
    if (--countdown == 0) {
      envelope_.countdown_ = 0;
      envelope_.Step();
      countdown = envelope_.countdown_;
      level = envelope_.level_;
      if (!on()) break;
    }
    counter += step;
    if (counter >= kBlockTicks) {
      counter -= kBlockTicks;
      if (!NextBlock()) {
        envelope_.Cut();
        break;
      }
      w = Window();
    }
  }
  counter_ = counter;
  if (on()) envelope_.countdown_ = countdown;
  return k;
}

}  // namespace psxdig::render
