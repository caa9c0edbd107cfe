#include "convert/adpcm.h"

#include <algorithm>

namespace psxdig::convert {
namespace {

// Filter coefficients in 1/64; filters 5..7 are undefined and act as 0.
constexpr int kF0[8] = {0, 60, 115, 98, 122, 0, 0, 0};
constexpr int kF1[8] = {0, 0, -52, -55, -60, 0, 0, 0};

constexpr std::uint8_t kFlagEnd = 0x01;
constexpr std::uint8_t kFlagRepeat = 0x02;
constexpr std::uint8_t kFlagLoopStart = 0x04;

struct History {
  int old = 0;
  int older = 0;
};

void DecodeBlock(ByteSpan block, History& h, std::vector<std::int16_t>& out) {
  int shift = block[0] & 0x0F;
  if (shift > 12) shift = 9;
  const int filter = (block[0] >> 4) & 0x07;
  for (std::uint32_t j = 0; j < kAdpcmBlockSamples; ++j) {
    const std::uint8_t byte = block[2 + j / 2];
    const int nibble = (j % 2 == 0) ? (byte & 0x0F) : (byte >> 4);
    const int n = nibble >= 8 ? nibble - 16 : nibble;
    const int t = (n * 4096) >> shift;
    const int s = std::clamp(t + ((h.old * kF0[filter] + h.older * kF1[filter] + 32) >> 6), -32768, 32767);
    out.push_back(static_cast<std::int16_t>(s));
    h.older = h.old;
    h.old = s;
  }
}

bool IsSilentBlock(ByteSpan block) {
  if (block[0] != 0) return false;
  return std::all_of(block.begin() + 2, block.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

DecodedSample DecodeAdpcm(ByteSpan sample) {
  DecodedSample result;
  const std::size_t blocks = sample.size() / kAdpcmBlockBytes;
  result.pcm.reserve(blocks * kAdpcmBlockSamples);
  History history;
  std::size_t loopBlock = 0;
  std::size_t count = 0;
  bool repeat = false;
  for (; count < blocks; ++count) {
    const ByteSpan block = sample.subspan(count * kAdpcmBlockBytes, kAdpcmBlockBytes);
    if (block[1] & kFlagLoopStart) loopBlock = count;
    DecodeBlock(block, history, result.pcm);
    if (block[1] & kFlagEnd) {
      repeat = (block[1] & kFlagRepeat) != 0;
      ++count;
      break;
    }
  }
  if (!repeat) return result;
  bool silentLoop = true;
  for (std::size_t k = loopBlock; k < count && silentLoop; ++k) {
    silentLoop = IsSilentBlock(sample.subspan(k * kAdpcmBlockBytes, kAdpcmBlockBytes));
  }
  if (silentLoop) {
    if (loopBlock > 0) result.pcm.resize(loopBlock * kAdpcmBlockSamples);
    return result;
  }
  result.loops = true;
  result.loopStart = static_cast<std::uint32_t>(loopBlock * kAdpcmBlockSamples);
  result.loopEnd = static_cast<std::uint32_t>(count * kAdpcmBlockSamples);
  return result;
}

}  // namespace psxdig::convert
