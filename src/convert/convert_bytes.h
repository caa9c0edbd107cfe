// Byte writers for the output formats (little-endian RIFF, big-endian MIDI).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace psxdig::convert {

using Bytes = std::vector<std::uint8_t>;

inline void AppendLE(Bytes& out, std::uint32_t v, int n) {
  for (int k = 0; k < n; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

inline void AppendBE(Bytes& out, std::uint32_t v, int n) {
  for (int k = n - 1; k >= 0; --k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

inline void AppendText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

}  // namespace psxdig::convert
