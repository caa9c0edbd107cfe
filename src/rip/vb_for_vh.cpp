// Bodies of VAB (and VAB variant) banks. A VAB header tells how many samples
// its bank has and how large each is, but not where the sample data lies:
// the body search looks for a run of SPU ADPCM samples with exactly those
// sizes, skipping the bytes of every item the data search found, and logs
// what it examines to "<input>_VagOfs.txt".
//
// The scan of one bank examines its positions in order; the positions that
// pass the first-block test are found once per run (BodyCandidates), so that
// a bank whose body is not in the input costs as many checks as there are
// such positions, not as many as there are bytes.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <optional>

#include "platform/platform.h"
#include "rip/bank_writers.h"

namespace psxdig {
namespace {

constexpr std::uint64_t kBlockBytes = 16;

// Filter (high nibble of byte 0) up to 4, shift (low nibble) up to 12, flag
// byte up to 7.
bool ValidBlockHead(std::uint8_t b0, std::uint8_t b1) {
  return (b0 >> 4) <= 4 && (b0 & 0x0F) <= 12 && b1 <= 7;
}

// The byte at end - back, or false when that lies outside the input.
bool ByteBefore(ByteSpan b, std::uint64_t end, std::uint64_t back, std::uint8_t& value) {
  if (end < back || end - back >= b.size()) return false;
  value = b[end - back];
  return true;
}

void LogLine(std::FILE* log, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void LogLine(std::FILE* log, const char* fmt, ...) {
  if (!log) return;
  std::va_list args;
  va_start(args, fmt);
  WriteTextV(log, fmt, args);
  va_end(args);
}

// Where the scan looks next, from position `from` on. Positions that fail
// the first-block test are passed over, up to the next occupied range (the
// range walk must see its start) and the last possible start (where the
// scan may restart). Without candidates every position is looked at.
std::uint64_t NextPosition(const BodySearch& search, std::uint64_t from, std::uint64_t last) {
  if (!search.candidates) return from;
  std::uint64_t limit = last;
  if (search.cursor < search.ranges.starts.size()) {
    limit = std::min<std::uint64_t>(limit, search.ranges.starts[search.cursor]);
  }
  return search.candidates->Next(from, limit);
}

}  // namespace

std::uint64_t SumOfLeadingBodySizes(const DataOfs& table, const VhHeaderTable& vhHeader) {
  std::uint64_t sum = 0;
  for (std::uint32_t k = 0; k < table.vhNum && table.vhCreated[k] == 1; ++k) {
    // A header whose total size is below its own size is corrupt or false: it
    // fails its own size check later and must not hide the other bodies.
    const std::uint32_t total = BankTotalSize(vhHeader, k);
    if (total >= table.vhSize[k]) sum += total - table.vhSize[k];
  }
  return sum;
}

bool PassesFirstBlock(ByteSpan b, std::uint64_t x, bool headZeroCheck) {
  static constexpr std::uint8_t kZeroBlock[kBlockBytes] = {};
  std::uint64_t block = x;
  if (headZeroCheck) {
    if (!BytesAt(b, x, kZeroBlock, kBlockBytes)) return false;
    block = x + kBlockBytes;
  }
  if (!HasBytes(b, block, 2)) return false;
  const std::uint8_t b0 = b[block];
  const std::uint8_t b1 = b[block + 1];
  return ValidBlockHead(b0, b1) && (b0 != 0 || b1 != 0);
}

bool PassesEndFlag(ByteSpan b, std::uint64_t end) {
  std::uint8_t flag = 0;
  // A sample whose last block lies outside the input has no end to test.
  if (!ByteBefore(b, end, 15, flag)) return false;
  if (flag == 1 || flag == 3 || flag == 7) return true;
  return ByteBefore(b, end, 31, flag) && (flag == 3 || flag == 7);
}

bool PassesTrailingBlockEnd(ByteSpan b, std::uint64_t end) {
  std::uint8_t last = 0;
  std::uint8_t before = 0;
  return ByteBefore(b, end, 15, last) && (last == 0 || last == 2) &&
         ByteBefore(b, end, 31, before) && before == 1;
}

VagRunResult CheckVagRun(ByteSpan b, std::uint64_t x, const std::vector<std::uint32_t>& sizes,
                         std::uint64_t bodySize, bool headZeroCheck, std::uint32_t bankIndex,
                         std::FILE* vagLog, bool trailingBlockEnds) {
  // A body that would not fit in the input cannot start here.
  if (!HasBytes(b, x, bodySize)) return {};
  if (!PassesFirstBlock(b, x, headZeroCheck)) return {};
  const auto count = static_cast<std::uint32_t>(sizes.size());
  std::uint64_t end = 0;  // end of sample j relative to x
  bool trailingBlockEnd = false;
  for (std::uint32_t j = 0; j < count; ++j) {
    const std::uint64_t size = sizes[j];
    end += size;
    const std::uint64_t start = x + end - size;
    if (!PassesEndFlag(b, x + end)) {
      if (!trailingBlockEnds || !PassesTrailingBlockEnd(b, x + end)) return {};
      trailingBlockEnd = true;
    }
    for (std::uint64_t d = kBlockBytes; d + kBlockBytes < size; d += kBlockBytes) {
      const std::uint64_t at = start + d;
      // Inner blocks lie inside the body, which lies inside the input.
      const std::uint8_t b0 = ReadU8(b, at);
      const std::uint8_t b1 = ReadU8(b, at + 1);
      if (!ValidBlockHead(b0, b1)) {
        LogLine(vagLog,
                "[NotVag] VbIdx: %u, Ofs: %08x, Ofs1: %08x Filter: %02x, Ofs2: %08x AdpcmFlag: "
                "%02x\n",
                bankIndex + 1, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(at), b0,
                static_cast<std::uint32_t>(at + 1), b1);
        return {};
      }
    }
    if (end >= bodySize) return {true, start, trailingBlockEnd};
    LogLine(vagLog, "VbIdx: %u, VagNum: %02u/%02u, Ofs: %08x, NextOfs: %08x\n", bankIndex + 1,
            j + 1, count, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(x + end));
  }
  return {};
}

OccupiedRanges BuildOccupiedRanges(const DataOfs& table) {
  OccupiedRanges r;
  const std::size_t count = std::size_t{table.seqNum} + table.vhNum;
  r.starts.reserve(count);
  r.ends.reserve(count);
  // An item of size 0 (one that was skipped) occupies no byte. It is left
  // out: its end, one before its start, would wrap for an item at offset 0.
  auto add = [&r](std::uint32_t ofs, std::uint32_t size) {
    if (size == 0) return;
    r.starts.push_back(ofs);
    r.ends.push_back(static_cast<std::uint32_t>(std::uint64_t{ofs} + size - 1));
  };
  for (std::uint32_t k = 0; k < table.seqNum; ++k) add(table.seqOfs[k], table.seqSize[k]);
  for (std::uint32_t k = 0; k < table.vhNum; ++k) add(table.vhOfs[k], table.vhSize[k]);
  std::sort(r.starts.begin(), r.starts.end(), CompareOfs);
  std::sort(r.ends.begin(), r.ends.end(), CompareOfs);
  return r;
}

BodyHit ScanForBody(BodySearch& search, std::uint32_t bankIndex, bool lastBank,
                    const std::vector<std::uint32_t>& sizes, std::uint64_t bodySize,
                    std::uint64_t from) {
  const ByteSpan b = search.input;
  if (bodySize > b.size()) return {};
  const std::uint64_t last = b.size() - bodySize;  // last possible start
  const std::vector<std::uint32_t>& starts = search.ranges.starts;
  const std::vector<std::uint32_t>& ends = search.ranges.ends;
  std::size_t& k = search.cursor;
  bool wrapped = false;
  std::uint64_t x = from;

  for (;;) {
    if (x > last) return {};

    // Skip the occupied ranges at and around x.
    bool moved = false;
    bool occupiedToLast = false;  // x lies in a range that reaches past the last start
    while (k < starts.size()) {
      if (x < starts[k]) break;
      if (x <= ends[k]) {
        if (ends[k] <= last) {
          x = std::uint64_t{ends[k]} + 1;
          ++k;
          moved = true;
        } else {
          occupiedToLast = true;
        }
        break;
      }
      ++k;
    }
    if (moved) continue;

    if (occupiedToLast || x == last) {
      // The end of the room for this body. Position `last` itself is tried
      // first when it is free; then a bank other than the last starts over
      // once from where bank 0's body was found, and is given up the second
      // time it gets here.
      if (!occupiedToLast && !wrapped) {
        const VagRunResult r = CheckVagRun(b, x, sizes, bodySize, search.headZeroCheck, bankIndex,
                                           search.vagLog, search.trailingBlockEnds);
        if (r.accepted) return {true, x, r.lastSampleStart, r.trailingBlockEnd};
      }
      if (lastBank || wrapped) return {};
      x = search.firstBodyOfs;
      k = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), x) -
                                   starts.begin());
      wrapped = true;
    }
    const VagRunResult r = CheckVagRun(b, x, sizes, bodySize, search.headZeroCheck, bankIndex,
                                       search.vagLog, search.trailingBlockEnds);
    if (r.accepted) return {true, x, r.lastSampleStart, r.trailingBlockEnd};
    x = NextPosition(search, x + 1, last);
    // The end flag of the first sample decides nearly every position.
    if (search.candidates && !sizes.empty() && sizes[0] >= 15) {
      search.candidates->Prefetch(x, sizes[0] - 15);
    }
  }
}

