// 16-bit PCM WAV files of interleaved samples.
#pragma once

#include <cstdint>
#include <vector>

namespace psxdig::convert {

// The 44-byte header of a 16-bit PCM WAV holding `dataBytes` of samples.
std::vector<std::uint8_t> WavHeader(std::uint32_t rate, std::uint32_t channels, std::uint64_t dataBytes);

// A whole 16-bit PCM WAV of interleaved samples.
std::vector<std::uint8_t> PcmToWav(const std::vector<std::int16_t>& pcm, std::uint32_t rate, std::uint32_t channels);

}  // namespace psxdig::convert
