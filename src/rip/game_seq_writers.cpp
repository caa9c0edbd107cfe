// Sequence formats of particular games. All writers share one frame (listing
// row, item file, recorded size, progress) and differ only in the rule that
// places an item around its signature.
#include "rip/game_seq_writers.h"

#include <cstdio>

namespace psxdig {
namespace {

using Decider = std::optional<ItemSpan> (*)(ByteSpan, std::uint32_t);

struct GameSeqFormat {
  const char* writerName;    // named in system error reports
  Decider find;              // where the item lies, or nothing to pass over it
  bool padToFour;            // item files are padded with zero bytes to a multiple of 4
  std::uint32_t uncounted;   // leading bytes that the recorded size leaves out
};

// A span known to lie inside the input, which is always below 4 GiB.
std::optional<ItemSpan> Span(std::uint64_t start, std::uint64_t size) {
  return ItemSpan{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(size)};
}

// The item's file names and numbers follow its index among all items of the
// class; a rejected item leaves a gap. False when a file could not be written
// (already reported).
bool WriteItems(const RipContext& ctx, DataOfs& table, const GameSeqFormat& format) {
  for (std::uint32_t i = 0; i < table.seqNum; ++i) {
    const std::optional<ItemSpan> item = format.find(ctx.input, table.seqOfs[i]);
    if (!item) continue;
    const std::uint32_t padding = format.padToFour ? PaddingToFour(item->size) : 0;
    if (!ListAndWriteItem(ctx, format.writerName, table.seqExt.c_str(), i, table.seqNum,
                          item->start, item->size, padding)) {
      return false;
    }
    table.seqSize[i] = item->size - format.uncounted;
    table.seqCreated[i] = 1;
    std::printf("\rCreate %s %4u/%4u", table.seqExt.c_str(), i + 1, table.seqNum);
  }
  return true;
}

std::uint32_t WriteClass(const RipContext& ctx, DataOfs& table, const GameSeqFormat& format) {
  if (!WriteItems(ctx, table, format)) return 0;
  std::printf("\n");
  return 1;
}

constexpr std::uint64_t kSssqPrefix = 12;        // bytes in front of "SSsq"
constexpr std::uint64_t kSssqMarkerEndMax = 65538;  // last marker end tested, from the signature
constexpr std::uint64_t kSntpPrefix = 12;        // bytes in front of "SNTp"
constexpr std::uint64_t kSeqgLengthAt = 80;      // length field of a SEQG item
constexpr std::uint64_t kSeqqPrefix = 60;        // bytes in front of "qQES"
constexpr std::uint64_t kScanSpan = 65535;       // last item offset of the .sqv and SSEQ scans
constexpr std::uint8_t kSseqEnd = 0xF3;
constexpr std::uint8_t kSntpMarker[4] = {0x00, 0x00, 0x20, 0x00};

// Item offset of the first SNTp marker at from, from + 4, ... inside the
// input, or nothing.
std::optional<std::uint64_t> FindSntpMarker(ByteSpan b, std::uint64_t start, std::uint64_t from) {
  for (std::uint64_t pos = from; HasBytes(b, start + pos, 4); pos += 4) {
    if (BytesAt(b, start + pos, kSntpMarker, 4)) return pos;
  }
  return std::nullopt;
}

}  // namespace

std::optional<ItemSpan> FindSssqItem(ByteSpan b, std::uint32_t sigOfs) {
  if (sigOfs < kSssqPrefix) return std::nullopt;  // no room for the prefix
  for (std::uint64_t end = 4; end <= kSssqMarkerEndMax; ++end) {
    const std::uint64_t at = sigOfs + end - 3;
    if (!HasBytes(b, at, 3)) return std::nullopt;
    if (BytesAt(b, at, kEndOfTrack, 3)) return Span(sigOfs - kSssqPrefix, kSssqPrefix + end);
  }
  return std::nullopt;
}

std::optional<ItemSpan> FindKcetItem(ByteSpan b, std::uint32_t sigOfs) {
  if (!HasBytes(b, sigOfs + 4ull, 4)) return std::nullopt;
  const std::uint64_t length = ReadU32LE(b, sigOfs + 4ull);
  if (length == 0 || !HasBytes(b, sigOfs, length + 8)) return std::nullopt;
  return Span(sigOfs, length + 8);
}

// The item holds a first part of length A (bytes 8..11), closed by a marker
// found on a 4-byte grid behind it; the 32-bit value in front of that marker
// is the length B of a second part, closed by the next marker on the grid
// behind it. When that value's third byte is not zero, B stands 4 bytes
// further in front.
std::optional<ItemSpan> FindSntpItem(ByteSpan b, std::uint32_t sigOfs) {
  if (sigOfs < kSntpPrefix) return std::nullopt;
  const std::uint64_t start = sigOfs - kSntpPrefix;
  if (!HasBytes(b, start + 8, 4)) return std::nullopt;
  const std::uint64_t a = ReadU32LE(b, start + 8);
  const std::optional<std::uint64_t> x = FindSntpMarker(b, start, a + 4);
  if (!x) return std::nullopt;
  // *x >= 4, and the marker lies inside the input, so the 4 bytes before it do too.
  std::uint64_t lengthAt = start + *x - 4;
  if (ReadU8(b, start + *x - 2) != 0) {
    if (start + *x < 8) return std::nullopt;
    lengthAt = start + *x - 8;
  }
  const std::uint64_t secondLength = ReadU32LE(b, lengthAt);
  const std::optional<std::uint64_t> second = FindSntpMarker(b, start, *x + secondLength + 4);
  if (!second) return std::nullopt;
  return Span(start, *second + 4);
}

std::optional<ItemSpan> FindSeqgItem(ByteSpan b, std::uint32_t sigOfs) {
  if (!HasBytes(b, sigOfs + kSeqgLengthAt, 4)) return std::nullopt;
  const std::uint64_t size = 8 + static_cast<std::uint64_t>(ReadU32LE(b, sigOfs + kSeqgLengthAt));
  if (!HasBytes(b, sigOfs, size)) return std::nullopt;
  return Span(sigOfs, size);
}

std::optional<ItemSpan> FindSeqqItem(ByteSpan b, std::uint32_t sigOfs) {
  if (sigOfs < kSeqqPrefix) return std::nullopt;  // no room for the prefix
  const std::uint64_t start = sigOfs - kSeqqPrefix;
  if (!HasBytes(b, start, 4)) return std::nullopt;
  const std::uint64_t size = kSeqqPrefix + ReadU32LE(b, start);
  if (!HasBytes(b, start, size)) return std::nullopt;
  return Span(start, size);
}

// Bytes 8..11 and 12..15 are non-zero for a second and a third track; each
// track ends with FF 2F 00.
std::optional<ItemSpan> FindSqvItem(ByteSpan b, std::uint32_t sigOfs) {
  if (!HasBytes(b, sigOfs, 16)) return std::nullopt;
  const std::uint32_t tracks = 1u + (ReadU32LE(b, sigOfs + 8ull) != 0 ? 1u : 0u) +
                               (ReadU32LE(b, sigOfs + 12ull) != 0 ? 1u : 0u);
  std::uint32_t found = 0;
  for (std::uint64_t p = 0; p <= kScanSpan; ++p) {
    const std::uint64_t at = sigOfs + p + 1;
    if (!HasBytes(b, at, 3)) return std::nullopt;
    if (BytesAt(b, at, kEndOfTrack, 3) && ++found == tracks) return Span(sigOfs, p + 4);
  }
  return std::nullopt;
}

std::optional<ItemSpan> FindSseqItem(ByteSpan b, std::uint32_t sigOfs) {
  for (std::uint64_t p = 0; p <= kScanSpan; ++p) {
    if (!HasBytes(b, sigOfs + p, 1)) return std::nullopt;
    if (ReadU8(b, sigOfs + p) == kSseqEnd) return Span(sigOfs, p + 1);
  }
  return std::nullopt;
}

SeqqBodyRegions GetSeqqBodyRegions(std::string_view inputPath, std::uint64_t inputSize) {
  const std::size_t slash = inputPath.find_last_of('/');
  const std::string_view name =
      slash == std::string_view::npos ? inputPath : inputPath.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  const std::string_view ext = dot == std::string_view::npos ? "" : name.substr(dot);
  SeqqBodyRegions regions;
  if (ext == ".Q41") {
    regions = {{0x0CE4F16C, 240848}, {0x0CE8A8C8, 192048}};
  } else if (ext == ".Q71") {
    regions = {{0x11EB114C, 314000}, {0x11EFE7DC, 113552}};
  }
  for (BodyRegion* r : {&regions.first, &regions.second}) {
    if (r->ofs >= inputSize) {
      *r = {};
    } else if (r->ofs + static_cast<std::uint64_t>(r->size) > inputSize) {
      r->size = static_cast<std::uint32_t>(inputSize - r->ofs);
    }
  }
  return regions;
}

std::uint32_t CreateSSsq(const RipContext& ctx, DataOfs& table) {
  return WriteClass(ctx, table, {"CreateSSsq", FindSssqItem, true, 0});
}

std::uint32_t CreateKcet(const RipContext& ctx, DataOfs& table) {
  return WriteClass(ctx, table, {"CreateKcet", FindKcetItem, false, 0});
}

std::uint32_t CreateSntp(const RipContext& ctx, DataOfs& table) {
  return WriteClass(ctx, table, {"CreateSntp", FindSntpItem, false, 0});
}

std::uint32_t CreateSeqg(const RipContext& ctx, DataOfs& table) {
  return WriteClass(ctx, table, {"CreateSeqg", FindSeqgItem, false, 0});
}

// SEQq items record their length field alone, without the 60-byte prefix.
// After the items come the two bank bodies of the known archives.
std::uint32_t CreateSeqq(const RipContext& ctx, DataOfs& table) {
  if (!WriteItems(ctx, table, {"CreateSeqq", FindSeqqItem, false, kSeqqPrefix})) return 0;
  const SeqqBodyRegions regions = GetSeqqBodyRegions(ctx.inputPath, ctx.input.size());
  std::uint32_t index = 0;
  for (const BodyRegion& r : {regions.first, regions.second}) {
    if (!WriteItemFile(ctx, ".vb", index++, 2, r.ofs, r.size, 0)) {
      ReportLastError("CreateSeqq", __LINE__);
      return 0;
    }
  }
  std::printf("\n");
  return 1;
}

std::uint32_t CreateSqv(const RipContext& ctx, DataOfs& table) {
  return WriteClass(ctx, table, {"CreateSqv", FindSqvItem, true, 0});
}

std::uint32_t CreateSseq(const RipContext& ctx, DataOfs& table) {
  return WriteClass(ctx, table, {"CreateSseq", FindSseqItem, true, 0});
}

}  // namespace psxdig
