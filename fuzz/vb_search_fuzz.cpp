// The VAB body search: its deciders on memory (first block, end flag, one
// candidate position, the occupied ranges, the scan of one bank) and a whole
// run of the ".vh"/".vh2" header writer followed by CreateVbForVh with /n and
// /p1 or /p2 taken from the input. The scan that jumps between candidate
// positions must find what the scan of every position finds and log the same
// lines. A scan that does not end is caught by libFuzzer's per-input timeout.
//
// Input: flags (1 byte: bit 0 /n, bit 1 /p2, bit 2 last bank, bit 3 run the
// writers), sample count (1 byte), four u16 sample sizes, u32 x, u32 first
// body offset, then the image.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_scratch.h"
#include "fuzz_util.h"
#include "rip/bank_writers.h"

namespace {

using psxdig::ByteSpan;
using psxdig::DataOfs;

const psxdig::fuzz::ScratchFolder& Scratch() {
  static const psxdig::fuzz::ScratchFolder folder("vb_search_fuzz");
  return folder;
}

void CheckDeciders(ByteSpan b, std::uint64_t x, bool zeroCheck) {
  if (psxdig::PassesFirstBlock(b, x, zeroCheck)) {
    FUZZ_CHECK(psxdig::HasBytes(b, x + (zeroCheck ? 16 : 0), 2));
    if (zeroCheck) {
      for (int k = 0; k < 16; ++k) FUZZ_CHECK(b[x + k] == 0);
    }
  }
  if (psxdig::PassesEndFlag(b, x)) FUZZ_CHECK(x >= 15 && x - 15 < b.size());
}

void CheckRun(ByteSpan b, std::uint64_t x, const std::vector<std::uint32_t>& sizes,
              std::uint64_t bodySize, bool zeroCheck) {
  const psxdig::VagRunResult r = psxdig::CheckVagRun(b, x, sizes, bodySize, zeroCheck, 0, nullptr);
  if (!r.accepted) return;
  FUZZ_CHECK(psxdig::HasBytes(b, x, bodySize));
  FUZZ_CHECK(psxdig::PassesFirstBlock(b, x, zeroCheck));
  FUZZ_CHECK(r.lastSampleStart >= x && (bodySize == 0 || r.lastSampleStart < x + bodySize));
}

void CheckRanges(const psxdig::OccupiedRanges& r) {
  FUZZ_CHECK(r.starts.size() == r.ends.size());
  FUZZ_CHECK(std::is_sorted(r.starts.begin(), r.starts.end()));
  FUZZ_CHECK(std::is_sorted(r.ends.begin(), r.ends.end()));
  // Every range starts before it ends, so the k-th start lies at or before
  // the k-th end.
  for (std::size_t k = 0; k < r.starts.size(); ++k) FUZZ_CHECK(r.starts[k] <= r.ends[k]);
}

// What a scan of two banks leaves: both hits, the cursor and the log text.
struct ScanOutcome {
  psxdig::BodyHit hits[2];
  std::size_t cursor = 0;
  std::string log;
};

ScanOutcome ScanTwoBanks(psxdig::BodySearch search, psxdig::BodyCandidates* candidates,
                         const std::vector<std::uint32_t>& sizes, std::uint64_t bodySize,
                         std::uint64_t from, bool lastBank) {
  char* text = nullptr;
  std::size_t length = 0;
  std::FILE* log = open_memstream(&text, &length);
  FUZZ_CHECK(log != nullptr);
  search.vagLog = log;
  search.candidates = candidates;
  ScanOutcome out;
  out.hits[0] = psxdig::ScanForBody(search, 0, false, sizes, bodySize, from);
  if (out.hits[0].found) search.firstBodyOfs = out.hits[0].ofs;
  out.hits[1] = psxdig::ScanForBody(search, 1, lastBank, sizes, bodySize, from / 2);
  out.cursor = search.cursor;
  std::fclose(log);
  out.log.assign(text, length);
  std::free(text);
  return out;
}

// The scan that jumps between candidate positions against the one that
// tests every position: the same bodies, cursor and log lines.
void CheckJumpingScan(const psxdig::BodySearch& search, const std::vector<std::uint32_t>& sizes,
                      std::uint64_t bodySize, std::uint64_t from, bool lastBank) {
  psxdig::BodyCandidates candidates(search.input, search.headZeroCheck
                                                      ? psxdig::BodyStart::kZeroBlockFirst
                                                      : psxdig::BodyStart::kBlockFirst);
  const ScanOutcome ref = ScanTwoBanks(search, nullptr, sizes, bodySize, from, lastBank);
  const ScanOutcome fast = ScanTwoBanks(search, &candidates, sizes, bodySize, from, lastBank);
  FUZZ_CHECK(fast.log == ref.log && fast.cursor == ref.cursor);
  for (int k = 0; k < 2; ++k) {
    FUZZ_CHECK(fast.hits[k].found == ref.hits[k].found && fast.hits[k].ofs == ref.hits[k].ofs &&
               fast.hits[k].lastSampleStart == ref.hits[k].lastSampleStart);
  }
  // Every position up to the end passes exactly when the index names it.
  std::uint64_t next = candidates.Next(0, search.input.size() + 1);
  for (std::uint64_t x = 0; x <= search.input.size(); ++x) {
    if (x == next) {
      FUZZ_CHECK(candidates.Passes(x));
      next = candidates.Next(x + 1, search.input.size() + 1);
    } else {
      FUZZ_CHECK(!candidates.Passes(x));
    }
  }
}

// The header writer and the body writer as a rip runs them.
void RunWriters(ByteSpan input, std::uint8_t flags) {
  DataOfs table;
  if (!psxdig::GetDataOfs(input, 0, 64, 1, table, psxdig::kRunRip, psxdig::ErrorLog())) return;
  if (table.vhNum == 0 || (table.vhExt != ".vh" && table.vhExt != ".vh2")) return;

  const auto& scratch = Scratch();
  psxdig::RunOptions options;
  options.vbHeadZeroCheck = (flags & 1) ? 0 : 1;
  options.vbSearchPattern = (flags & 2) ? 1 : 0;
  const psxdig::RipContext ctx{scratch.InputPath(), input, nullptr, psxdig::ErrorLog(), options};
  psxdig::VhHeaderTable vhHeader(std::size_t{table.vhNum} * psxdig::kVhHeaderBytes);
  psxdig::VagSizeTable vagSizeTbl(std::size_t{table.vhNum} * psxdig::kVagTableEntries);
  const std::uint32_t headers = table.vhExt == ".vh"
                                    ? psxdig::CreateVh(ctx, table, vhHeader, vagSizeTbl)
                                    : psxdig::CreateVhForBastard(ctx, table, vhHeader, vagSizeTbl);
  FUZZ_CHECK(headers == 1);
  FUZZ_CHECK(psxdig::CreateVbForVh(ctx, table, vhHeader, vagSizeTbl) == 1);

  std::uint64_t expected = 0;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    FUZZ_CHECK(table.vbCreated[i] <= 1);
    if (table.vhCreated[i] == 1) expected += table.vhSize[i];
    if (table.vbCreated[i] == 0) continue;
    FUZZ_CHECK(table.vhCreated[i] == 1);
    const std::uint32_t bodySize = psxdig::BankTotalSize(vhHeader, i) - table.vhSize[i];
    FUZZ_CHECK(bodySize > 0 && bodySize <= input.size());
    expected += bodySize;
  }
  // The header and body files hold exactly the items' bytes.
  FUZZ_CHECK(scratch.BytesWritten("_VagOfs.txt") == expected);
  scratch.Clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  psxdig::fuzz::Params p(data, size);
  const std::uint8_t flags = p.U8();
  const std::uint8_t count = p.U8() % 5;
  std::vector<std::uint32_t> sizes(4);
  for (auto& s : sizes) s = (p.U8() | (p.U8() << 8)) & 0x3FF0;  // whole blocks
  sizes.resize(count);
  const std::uint32_t x = p.U32();
  const std::uint32_t firstBodyOfs = p.U32();
  const ByteSpan input(p.data(), p.size());
  const bool zeroCheck = (flags & 1) == 0;

