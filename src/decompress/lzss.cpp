// LZSS-compressed sequences: groups of one flag byte and eight items, each
// a literal or a two-byte back-reference into a 4096-byte window. The window
// is addressed the way these games' decoders do it: position p of a
// reference maps to output offset p + 18 within the 4 KiB page that lies
// 12 bytes behind the reference's own position.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "core/output.h"
#include "decompress/decompressors.h"

namespace psxdig {
namespace {

constexpr std::uint32_t kEndOfTrackScanLast = 65534;  // last position j tested for FF 2F 00 at j + 1

// Copies one back-reference of length `length` to dst[outPos..]. Blocks of
// `chunk` bytes are copied from the same source, so a source d < length bytes
// back repeats its d bytes. A block that would end past the output goes to
// the output's last `chunk` bytes, and one that would be read from past the
// output is read from there.
void CopyReference(std::vector<std::uint8_t>& dst, std::uint32_t outPos, std::uint32_t position,
                   std::uint32_t length) {
  const auto n = static_cast<std::uint32_t>(dst.size());
  std::uint32_t base = (outPos - position - 12u) & ~0xFFFu;  // wraps like the original 32-bit code
  if (static_cast<std::int32_t>(base) < 0) base = 0;
  const std::uint32_t from = position + 18u + base;
  const std::uint32_t chunk = outPos > from ? std::min(outPos - from, length) : 1u;
  const std::uint32_t limit = n - chunk;  // outPos < n and chunk <= max(outPos, 1), so no wrap
  const std::uint32_t source = std::min(from, limit);
  std::uint8_t* out = dst.data();
  for (std::uint32_t copied = 0; copied < length; copied += chunk) {
    const std::uint32_t to = outPos + copied;
    if (to > limit) {
      std::memmove(out + limit, out + source, chunk);
    } else {
      std::memmove(out + to, out + source, chunk);
    }
  }
}

}  // namespace

std::vector<std::uint8_t> DecodeLzss(ByteSpan src, std::uint32_t size, std::uint32_t matchBit) {
  // A stream byte yields at most 9 output bytes (a two-byte reference 18), so
  // a stream too short for `size` ends well before kStreamReach bytes past
  // what it can yield: the output is then cut anyway, and a buffer of that
  // reach decodes it exactly like one of the full size would (block copies
  // spill at most 17 bytes, empty-window sources lie at most 4113 bytes
  // ahead). A false size field thus costs no more than its stream.
  constexpr std::uint64_t kStreamReach = 8192;
  const std::uint64_t reach = 9 * std::uint64_t{src.size()} + kStreamReach;
  const auto capacity = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, reach));
  std::vector<std::uint8_t> dst(capacity, 0);
  std::uint32_t outPos = 0;
  std::size_t srcPos = 0;
  bool cut = false;
  while (outPos < capacity && !cut) {
    if (srcPos >= src.size()) {
      cut = true;
      break;
    }
    const std::uint8_t flags = src[srcPos++];
    for (unsigned bit = 0; bit < 8 && outPos < capacity; ++bit) {
      if (((flags >> bit) & 1u) != matchBit) {
        if (srcPos >= src.size()) {
          cut = true;
          break;
        }
        dst[outPos++] = src[srcPos++];
        continue;
      }
      if (!HasBytes(src, srcPos, 2)) {
        cut = true;
        break;
      }
      const std::uint8_t b0 = src[srcPos];
      const std::uint8_t b1 = src[srcPos + 1];
      const std::uint32_t position = b0 + 256u * (b1 >> 4);
      const std::uint32_t length = (b1 & 0x0Fu) + 3u;
      CopyReference(dst, outPos, position, length);
      srcPos += 2;
      outPos += length;
    }
  }
  if (cut) dst.resize(outPos);  // the stream ended first: keep what was decoded
  return dst;
}

std::uint64_t ScanLzssSize(ByteSpan stream) {
  std::uint64_t literals = 0;
  std::uint64_t references = 0;
  std::size_t pos = 0;
  while (pos < stream.size()) {
    const std::uint8_t flags = stream[pos];
    const unsigned set = static_cast<unsigned>(std::popcount(flags));
    const std::size_t groupBytes = 17 - set;
    if (!HasBytes(stream, pos, groupBytes)) break;
    const auto group = stream.subspan(pos, groupBytes);
    if (std::all_of(group.begin(), group.end(), [](std::uint8_t b) { return b == 0; })) break;
    literals += set;
    std::size_t item = pos + 1;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if ((flags >> bit) & 1u) {
        item += 1;
      } else {
        references += (stream[item + 1] & 0x0Fu) + 3u;
        item += 2;
      }
    }
    pos += groupBytes;
    // Nothing this large is decoded; stop walking a stream without terminator.
    if (literals + references > kMaxLzssSize) break;
  }
  return literals + references;
}

void CutAtEndOfTrack(std::vector<std::uint8_t>& out) {
  for (std::uint64_t j = 0; j <= kEndOfTrackScanLast && j + 4 <= out.size(); ++j) {
    if (BytesAt(out, j + 1, kEndOfTrack, 3)) {
      out.resize(j + 4);
      return;
    }
  }
}

std::uint32_t uncompressLzss(ByteSpan input, const std::string& inputPath, std::uint32_t sizeBack,
                             std::uint32_t streamBack, std::uint32_t matchBit,
                             std::uint32_t sizeMode, const char* ext, std::uint32_t versionFix,
                             DataOfs& table) {
  const std::string_view e(ext);
  const std::uint32_t count = (e == ".seq" || e == ".sssq") ? table.seqNum : 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t ofs = table.seqOfs[i];
    const bool headerSize = sizeMode == 0;
    // An item too close to the start of the input to hold its stream (or its
    // size field) is skipped, like one whose output cannot be had.
    bool decoded = false;
    std::vector<std::uint8_t> out;
    if (ofs >= streamBack && (!headerSize || ofs >= sizeBack)) {
      const ByteSpan stream = input.subspan(ofs - streamBack);
      const std::uint64_t size = headerSize ? ReadU32LE(input, ofs - sizeBack) : ScanLzssSize(stream);
      if (size <= kMaxLzssSize) {
        try {
          out = DecodeLzss(stream, static_cast<std::uint32_t>(size), matchBit);
          decoded = true;
        } catch (const std::bad_alloc&) {
        }
      }
    }
    if (decoded) {
      if (!headerSize) CutAtEndOfTrack(out);
      FilePtr file = OpenOutputFile(inputPath, nullptr, nullptr, ext, "wb", i, table.seqNum);
      if (!file) {
        ReportLastError("uncompressLzss", __LINE__);
        return 0;
      }
      if (versionFix == 1 && out.size() > 8) out[7] = 1;
      if (!out.empty() && std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) {
        ReportLastError("uncompressLzss", __LINE__);
        return 0;
      }
      table.seqCreated[i] = 1;
    }
    std::printf("\rUncompress %4u/%4u", i + 1, count);
  }
  std::printf("\n");
  return 1;
}

}  // namespace psxdig
