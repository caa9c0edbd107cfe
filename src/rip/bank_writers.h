// Sound banks: the writers of the four bank-header classes and of their
// bodies, and the deciders of the body searches (pure functions on the input
// buffer, so that they can be tried on small buffers).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "rip/body_candidates.h"
#include "rip/rip_context.h"

namespace psxdig {

// Per-bank scratch data of a VAB or VAB-variant run, filled by the header
// writer and read by the body search.
//   vhHeader: 32 bytes per bank, laid out as the head of a VAB header (total
//             size at offset 12, VAG count at offset 22).
//   vagSizeTbl: 256 16-bit entries per bank; entry k (1..VAG count) is the
//             size of sample k in units of 8 bytes, entry 0 is no sample.
inline constexpr std::size_t kVhHeaderBytes = 32;
inline constexpr std::size_t kVagTableEntries = 256;
using VhHeaderTable = std::vector<std::uint8_t>;   // kVhHeaderBytes per bank
using VagSizeTable = std::vector<std::uint16_t>;   // kVagTableEntries per bank

// Total size (header plus body) recorded for bank i, and its VAG count.
std::uint32_t BankTotalSize(const VhHeaderTable& vhHeader, std::uint32_t i);
std::uint16_t BankVagCount(const VhHeaderTable& vhHeader, std::uint32_t i);

// Header writers. Each returns 1 when its loop ran to the end, 0 when an
// output file could not be opened (the body writer must then not run).
std::uint32_t CreateVh(const RipContext& ctx, DataOfs& table, VhHeaderTable& vhHeader,
                       VagSizeTable& vagSizeTbl);
std::uint32_t CreateVhForBastard(const RipContext& ctx, DataOfs& table, VhHeaderTable& vhHeader,
                                 VagSizeTable& vagSizeTbl);
std::uint32_t CreateSShd(const RipContext& ctx, DataOfs& table, std::vector<std::uint32_t>& vbSize);
std::uint32_t CreateInst(const RipContext& ctx, DataOfs& table);

// Body writers.
std::uint32_t CreateVbForVh(const RipContext& ctx, DataOfs& table, const VhHeaderTable& vhHeader,
                            const VagSizeTable& vagSizeTbl);
std::uint32_t CreateVbForSShd(const RipContext& ctx, DataOfs& table,
                              const std::vector<std::uint32_t>& vbSize);
std::uint32_t CreateVbForInst(const RipContext& ctx, DataOfs& table);

// ---- VAB variant (".vh2") header ------------------------------------------

// The VAG offset table of a ".vh2" header at p with header size S: the u32
// words read backward from the header's end, down to and including the first
// zero word. At most 255 words, none from the 40-byte head; an empty result
// when no zero word stands there.
std::vector<std::uint32_t> ReadVh2OffsetTable(ByteSpan b, std::uint64_t p, std::uint64_t headerSize);

// The 256 size-table entries made from a VAG offset table and the body size:
// the offsets sorted ascending, the body size appended, entry k the distance
// from offset k-1 to offset k in units of 8 bytes (entry 0: offset 0 / 8).
std::array<std::uint16_t, kVagTableEntries> BuildVagSizeEntries(std::vector<std::uint32_t> offsets,
                                                                std::uint32_t bodySize);

// ---- Body search for VAB banks -------------------------------------------

// Sum of (total size - header size written) over the leading run of written
// headers, as the bodies would need; headers whose total size is below their
// own size count nothing. More than the input means there are no bodies to
// look for.
std::uint64_t SumOfLeadingBodySizes(const DataOfs& table, const VhHeaderTable& vhHeader);

// The first block test at position x: with the zero check the 16 bytes at x
// must be zero and the block at x + 16 is tested, else the block at x. The
// block must have filter <= 4, shift <= 12, flag <= 7 and not be 00 00.
bool PassesFirstBlock(ByteSpan b, std::uint64_t x, bool headZeroCheck);

// The end-flag test of a sample ending at `end` (exclusive): the flag of its
// last block is 1, 3 or 7, or the flag of the block before that is 3 or 7.
// A flag byte outside the input fails; a last block outside the input fails
// the whole test, whatever the block before it holds.
bool PassesEndFlag(ByteSpan b, std::uint64_t end);

// The end some encoders write: a one-shot end block (flag 1) followed by one
// trailing block of flag 0 or 2 that is never played.
bool PassesTrailingBlockEnd(ByteSpan b, std::uint64_t end);

// The outcome of checking one candidate position.
struct VagRunResult {
  bool accepted = false;
  std::uint64_t lastSampleStart = 0;  // start of the sample whose end reached the body size
  bool trailingBlockEnd = false;      // a sample passed only by its trailing-block end
};

// Checks whether bank `bankIndex`'s samples (`sizes`, in bytes, body size
// `bodySize`) start at x: first block, then per sample the end flag and its
// inner blocks. Writes the "[NotVag]" and "NextOfs" lines to vagLog (the
// "_VagOfs.txt" log; may be none). With `trailingBlockEnds` a sample may
// also end the way PassesTrailingBlockEnd accepts.
VagRunResult CheckVagRun(ByteSpan b, std::uint64_t x, const std::vector<std::uint32_t>& sizes,
                         std::uint64_t bodySize, bool headZeroCheck, std::uint32_t bankIndex,
                         std::FILE* vagLog, bool trailingBlockEnds = false);

// Occupied ranges: starts and ends of every sequence item and every header
// item of nonzero size, each list sorted on its own; range k is the k-th
// start with the k-th end.
struct OccupiedRanges {
  std::vector<std::uint32_t> starts;
  std::vector<std::uint32_t> ends;
};
OccupiedRanges BuildOccupiedRanges(const DataOfs& table);

// State of the body search that lasts from bank to bank.
struct BodySearch {
  ByteSpan input;
  OccupiedRanges ranges;
  std::size_t cursor = 0;           // only moves forward, except at a restart
  std::uint64_t firstBodyOfs = 0;   // where bank 0's body was found
  bool headZeroCheck = true;
  bool trailingBlockEnds = false;   // extract: samples may end as PassesTrailingBlockEnd says
  std::FILE* vagLog = nullptr;
  // The positions that pass the first-block test; the scan jumps from one
  // to the next. None: the scan tests every position in turn.
  BodyCandidates* candidates = nullptr;
};

struct BodyHit {
  bool found = false;
  std::uint64_t ofs = 0;
  std::uint64_t lastSampleStart = 0;
  bool trailingBlockEnd = false;
};

// Scans from `from` up to the last possible start for bank `bankIndex`,
// skipping occupied ranges; a bank that is not the last restarts once at the
// first body offset when it reaches the last possible start.
BodyHit ScanForBody(BodySearch& search, std::uint32_t bankIndex, bool lastBank,
                    const std::vector<std::uint32_t>& sizes, std::uint64_t bodySize,
                    std::uint64_t from);

// Where the next bank's search starts after bank i's body was found at x
// (only used with two or more banks). pattern 1 (/p2): right behind the body;
// pattern 0 (/p1): the last byte of the next header when the body lies behind
// its header, the last byte of this header when it lies before it.
std::uint64_t NextSearchStart(std::uint32_t pattern, const DataOfs& table, std::uint32_t i,
                              std::uint64_t x, std::uint64_t bodySize, std::uint64_t current);

// ---- SShd bodies ----------------------------------------------------------

// True when an ".sshd" body of V bytes may start at x: a zero block, a first
// real block with flag 0, 2, 4, 5 or 6 and not 00 00, a last block with flag
// 1, 3 or 7, and every block with byte 0 below 0x4F and flag below 8.
bool PassesSShdBody(ByteSpan b, std::uint64_t x, std::uint64_t bodySize);

// The first x from `from` up to the last possible start at which an SShd
// body of `bodySize` bytes passes; a value past the last start when none
// does. With candidates (of kind kSShd) only their positions are tested.
std::uint64_t FindSShdBody(ByteSpan b, std::uint64_t from, std::uint64_t bodySize,
                           BodyCandidates* candidates);

}  // namespace psxdig
