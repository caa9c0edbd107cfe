#include <algorithm>
#include <cmath>

#include "convert/sf2.h"

namespace psxdig::convert {
namespace {

constexpr double kRate = kSpuRate;
constexpr double kLn100dB = 11.512925;  // ln(10^5)
constexpr int kFullScale = 0x7FFF;

int Timecents(double seconds, int highest) {
  if (seconds <= 0) return -12000;
  return std::clamp(static_cast<int>(std::lround(1200.0 * std::log2(seconds))), -12000, highest);
}

// Ticks between two steps of a phase with this shift.
double StepPeriod(int shift) { return std::ldexp(1.0, std::max(0, shift - 11)); }
double StepSize(int base, int shift) { return base * std::ldexp(1.0, std::max(0, 11 - shift)); }

// Seconds for a linear rise from 0 to full scale.
double LinearRise(int shift, int step) {
  return 32767.0 * StepPeriod(shift) / (StepSize(7 - step, shift) * kRate);
}
// Seconds for an exponential fall by 100 dB, as if the steps were exact.
double ExponentialFall(int shift, int step) {
  return kLn100dB / ((8 - step) * std::ldexp(1.0, -4 - shift) * kRate);
}

// A falling phase as the sound chip steps it.
struct Fall {
  int shift = 0;
  int step = 0;  // step code: the level falls by 8 - step units per step (scaled)
  bool exponential = false;
};

struct FallPoint {
  double seconds = 0;
  int level = 0;
};

// Steps `fall` from level `from` until the level is at or below `to` or
// `limit` seconds have passed. An exponential step is the linear one scaled
// by level / 0x8000 and rounded down (so at least one unit): at low levels
// the chip falls faster than a true exponential.
FallPoint StepFall(int from, int to, double limit, const Fall& fall) {
  const int base = -((8 - fall.step) << std::max(0, 11 - fall.shift));
  const double wait = StepPeriod(fall.shift);
  FallPoint at{0, from};
  double ticks = 0;
  while (at.level > to && ticks + wait <= limit * kRate) {
    at.level = std::max(0, at.level + (fall.exponential ? (base * at.level) >> 15 : base));
    ticks += wait;
  }
  at.seconds = ticks / kRate;
  return at;
}

double Decibels(double level, double reference) { return 20.0 * std::log10(std::max(level, 1.0) / reference); }

// SoundFont decay and release ramps are straight lines in dB, reaching
// -100 dB after the generator's time; the chip's falls are not (a linear
// fall is a straight line in amplitude, an exponential one speeds up at low
// levels). Time of the line through the point that is heard: 20 dB down for
// a release or a short fall, else (a held note) the level after two seconds.
double FallAsLine(int from, const Fall& fall, bool release) {
  const FallPoint down20 = StepFall(from, from / 10, 1e9, fall);
  if (release || down20.seconds <= 2.0) return 100.0 / 20.0 * down20.seconds;
  const double drop = -Decibels(StepFall(from, 0, 2.0, fall).level, from);
  return drop > 0 ? 100.0 * 2.0 / drop : 1e9;
}

// The level a rising sustain reaches `seconds` after it starts at `from`
// (an exponential rise slows to a quarter above 0x6000).
double RisenLevel(double from, int shift, int step, bool exponential, double seconds) {
  const double perSecond = StepSize(7 - step, shift) / StepPeriod(shift) * kRate;
  const double fast = exponential ? std::clamp((0x6000 - from) / perSecond, 0.0, seconds) : seconds;
  return std::min(32767.0, from + perSecond * (fast + (seconds - fast) / 4));
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
  // The decay ends on its first step below (SL + 1) x 0x800: the sustain
  // starts there.
  const int level = adsr1 & 0x0F;
  const Fall decay{(adsr1 >> 4) & 0x0F, 0, true};
  const FallPoint decayEnd = StepFall(kFullScale, (level + 1) * 2048 - 1, 1e9, decay);
  const int sustainStart = std::max(1, decayEnd.level);
  env.sustain = std::clamp(static_cast<int>(std::lround(-10.0 * Decibels(sustainStart, kFullScale))), 0, 1440);
  env.decay = Timecents(env.sustain > 0 ? 1000.0 / env.sustain * decayEnd.seconds : ExponentialFall(decay.shift, 0),
                        8000);
  // A sustain that keeps falling until key off becomes one continuous decay
  // to silence, heard from the sustain level on when the decay to it is
  // short; a held sustain keeps the level; a rising one is held half way
  // (in dB) between the sustain level and where it has risen to two seconds in.
  const bool falling = (adsr2 & 0x4000) != 0;
  const bool held = ((adsr2 >> 6) & 0x7F) == 0x7F;
  const Fall sustain{(adsr2 >> 8) & 0x1F, (adsr2 >> 6) & 3, (adsr2 & 0x8000) != 0};
  if (falling && !held) {
    const double fall = FallAsLine(sustainStart, sustain, false);
    env.decay = Timecents(fall, 8000);
    if (decayEnd.seconds <= fall / 40) env.sustainAttenuation = env.sustain;  // a quarter of its first 10 dB
    env.sustain = 1000;
  } else if (!held) {
    const double risen = RisenLevel(sustainStart, sustain.shift, sustain.step, sustain.exponential, 2.0);
    env.sustain = std::clamp(static_cast<int>(std::lround(-5.0 * (Decibels(sustainStart, kFullScale) +
                                                                  Decibels(risen, kFullScale)))),
                             0, 1440);
  }
  env.release = Timecents(FallAsLine(kFullScale, {adsr2 & 0x1F, 0, (adsr2 & 0x20) != 0}, true), 8000);
  return env;
}

int AttenuationCb(std::uint8_t toneVolume, std::uint8_t programVolume, std::uint8_t masterVolume) {
  const double gain = (std::min<int>(toneVolume, 127) / 127.0) * (std::min<int>(programVolume, 127) / 127.0) *
                      (std::min<int>(masterVolume, 127) / 127.0);
  if (gain <= 0) return 1440;
  return std::clamp(static_cast<int>(std::lround(-200.0 * std::log10(gain))), 0, 1440);
}

int PanPermille(std::uint8_t tonePan, std::uint8_t programPan) {
  const int p = std::clamp(int{tonePan} + int{programPan} - 64, 0, 127) - 64;
  return static_cast<int>(std::lround(p * 500.0 / (p < 0 ? 64 : 63)));
}

}  // namespace psxdig::convert