std::uint64_t NextSearchStart(std::uint32_t pattern, const DataOfs& table, std::uint32_t i,
                              std::uint64_t x, std::uint64_t bodySize, std::uint64_t current) {
  if (pattern == 1) return x + bodySize;
  if (i + 1 < table.vhNum) {
    if (x > table.vhOfs[i]) return std::uint64_t{table.vhOfs[i + 1]} + table.vhSize[i + 1] - 1;
    if (x < table.vhOfs[i]) return std::uint64_t{table.vhOfs[i]} + table.vhSize[i] - 1;
  }
  return current;
}

namespace {

// Byte ranges that items already hold, kept merged and sorted, so that a
// body found by the wider search never takes bytes of another item.
class HeldRanges {
 public:
  void Add(std::uint64_t first, std::uint64_t last) {
    ranges_.emplace_back(first, last);
    std::sort(ranges_.begin(), ranges_.end());
    std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
    for (const auto& r : ranges_) {
      if (!merged.empty() && r.first <= merged.back().second + 1) {
        merged.back().second = std::max(merged.back().second, r.second);
      } else {
        merged.push_back(r);
      }
    }
    ranges_ = std::move(merged);
  }
  // The first byte after the held range that [x, x + size) overlaps; x when
  // it overlaps none.
  std::uint64_t FreeFrom(std::uint64_t x, std::uint64_t size) const {
    auto it = std::lower_bound(ranges_.begin(), ranges_.end(), x,
                               [](const auto& r, std::uint64_t at) { return r.second < at; });
    if (it == ranges_.end() || it->first >= x + size) return x;
    return it->second + 1;
  }

