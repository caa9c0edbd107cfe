#include "render/voice.h"

#include <algorithm>
#include <array>

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

void Voice::KeyOn(VoiceSample sample, std::uint16_t adsr1, std::uint16_t adsr2) {
  sample_ = sample;
  block_ = 0;
  repeat_ = 0;
  h1_ = h2_ = 0;
  buf_[0] = buf_[1] = buf_[2] = 0;
  counter_ = 0;
  envelope_.Start(adsr1, adsr2);
  DecodeBlock();
}

void Voice::DecodeBlock() {
  const std::uint8_t* b = sample_.data + 16u * block_;
  if (b[1] & kFlagLoopStart) repeat_ = block_;
  std::int32_t shift = b[0] & 0x0F;
  if (shift > 12) shift = 9;
  const std::int32_t f0 = kF0[(b[0] >> 4) & 7], f1 = kF1[(b[0] >> 4) & 7];
  buf_[0] = buf_[28];
  buf_[1] = buf_[29];
  buf_[2] = buf_[30];
  std::int32_t h1 = h1_, h2 = h2_;
  for (int j = 0; j < 28; ++j) {
    const std::int32_t nibble = (b[2 + j / 2] >> ((j & 1) * 4)) & 0x0F;
    const std::int32_t t = (nibble ^ 8) - 8;
    const std::int32_t x = std::clamp(((t * 4096) >> shift) + ((h1 * f0 + h2 * f1 + 32) >> 6), -32768, 32767);
    buf_[3 + j] = x;
    h2 = h1;
    h1 = x;
  }
  h1_ = h1;
  h2_ = h2;
}

bool Voice::NextBlock() {
  const std::uint8_t flags = sample_.data[16u * block_ + 1];
  if (flags & kFlagEnd) {
    if ((flags & kFlagRepeat) == 0) return false;
    block_ = repeat_;
  } else {
    ++block_;
  }
  if (block_ >= sample_.blocks) return false;
  DecodeBlock();
  return true;
}

std::uint32_t Voice::Render(std::int32_t* left, std::int32_t* right, std::uint32_t ticks) {
  for (std::uint32_t k = 0; k < ticks; ++k) {
    const std::uint32_t n = counter_ >> 12;
    const std::array<std::int32_t, 4>& g = kTaps[(counter_ >> 4) & 0xFF];
    const std::int32_t s = (g[0] * buf_[n] + g[1] * buf_[n + 1] + g[2] * buf_[n + 2] + g[3] * buf_[n + 3]) >> 15;
    const std::int32_t v = (s * envelope_.level()) >> 15;
    left[k] += (v * volL_) >> 15;
    right[k] += (v * volR_) >> 15;
    envelope_.Tick();
    counter_ += step_;
    if (counter_ >= kBlockTicks) {
      counter_ -= kBlockTicks;
      if (!NextBlock()) envelope_.Cut();
    }
    if (!on()) return k + 1;
  }
  return ticks;
}

}  // namespace psxdig::render