  std::uint64_t bodySize = 0;
  for (const std::uint32_t s : sizes) bodySize += s;
  const std::uint64_t at = x % (input.size() + 40);
  CheckDeciders(input, at, zeroCheck);
  CheckDeciders(input, x, zeroCheck);
  CheckRun(input, at, sizes, bodySize, zeroCheck);
  CheckRun(input, at, sizes, bodySize - (sizes.empty() ? 0 : sizes.back()), zeroCheck);

  DataOfs table;
  if (psxdig::GetDataOfs(input, 0, 64, 1, table, psxdig::kRunRip, psxdig::ErrorLog())) {
    // Items of the search with sizes from the input (in the bounds a writer
    // would give them).
    for (std::uint32_t k = 0; k < table.seqNum; ++k) {
      table.seqSize[k] = psxdig::ReadU16LE(input, table.seqOfs[k] + 4) %
                         static_cast<std::uint32_t>(input.size() - table.seqOfs[k] + 1);
    }
    for (std::uint32_t k = 0; k < table.vhNum; ++k) {
      table.vhSize[k] = psxdig::ReadU16LE(input, table.vhOfs[k] + 6) %
                        static_cast<std::uint32_t>(input.size() - table.vhOfs[k] + 1);
    }
    psxdig::BodySearch search;
    search.input = input;
    search.ranges = psxdig::BuildOccupiedRanges(table);
    CheckRanges(search.ranges);
    search.headZeroCheck = zeroCheck;
    search.firstBodyOfs = input.empty() ? 0 : firstBodyOfs % input.size();
    search.cursor = search.ranges.starts.empty() ? 0 : x % (search.ranges.starts.size() + 1);
    if (bodySize > 0) {
      CheckJumpingScan(search, sizes, bodySize, at, (flags & 4) != 0);
      const psxdig::BodyHit hit =
          psxdig::ScanForBody(search, 0, (flags & 4) != 0, sizes, bodySize, at);
      if (hit.found) {
        FUZZ_CHECK(hit.ofs + bodySize <= input.size());
        CheckRun(input, hit.ofs, sizes, bodySize, zeroCheck);
        FUZZ_CHECK(psxdig::CheckVagRun(input, hit.ofs, sizes, bodySize, zeroCheck, 0, nullptr).accepted);
      }
      FUZZ_CHECK(search.cursor <= search.ranges.starts.size());
    }
  }

  if (flags & 8) RunWriters(input, flags);
  return 0;
}