 private:
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges_;
};

HeldRanges HeldByItems(const DataOfs& table) {
  HeldRanges held;
  for (std::uint32_t k = 0; k < table.seqNum; ++k) {
    if (table.seqSize[k] != 0) held.Add(table.seqOfs[k], std::uint64_t{table.seqOfs[k]} + table.seqSize[k] - 1);
  }
  for (std::uint32_t k = 0; k < table.vhNum; ++k) {
    if (table.vhSize[k] != 0) held.Add(table.vhOfs[k], std::uint64_t{table.vhOfs[k]} + table.vhSize[k] - 1);
  }
  return held;
}

// A bank whose body the search behind its header did not find.
struct MissingBody {
  std::uint32_t bank = 0;
  std::vector<std::uint32_t> sizes;
  std::uint64_t bodySize = 0;
};

// The wider search of extract: the whole stream, before the header and in
// other files too, with the same checks, over free bytes only. Jumps from
// one start candidate to the next, so it costs what one scan of the
// candidates costs.
BodyHit SearchWholeStream(const BodySearch& search, const HeldRanges& held,
                          const MissingBody& bank) {
  const ByteSpan b = search.input;
  if (bank.bodySize > b.size()) return {};
  const std::uint64_t last = b.size() - bank.bodySize;
  std::uint64_t x = 0;
  while (x <= last) {
    if (search.candidates) x = search.candidates->Next(x, last + 1);
    if (x > last) break;
    const std::uint64_t free = held.FreeFrom(x, bank.bodySize);
    if (free != x) {
      x = free;
      continue;
    }
    const VagRunResult r = CheckVagRun(b, x, bank.sizes, bank.bodySize, search.headZeroCheck,
                                       bank.bank, nullptr, search.trailingBlockEnds);
    if (r.accepted) return {true, x, r.lastSampleStart, r.trailingBlockEnd};
    ++x;
  }
  return {};
}

bool WriteBody(const RipContext& ctx, DataOfs& table, std::uint32_t i, const BodyHit& hit,
               std::uint64_t bodySize) {
  if (!ListAndWriteItem(ctx, "CreateVbForVh", ".vb", i, table.vhNum, hit.ofs,
                        static_cast<std::uint32_t>(bodySize), 0, 0, hit.trailingBlockEnd)) {
    return false;
  }
  table.vbCreated[i] = 1;
  return true;
}

}  // namespace

