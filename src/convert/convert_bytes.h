// Big-endian reads for the sequence headers and byte writers for the output
// formats (little-endian RIFF, big-endian MIDI).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace psxdig::convert {

using Bytes = std::vector<std::uint8_t>;

// Big-endian value of n (1..4) bytes at off; 0 when any byte lies outside.
inline std::uint32_t ReadBE(ByteSpan b, std::uint64_t off, int n) {
  if (!HasBytes(b, off, static_cast<std::uint64_t>(n))) return 0;
  std::uint32_t v = 0;
  for (int k = 0; k < n; ++k) v = (v << 8) | b[off + k];
  return v;
}

inline void AppendLE(Bytes& out, std::uint32_t v, int n) {
  for (int k = 0; k < n; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

inline void AppendBE(Bytes& out, std::uint32_t v, int n) {
  for (int k = n - 1; k >= 0; --k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

inline void AppendText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace psxdig::convert
