// SoundFont 2 and WAV writers for decoded VAB banks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/adpcm.h"
#include "convert/vab.h"

namespace psxdig::convert {

inline constexpr std::uint32_t kSpuRate = 44100;

// SoundFont volume-envelope generator values (timecents, sustain in cB)
// approximating the sound unit's ADSR registers.
struct ZoneEnvelope {
  int attack = 0;
  int decay = 0;
  int sustain = 0;
  int release = 0;
  int sustainAttenuation = 0;  // cB for the zone's attenuation: a falling sustain's level
};
ZoneEnvelope EnvelopeFromAdsr(std::uint16_t adsr1, std::uint16_t adsr2);

// Attenuation in cB of tone volume x program volume x the bank's master
// volume (0..127 each), 0..1440.
int AttenuationCb(std::uint8_t toneVolume, std::uint8_t programVolume, std::uint8_t masterVolume);
// Pan in 0.1 % (-500 left .. +500 right) of the tone pan moved by the
// program pan (64 = centre for both).
int PanPermille(std::uint8_t tonePan, std::uint8_t programPan);

// The SoundFont: one sample per VAG (44100 Hz, loops as decoded), one
// instrument per program with one zone per tone, one preset per program at
// its program number in bank 0 and again in bank 128 (so that MIDI channel
// 10, which players take for drums, finds the same programs). `samples`
// holds the decoded VAGs in table order. The bank needs one program.
std::vector<std::uint8_t> VabToSf2(const VabBank& bank, const std::vector<DecodedSample>& samples,
                                   const std::string& name);

// A 16-bit mono PCM WAV at `rate`, with a "smpl" chunk (unity note, pitch
// fraction, one forward loop) when the sample loops.
std::vector<std::uint8_t> SampleToWav(const DecodedSample& sample, std::uint32_t rate,
                                      std::uint8_t unityNote, std::uint32_t pitchFraction);

}  // namespace psxdig::convert