std::uint32_t CreateVbForVh(const RipContext& ctx, DataOfs& table, const VhHeaderTable& vhHeader,
                            const VagSizeTable& vagSizeTbl) {
  const ByteSpan b = ctx.input;
  if (SumOfLeadingBodySizes(table, vhHeader) > b.size()) {
    std::printf("This file doesn't exist vb data\n");
    return 1;
  }
  FilePtr vagLog = OpenOutputFile(ctx.inputPath, nullptr, nullptr, "_VagOfs.txt", "w", 0, 0);
  if (!vagLog) {
    ReportLastError("CreateVbForVh", __LINE__);
    return 0;
  }
  BodySearch search;
  search.input = b;
  search.headZeroCheck = ctx.options.vbHeadZeroCheck != 0;
  // extract also takes the ends some encoders write, and looks for the
  // bodies not found behind their headers over the whole stream.
  const bool wider = ctx.options.runMode == kRunExtract;
  search.trailingBlockEnds = wider;
  std::vector<MissingBody> missing;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> found;  // first and last byte of each body
  search.vagLog = vagLog.get();
  try {
    search.ranges = BuildOccupiedRanges(table);
  } catch (const std::bad_alloc&) {
    platform::SetLastError(platform::Failure::kNoMemory);
    ReportLastError("CreateVbForVh", __LINE__);
    return 0;
  }
  // Without memory for the candidates every position is tested instead.
  std::optional<BodyCandidates> candidates;
  try {
    candidates.emplace(b, search.headZeroCheck ? BodyStart::kZeroBlockFirst
                                               : BodyStart::kBlockFirst);
    search.candidates = &*candidates;
  } catch (const std::bad_alloc&) {
    search.candidates = nullptr;
  }

  std::uint64_t searchStart = 0;
  std::uint64_t lastBodyEnd = 0;
  std::vector<std::uint32_t> sizes;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    if (table.vhCreated[i] == 0) continue;
    const std::uint32_t count = BankVagCount(vhHeader, i);
    sizes.assign(count, 0);
    std::uint64_t bodySize = 0;
    for (std::uint32_t j = 1; j <= count; ++j) {
      // A bank's table has 256 entries; samples past it count as empty.
      const std::uint32_t entry =
          j < kVagTableEntries ? vagSizeTbl[std::size_t{i} * kVagTableEntries + j] : 0;
      const std::uint32_t size = entry * 8;
      sizes[j - 1] = size;
      bodySize += size;
      WriteText(vagLog.get(), "VbIdx: %u, VagNum: %02u/%02u, VagSize: %06u, %05x\n", i + 1, j,
                count, size, size);
    }
    const auto shownSize = static_cast<std::uint32_t>(bodySize);
    WriteText(vagLog.get(), "VbIdx: %u, AllVag(=Vb)Size: %08u, %07x\n", i + 1, shownSize,
              shownSize);
    const std::uint32_t recorded = BankTotalSize(vhHeader, i) - table.vhSize[i];
    if (bodySize == 0 || bodySize > b.size() || recorded != bodySize) {
      ctx.log.Write("Invalid vag size: idx %u, %08u, %07x\n", i + 1, shownSize, shownSize);
      continue;
    }

    const std::uint64_t last = b.size() - bodySize;
    searchStart = last > searchStart ? searchStart : lastBodyEnd;
    const BodyHit hit = ScanForBody(search, i, i + 1 == table.vhNum, sizes, bodySize, searchStart);
    if (!hit.found) {
      if (wider) missing.push_back({i, sizes, bodySize});
      continue;
    }

    WriteText(vagLog.get(), "VbIdx: %u, VagNum: %02u/%02u, Ofs: %08x\n", i + 1, count, count,
              static_cast<std::uint32_t>(hit.lastSampleStart));
    if (!WriteBody(ctx, table, i, hit, bodySize)) return 0;
    found.emplace_back(hit.ofs, hit.ofs + bodySize - 1);
    lastBodyEnd = hit.ofs + bodySize - 1;
    if (table.vhNum > 1) {
      if (i == 0) search.firstBodyOfs = hit.ofs;
      searchStart = NextSearchStart(ctx.options.vbSearchPattern, table, i, hit.ofs, bodySize,
                                    searchStart);
    }
    std::printf("\rCreate .vb %4u/%4u", i + 1, table.vhNum);
  }
  std::printf("\n");
  if (missing.empty()) return 1;

  HeldRanges held = HeldByItems(table);
  for (const auto& [first, last] : found) held.Add(first, last);
  for (const MissingBody& bank : missing) {
    const BodyHit hit = SearchWholeStream(search, held, bank);
    if (!hit.found) continue;
    WriteText(vagLog.get(), "VbIdx: %u, found by the search over the whole input, Ofs: %08x\n",
              bank.bank + 1, static_cast<std::uint32_t>(hit.ofs));
    if (!WriteBody(ctx, table, bank.bank, hit, bank.bodySize)) return 0;
    held.Add(hit.ofs, hit.ofs + bank.bodySize - 1);
  }
  return 1;
}

}  // namespace psxdig
