// VAB sound banks: the header (programs, tones, VAG size table) and the
// samples of the body, checked against each other.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace psxdig::convert {

struct VabTone {
  std::uint8_t priority = 0;
  std::uint8_t mode = 0;
  std::uint8_t volume = 0;
  std::uint8_t pan = 64;
  std::uint8_t center = 60;  // key at which the sample plays at 44100 Hz
  std::uint8_t shift = 0;    // fine tune of the centre note, 1/128 semitone
  std::uint8_t minKey = 0;
  std::uint8_t maxKey = 0;
  std::uint8_t bendDown = 0;  // pitch-bend range down, semitones
  std::uint8_t bendUp = 0;    // pitch-bend range up, semitones
  std::uint16_t adsr1 = 0;
  std::uint16_t adsr2 = 0;
  std::uint16_t vag = 0;  // 1-based sample number
};

struct VabProgram {
  std::uint8_t number = 0;
  std::uint8_t volume = 127;
  std::uint8_t pan = 64;
  std::vector<VabTone> tones;  // only tones whose sample exists
};

struct VabBank {
  std::vector<VabProgram> programs;  // programs with tones, in program order
  std::vector<ByteSpan> samples;     // sample k + 1 of the size table at index k
  std::uint8_t masterVolume = 127;
  std::uint32_t tonesWithoutSample = 0;  // valid tone records whose VAG number is out of range
  std::uint64_t bodyMissing = 0;         // bytes the size table claims past the body's end
  std::string error;                 // set when the header or its body is not usable
};

enum class BodyCheck {
  kExact,    // the sample sizes must add up to the body's size
  kLenient,  // samples past the body's end are cut (or empty), extra bytes unused
};

// Size of the header at the start of `file` (2592 + 512 x program count),
// or 0 when the file does not start with a VAB header ("pBAV").
std::size_t VabHeaderSize(ByteSpan file);

// Empty when `header` holds a whole, plausible VAB header; else what is
// wrong with it.
std::string CheckVabHeader(ByteSpan header);

// Reads the header and cuts the body into its samples. Fails when the
// header is cut short or inconsistent, or when the sizes of the VAG table do
// not add up to the body's size.
VabBank ParseVab(ByteSpan header, ByteSpan body, BodyCheck check = BodyCheck::kExact);

// The programs of a header alone (no samples): what a sequence needs of its
// bank. Fails only when the header is cut short or implausible.
VabBank ParseVabPrograms(ByteSpan header);

// Pitch-bend range (semitones up) a channel gets from each program number:
// the value most of the program's tones have (the first tone's among equals);
// -1 for programs the bank lacks.
using BendRanges = std::array<int, 128>;
BendRanges BendRangesOf(const VabBank& bank);

}  // namespace psxdig::convert
