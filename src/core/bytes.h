// Bounds-checked little- and big-endian reads on the input image. Every read of the
// input goes through these helpers, so no caller can step outside the buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

namespace psxdig {

using ByteSpan = std::span<const std::uint8_t>;

// True when n bytes starting at off lie inside b.
inline bool HasBytes(ByteSpan b, std::uint64_t off, std::uint64_t n) {
  return off <= b.size() && n <= b.size() - off;
}

// Byte at off, or 0 outside the buffer.
inline std::uint8_t ReadU8(ByteSpan b, std::uint64_t off) { return off < b.size() ? b[off] : 0; }

// Little-endian 16-bit value at off; 0 when any byte lies outside the buffer.
inline std::uint16_t ReadU16LE(ByteSpan b, std::uint64_t off) {
  if (!HasBytes(b, off, 2)) return 0;
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

// Little-endian 32-bit value at off; 0 when any byte lies outside the buffer.
inline std::uint32_t ReadU32LE(ByteSpan b, std::uint64_t off) {
  if (!HasBytes(b, off, 4)) return 0;
  return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
         (static_cast<std::uint32_t>(b[off + 2]) << 16) |
         (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

// Big-endian value of n (1..4) bytes at off; 0 when any byte lies outside
// the buffer.
inline std::uint32_t ReadBE(ByteSpan b, std::uint64_t off, unsigned n) {
  if (n > 4 || !HasBytes(b, off, n)) return 0;
  std::uint32_t v = 0;
  for (unsigned k = 0; k < n; ++k) v = (v << 8) | b[off + k];
  return v;
}

// True when the n bytes of pattern stand at off (and fit in the buffer).
inline bool BytesAt(ByteSpan b, std::uint64_t off, const void* pattern, std::size_t n) {
  return HasBytes(b, off, n) && std::memcmp(b.data() + off, pattern, n) == 0;
}

// The end-of-track meta event FF 2F 00 that closes every sequence, and the
// same event behind a zero delta time (00 FF 2F 00).
inline constexpr std::uint8_t kEndOfTrack[3] = {0xFF, 0x2F, 0x00};
inline constexpr std::uint8_t kZeroDeltaEndOfTrack[4] = {0x00, 0xFF, 0x2F, 0x00};

}  // namespace psxdig
