// SEQ and SEP items: a single sequence, or a bundle of up to 16 numbered
// sequences, each closed by an end-of-track event. Sizes come from the
// end-of-track markers alone; no length field is trusted.
#include <cstdio>

#include "rip/rip_context.h"

namespace psxdig {
namespace {

constexpr std::uint32_t kFirstMarkerFrom = 15;      // behind the 15-byte item header
constexpr std::uint32_t kFirstMarkerTo = 65521;     // last position tested for 00 FF 2F 00
constexpr std::uint32_t kFurtherMarkerSpan = 65536;  // last distance tested for FF 2F 00
constexpr std::uint32_t kMaxFurther = 15;            // sequence numbers 1..15 follow number 0

// Size of the first sequence (00 FF 2F 00 included), or 0 when no marker
// stands between the header and the 65521st byte.
std::uint64_t FindFirstEndOfTrack(ByteSpan b, std::uint64_t ofs) {
  for (std::uint64_t p = kFirstMarkerFrom; p <= kFirstMarkerTo; ++p) {
    if (!HasBytes(b, ofs + p, 4)) return 0;
    if (BytesAt(b, ofs + p, kZeroDeltaEndOfTrack, 4)) return p + 4;
  }
  return 0;
}

struct SepWalk {
  std::uint64_t size;
  std::uint32_t furtherCount;
};

// Follows the sequences of a SEP behind its first one: each starts with its
// number (big-endian 16-bit, 1, 2, ...) and ends with FF 2F 00.
SepWalk WalkSep(ByteSpan b, std::uint64_t ofs, std::uint64_t size) {
  SepWalk walk{size, 0};
  std::uint64_t pos = ofs + size;
  for (std::uint32_t k = 1; k <= kMaxFurther; ++k) {
    const std::uint8_t number[2] = {0, static_cast<std::uint8_t>(k)};
    if (!BytesAt(b, pos, number, 2)) break;
    bool found = false;
    for (std::uint64_t j = 0; j <= kFurtherMarkerSpan; ++j) {
      if (!HasBytes(b, pos + 3 + j, 3)) break;
      if (BytesAt(b, pos + 3 + j, kEndOfTrack, 3)) {
        walk.size += j + 6;
        pos += 6 + j;
        ++walk.furtherCount;
        found = true;
        break;
      }
    }
    if (!found) break;
  }
  return walk;
}

}  // namespace

SeqExtent MeasureSeqItem(ByteSpan b, std::uint32_t ofs) {
  if (ReadU8(b, ofs + 4ull) != 0 || ReadU8(b, ofs + 5ull) != 0) {
    return {SeqExtent::kCompressed, false, 0, 0};
  }
  const std::uint64_t firstSize = FindFirstEndOfTrack(b, ofs);
  if (firstSize == 0) return {SeqExtent::kNoEndMarker, false, 0, 0};
  const bool sep = ReadU8(b, ofs + 6ull) == 0 && ReadU8(b, ofs + 7ull) == 0;
  const SepWalk walk = sep ? WalkSep(b, ofs, firstSize) : SepWalk{firstSize, 0};
  return {SeqExtent::kFound, sep, static_cast<std::uint32_t>(walk.size), walk.furtherCount};
}

std::uint32_t CreateSeq(const RipContext& ctx, DataOfs& table) {
  const ByteSpan b = ctx.input;
  for (std::uint32_t i = 0; i < table.seqNum; ++i) {
    const std::uint32_t ofs = table.seqOfs[i];
    const SeqExtent item = MeasureSeqItem(b, ofs);
    if (item.verdict == SeqExtent::kCompressed) {
      ctx.log.Write("Not split for compress or non seq[%u]. ofs: %x\n", i + 1, ofs);
      table.seqSize[i] = 4;
      continue;
    }
    if (item.verdict == SeqExtent::kFound) {
      table.seqExt = item.sep ? ".sep" : ".seq";
      const std::uint32_t size = item.size;
      if (!ListAndWriteItem(ctx, "CreateSeq", table.seqExt.c_str(), i, table.seqNum, ofs, size,
                            PaddingToFour(size), item.furtherCount)) {
        return 0;
      }
      table.seqSize[i] = size;
      table.seqCreated[i] = 1;
      std::printf("\rCreate %s %4u/%4u", table.seqExt.c_str(), i + 1, table.seqNum);
    }
    if (table.seqCreated[i] == 0) ctx.log.Write("Invalid seq. ofs: %u, %#x\n", ofs, ofs);
  }
  std::printf("\n");
  return 1;
}

}  // namespace psxdig
