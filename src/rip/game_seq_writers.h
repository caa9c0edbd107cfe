// Sequence formats of particular games: SSsq, KCET, SNTp, SEQG, SEQq, .sqv
// and SSEQ. Each writer finds where an item starts (at its signature or a
// fixed distance before it) and how long it is, then writes, lists and
// records it like every other sequence item.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "rip/rip_context.h"

namespace psxdig {

// Where an item lies in the input: its first byte and its length (without
// file padding). Both lie wholly inside the input.
struct ItemSpan {
  std::uint32_t start = 0;
  std::uint32_t size = 0;
  bool operator==(const ItemSpan&) const = default;
};

// The deciders: given the input and the offset of an item's signature, where
// the item lies, or nothing when the item is rejected. They read only bytes
// inside `input`.

// 12 bytes before "SSsq" up to the end of the first FF 2F 00 behind it
// (at most 65,538 bytes from the signature).
std::optional<ItemSpan> FindSssqItem(ByteSpan input, std::uint32_t sigOfs);
// "KCET" and the 32-bit length at bytes 4..7, plus those 8 bytes.
std::optional<ItemSpan> FindKcetItem(ByteSpan input, std::uint32_t sigOfs);
// 12 bytes before "SNTp", walked over two 00 00 20 00 markers.
std::optional<ItemSpan> FindSntpItem(ByteSpan input, std::uint32_t sigOfs);
// "SEQG", 8 bytes plus the 32-bit length at bytes 80..83.
std::optional<ItemSpan> FindSeqgItem(ByteSpan input, std::uint32_t sigOfs);
// 60 bytes before "qQES", those 60 bytes plus the 32-bit length at item bytes 0..3.
std::optional<ItemSpan> FindSeqqItem(ByteSpan input, std::uint32_t sigOfs);
// ".sqv" up to the end of its last track's FF 2F 00 (1 to 3 tracks).
std::optional<ItemSpan> FindSqvItem(ByteSpan input, std::uint32_t sigOfs);
// "SSEQ" up to and including the first F3 byte.
std::optional<ItemSpan> FindSseqItem(ByteSpan input, std::uint32_t sigOfs);

// A stretch of the input copied to a bank-body file.
struct BodyRegion {
  std::uint32_t ofs = 0;
  std::uint32_t size = 0;
  bool operator==(const BodyRegion&) const = default;
};

struct SeqqBodyRegions {
  BodyRegion first;
  BodyRegion second;
};

// The two bank bodies that the SEQq archives ".Q41" and ".Q71" hold at fixed
// places, chosen by the extension of the input's file name (case-sensitive)
// and cut to the part inside an input of `inputSize` bytes. Any other
// extension, or a place wholly outside the input, gives an empty region.
SeqqBodyRegions GetSeqqBodyRegions(std::string_view inputPath, std::uint64_t inputSize);

// The writers. Each returns 1 when every item was written or rejected, 0 when
// an output file could not be opened (earlier files and rows stay).
std::uint32_t CreateSSsq(const RipContext& ctx, DataOfs& table);
std::uint32_t CreateKcet(const RipContext& ctx, DataOfs& table);
std::uint32_t CreateSntp(const RipContext& ctx, DataOfs& table);
std::uint32_t CreateSeqg(const RipContext& ctx, DataOfs& table);
std::uint32_t CreateSeqq(const RipContext& ctx, DataOfs& table);
std::uint32_t CreateSqv(const RipContext& ctx, DataOfs& table);
std::uint32_t CreateSseq(const RipContext& ctx, DataOfs& table);

}  // namespace psxdig
