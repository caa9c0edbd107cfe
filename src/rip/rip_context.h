// What every writer of a rip shares: the input, where its files go, the
// listing, the error log and the run options.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/options.h"
#include "core/output.h"
#include "core/output_policy.h"
#include "core/bytes.h"
#include "search/data_ofs.h"

namespace psxdig {

struct RipContext {
  std::string inputPath;       // output names are built from it
  ByteSpan input;              // the whole input image, read-only
  std::FILE* listing = nullptr;  // the listing CSV (may be none in tests)
  ErrorLog log;                // rejected candidates
  RunOptions options;
  // Where items go and how they are listed; none: the rip's numbered files
  // beside the input, with a row each in `listing`.
  OutputPolicy* output = nullptr;
};

// Writes one row of the listing CSV and flushes it. No row for an item count
// of 0 or of 10000 and more. seqValue + 1 fills the last column of ".sep" rows.
void WriteListRow(const char* ext, std::uint32_t index, std::uint32_t ofs, std::uint32_t size,
                  std::uint32_t count, std::uint32_t seqValue, std::FILE* listing);

// The listing's first line.
inline constexpr const char* kListingHeader = "Ext,No,Ofs(dec),Ofs(hex),Size(dec),Size(hex),SeqNumInSep\n";

// Writes `size` bytes of the input from `ofs` to an item file, followed by
// `padding` zero bytes. Returns false when the file cannot be opened (the last
// system error tells why) or written.
bool WriteItemFile(const RipContext& ctx, const char* ext, std::uint32_t index,
                   std::uint32_t count, std::uint64_t ofs, std::uint64_t size,
                   std::uint32_t padding);

// What every writer does for an item it keeps: its listing row, then its
// file. False when the file cannot be written; the failure is then reported
// under the writer's name and the writer stops.
bool ListAndWriteItem(const RipContext& ctx, const char* writer, const char* ext,
                      std::uint32_t index, std::uint32_t count, std::uint64_t ofs,
                      std::uint32_t size, std::uint32_t padding = 0, std::uint32_t seqValue = 0,
                      bool trailingBlockEnd = false);

// Zero bytes that round `size` up to a multiple of 4.
inline std::uint32_t PaddingToFour(std::uint64_t size) {
  return static_cast<std::uint32_t>((4 - size % 4) % 4);
}

// Runs the writer of the sequence class and the writer and body writer of
// the bank-header class over what the search found, as a rip does.
void WriteFoundItems(const RipContext& ctx, DataOfs& table);

// Runs the search and every writer of the rip command. 1 when something was
// found (also when writing then fails), 0 when the search failed or found
// nothing.
std::uint32_t execRip(const RipContext& ctx, DataOfs& table);

// What a SEQ or SEP item at an offset is and how long it is.
struct SeqExtent {
  enum Verdict { kCompressed, kNoEndMarker, kFound } verdict;
  bool sep;                    // a bundle of sequences (version bytes 6..7 zero)
  std::uint32_t size;          // bytes up to the last end marker found
  std::uint32_t furtherCount;  // sequences of a bundle behind its first one
};
SeqExtent MeasureSeqItem(ByteSpan input, std::uint32_t ofs);

// SEQ and SEP items.
std::uint32_t CreateSeq(const RipContext& ctx, DataOfs& table);

}  // namespace psxdig
