// SPU ADPCM: 16-byte blocks of 28 samples, decoded as the console's sound
// unit does (filter term rounded to nearest, clamped history), with the
// sample's extent and loop taken from the block flags.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bytes.h"

namespace psxdig::convert {

inline constexpr std::uint32_t kAdpcmBlockBytes = 16;
inline constexpr std::uint32_t kAdpcmBlockSamples = 28;

struct DecodedSample {
  std::vector<std::int16_t> pcm;
  bool loops = false;
  std::uint32_t loopStart = 0;  // first sample of the loop
  std::uint32_t loopEnd = 0;    // first sample after the loop
};

// Decodes blocks up to and including the first one whose end flag is set,
// or up to the last whole block of `sample`. A looping sample's loop runs
// from the last block with the loop-start flag at or before the end block
// (block 0 when none has it) to the end of the end block. A loop made only
// of silent blocks (all-zero head and data) closes a one-shot sample: those
// blocks are dropped and the sample does not loop.
DecodedSample DecodeAdpcm(ByteSpan sample);

}  // namespace psxdig::convert
