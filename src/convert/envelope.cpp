#include <algorithm>
#include <cmath>

#include "convert/sf2.h"

namespace psxdig::convert {
namespace {

constexpr double kRate = kSpuRate;
constexpr double kLn100dB = 11.512925;  // ln(10^5)

int Timecents(double seconds, int highest) {
  if (seconds <= 0) return -12000;
  return std::clamp(static_cast<int>(std::lround(1200.0 * std::log2(seconds))), -12000, highest);
}

// Ticks between two steps of a phase with this shift.
double StepPeriod(int shift) { return std::ldexp(1.0, std::min(15, std::max(0, shift - 11))); }
double StepSize(int base, int shift) { return base * std::ldexp(1.0, std::max(0, 11 - shift)); }

// Seconds for a linear rise from 0 to full scale.
double LinearRise(int shift, int step) {
  return 32767.0 * StepPeriod(shift) / (StepSize(7 - step, shift) * kRate);
}
// Seconds for a linear fall from full scale to 0.
double LinearFall(int shift, int step) {
  return 32768.0 * StepPeriod(shift) / (StepSize(8 - step, shift) * kRate);
}
// Seconds for an exponential fall by 100 dB.
double ExponentialFall(int shift, int step) {
  return kLn100dB / ((8 - step) * std::ldexp(1.0, -4 - shift) * kRate);
}

}  // namespace

ZoneEnvelope EnvelopeFromAdsr(std::uint16_t adsr1, std::uint16_t adsr2) {
  ZoneEnvelope env;
  const int attackShift = (adsr1 >> 10) & 0x1F;
  const int attackStep = (adsr1 >> 8) & 3;
  if (((adsr1 >> 8) & 0x7F) == 0x7F) {
    env.attack = 8000;  // the level never rises
  } else {
    const double rise = LinearRise(attackShift, attackStep);
    env.attack = Timecents((adsr1 & 0x8000) ? 1.75 * rise : rise, 8000);
  }
  env.decay = Timecents(ExponentialFall((adsr1 >> 4) & 0x0F, 0), 8000);
  const int level = adsr1 & 0x0F;
  env.sustain = static_cast<int>(std::lround(200.0 * std::log10(16.0 / (level + 1))));
  // A sustain that keeps falling until key off becomes one continuous decay
  // to silence at the sustain rate; a rising or held sustain keeps the level.
  const bool falling = (adsr2 & 0x4000) != 0;
  const bool held = ((adsr2 >> 6) & 0x7F) == 0x7F;
  if (falling && !held) {
    const int shift = (adsr2 >> 8) & 0x1F;
    const int step = (adsr2 >> 6) & 3;
    env.decay = Timecents((adsr2 & 0x8000) ? ExponentialFall(shift, step) : LinearFall(shift, step), 8000);
    env.sustain = 1000;
  }
  const int releaseShift = adsr2 & 0x1F;
  env.release = Timecents((adsr2 & 0x20) ? ExponentialFall(releaseShift, 0) : LinearFall(releaseShift, 0), 8000);
  return env;
}

int AttenuationCb(std::uint8_t toneVolume, std::uint8_t programVolume) {
  const double gain = (std::min<int>(toneVolume, 127) / 127.0) * (std::min<int>(programVolume, 127) / 127.0);
  if (gain <= 0) return 1440;
  return std::clamp(static_cast<int>(std::lround(-200.0 * std::log10(gain))), 0, 1440);
}

int PanPermille(std::uint8_t tonePan, std::uint8_t programPan) {
  const int p = std::clamp(int{tonePan} + int{programPan} - 64, 0, 127) - 64;
  return static_cast<int>(std::lround(p * 500.0 / (p < 0 ? 64 : 63)));
}

}  // namespace psxdig::convert
