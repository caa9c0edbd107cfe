// Single samples with a "VAGp" (or interleaved "VAGi") header inside the
// stream of file data.
#include <algorithm>
#include <cstring>

#include "streams/streams.h"

namespace psxdig::streams {
namespace {

constexpr std::uint32_t kMaxVersion = 0x100;
constexpr std::uint32_t kMinRate = 1000;
constexpr std::uint32_t kMaxRate = 192000;

std::string HeaderName(ByteSpan data, std::uint64_t at) {
  std::string name;
  for (std::uint64_t k = 0; k < 16 && at + k < data.size(); ++k) {
    const char c = static_cast<char>(data[at + k]);
    if (c == '\0') break;
    name += (c >= 0x20 && c < 0x7F) ? c : '_';
  }
  return name;
}

// The first ADPCM block decodes as the sound chip can: shift <= 12, filter <= 4.
bool FirstBlockPasses(ByteSpan data, std::uint64_t at) {
  if (!HasBytes(data, at, 16)) return false;
  const std::uint8_t head = data[at];
  return (head & 0x0F) <= 12 && (head >> 4) <= 4;
}

// "why" of a rejected header, when the caller wants it.
std::optional<VagHeader> Reject(std::string* why, const std::string& what) {
  if (why) *why = what;
  return std::nullopt;
}

// The channels' blocks of a VAGi, one after another: left blocks, then right.
std::vector<std::uint8_t> Deinterleave(ByteSpan data, std::uint32_t interleave, std::uint32_t channel) {
  std::vector<std::uint8_t> out;
  for (std::uint64_t at = std::uint64_t{interleave} * channel; at < data.size(); at += std::uint64_t{interleave} * 2) {
    const std::uint64_t n = std::min<std::uint64_t>(interleave, data.size() - at);
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
               data.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  return out;
}

}  // namespace

std::optional<VagHeader> ReadVagHeader(ByteSpan data, std::uint64_t at, std::uint64_t limit, std::string* why) {
  VagHeader h;
  if (BytesAt(data, at, "VAGi", 4)) {
    h.interleaved = true;
  } else if (!BytesAt(data, at, "VAGp", 4)) {
    return Reject(why, "no VAG magic");
  }
  limit = std::min<std::uint64_t>(limit, data.size());
  if (!HasBytes(data, at, kVagHeaderBytes) || at + kVagHeaderBytes > limit) return Reject(why, "header cut short");
  h.version = ReadBE(data, at + 4, 4);
  h.sizeField = ReadBE(data, at + 12, 4);
  h.rate = ReadBE(data, at + 16, 4);
  h.name = HeaderName(data, at + 32);
  if (h.version >= kMaxVersion) return Reject(why, "version " + std::to_string(h.version) + " is not below 0x100");
  if (h.rate < kMinRate || h.rate > kMaxRate) {
    return Reject(why, "sample rate " + std::to_string(h.rate) + " Hz is out of range (1000..192000)");
  }
  if (h.interleaved) {
    h.interleave = ReadU32LE(data, at + 8);
    h.channels = data[at + 0x1E];
    h.dataStart = kVagiDataStart;
    h.layoutSane = h.interleave > 0 && h.interleave % 16 == 0 && (h.channels == 1 || h.channels == 2);
  } else if (h.sizeField < 16 || h.sizeField % 16 != 0) {
    return Reject(why, "data size " + std::to_string(h.sizeField) + " is not a multiple of 16");
  }
  if (!h.interleaved && !FirstBlockPasses(data, at + h.dataStart)) return Reject(why, "first ADPCM block is not valid");
  h.extent = std::min<std::uint64_t>(h.dataStart + std::uint64_t{h.sizeField}, limit - at);
  if (h.extent < kVagHeaderBytes) h.extent = kVagHeaderBytes;
  return h;
}

std::vector<std::uint64_t> FindVagMagics(ByteSpan data) {
  std::vector<std::uint64_t> found;
  if (data.size() < 4) return found;
  const std::uint8_t* p = data.data();
  const std::uint8_t* end = data.data() + data.size() - 3;
  while (p < end) {
    p = static_cast<const std::uint8_t*>(std::memchr(p, 'V', static_cast<std::size_t>(end - p)));
    if (!p) break;
    if (p[1] == 'A' && p[2] == 'G' && (p[3] == 'p' || p[3] == 'i')) {
      found.push_back(static_cast<std::uint64_t>(p - data.data()));
    }
    ++p;
  }
  return found;
}

VagPcm DecodeVag(ByteSpan file, const VagHeader& header) {
  VagPcm pcm;
  if (file.size() <= header.dataStart) return pcm;
  const std::uint64_t present = file.size() - header.dataStart;
  std::uint64_t bytes = std::min<std::uint64_t>(header.sizeField, present);
  if (header.interleaved && header.sizeField == 0) bytes = present;
  bytes -= bytes % convert::kAdpcmBlockBytes;
  const ByteSpan data = file.subspan(header.dataStart, bytes);
  if (!header.interleaved) {
    pcm.left = convert::DecodeAdpcm(data);
    return pcm;
  }
  if (!header.layoutSane) return pcm;
  pcm.channels = header.channels;
  if (header.channels == 1) {
    pcm.left = convert::DecodeAdpcm(data);
    return pcm;
  }
  pcm.left = convert::DecodeAdpcm(Deinterleave(data, header.interleave, 0));
  pcm.right = convert::DecodeAdpcm(Deinterleave(data, header.interleave, 1));
  return pcm;
}

}  // namespace psxdig::streams
