// Brightis sequences: a plain head, then a byte-oriented code stream of
// literals (bit 7 clear), back-references with 13-bit distances and lengths
// 4..7 (7 growing by extension bytes 61..7F), each back-reference possibly
// followed by a run of plain bytes. The stream ends at the first
// 00 FF 2F 00 behind the signature, or where the next item begins.
#include <cstdio>
#include <limits>
#include <new>

#include "core/output.h"
#include "decompress/decompressors.h"
#include "platform/platform.h"

namespace psxdig {
namespace {

constexpr std::uint64_t kOutputPerStreamByte = 10;  // output is bounded by ten times the stream

// The decoded bytes, never more than `cap` of them.
struct Output {
  std::vector<std::uint8_t>& bytes;
  std::uint64_t cap;

  bool Full() const { return bytes.size() >= cap; }
  // Appends one byte; false (and nothing appended) once the output is full.
  bool Put(std::uint8_t b) {
    if (Full()) return false;
    bytes.push_back(b);
    return true;
  }
  // Appends `n` bytes of `from`; false when the output filled up on the way.
  bool PutAll(ByteSpan from) {
    for (const std::uint8_t b : from) {
      if (!Put(b)) return false;
    }
    return true;
  }
  // Repeats the `distance` bytes before the end for `length` bytes.
  bool PutBack(std::uint64_t distance, std::uint64_t length) {
    for (std::uint64_t k = 0; k < length; ++k) {
      const std::uint8_t b = bytes[bytes.size() - distance];
      if (!Put(b)) return false;
    }
    return true;
  }
};

std::uint64_t ReferenceLength(std::uint8_t b0) {
  switch (b0 >> 4) {
    case 0x8: case 0x9: return 4;
    case 0xA: case 0xB: return 5;
    case 0xC: case 0xD: return 6;
    default: return 7;  // E, F: extension bytes may follow
  }
}

// Position of the first 00 FF 2F 00 at position 1 or later, or the item's
// size when there is none; never beyond `limit`, the start of the next item.
std::uint64_t FindStop(ByteSpan item, std::uint64_t limit) {
  const std::uint64_t end = std::min<std::uint64_t>(item.size(), limit);
  for (std::uint64_t p = 1; p < end && p + 4 <= item.size(); ++p) {
    if (BytesAt(item, p, kZeroDeltaEndOfTrack, 4)) return p;
  }
  return end;
}

}  // namespace

bool DecodeBrightis(ByteSpan input, std::uint32_t ofs, std::vector<std::uint8_t>& bytes,
                    std::uint32_t nextOfs) {
  bytes.clear();
  if (ofs < 2 || ofs >= input.size()) return false;
  const ByteSpan item = input.subspan(ofs);
  const std::uint64_t head = (input[ofs - 2] & 0x0Fu) * 256u + input[ofs - 1];
  const std::uint64_t stop =
      FindStop(item, nextOfs > ofs ? nextOfs - ofs : std::numeric_limits<std::uint64_t>::max());
  Output out{bytes, stop * kOutputPerStreamByte};
  out.PutAll(item.first(std::min<std::uint64_t>(head, item.size())));

  static constexpr std::uint8_t kEndCode[4] = {0, 0, 0, 0};
  std::uint64_t s = head;
  while (s < stop && !out.Full()) {
    if (BytesAt(item, s, kEndCode, 4)) break;
    const std::uint8_t b0 = item[s];
    if ((b0 & 0x80) == 0) {
      out.Put(b0);
      ++s;
      continue;
    }
    if (s + 1 >= item.size()) break;  // the code's second byte is cut off
    const std::uint64_t distance = (b0 & 0x1Fu) * 256u + item[s + 1];
    if (distance == 0 || distance == bytes.size()) {
      out.Put(b0);  // taken as a plain byte
      ++s;
      continue;
    }
    std::uint64_t length = ReferenceLength(b0);
    s += 2;
    if (b0 >= 0xE0) {
      while (s < item.size() && item[s] >= 0x61 && item[s] <= 0x7F) length += item[s++] - 0x60u;
    }
    if (distance > bytes.size()) break;  // would reach before the start of the output
    if (!out.PutBack(distance, length)) break;

    // A run of plain bytes may follow a back-reference.
    if (s >= item.size()) break;
    const std::uint8_t r = item[s];
    std::uint64_t runStart = 0;
    std::uint64_t runLength = 0;
    if (r >= 0x20 && r <= 0x2F) {
      if (s + 1 >= item.size()) break;
      runLength = (r & 0x0Fu) * 256u + item[s + 1];
      runStart = s + 2;
    } else if (r >= 0x01 && r <= 0x1F) {
      runLength = r;
      runStart = s + 1;
    } else {
      continue;  // r is the next code
    }
    if (!HasBytes(item, runStart, runLength)) break;  // the run is cut off
    if (!out.PutAll(item.subspan(runStart, runLength))) break;
    s = runStart + runLength;
  }
  return true;
}

std::uint32_t uncompressBrightis(ByteSpan input, const std::string& inputPath, DataOfs& table) {
  for (std::uint32_t i = 0; i < table.seqNum; ++i) {
    const std::uint32_t ofs = table.seqOfs[i];
    if (ofs >= 2) {  // without the two bytes before the signature there is no head length
      FilePtr file = OpenOutputFile(inputPath, nullptr, nullptr, ".seq", "wb", i, table.seqNum);
      if (!file) {
        ReportLastError("uncompressBrightis", __LINE__);
        return 0;
      }
      std::vector<std::uint8_t> out;
      try {
        DecodeBrightis(input, ofs, out, i + 1 < table.seqNum ? table.seqOfs[i + 1] : 0);
      } catch (const std::bad_alloc&) {
        platform::SetLastError(platform::Failure::kNoMemory);
        ReportLastError("uncompressBrightis", __LINE__);
        return 0;
      }
      if (!out.empty() && std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) {
        ReportLastError("uncompressBrightis", __LINE__);
        return 0;
      }
      table.seqCreated[i] = 1;
    }
    std::printf("\rUncompress %4u/%4u", i + 1, table.seqNum);
  }
  std::printf("\n");
  return 1;
}

}  // namespace psxdig
