// The bank header writers on the banks the search finds, and the body
// searches on memory. The body searches that jump between candidate positions
// must find what the searches of every position find and log the same lines.
// (Whole rips, which run the body writers after the headers, are run_fuzz's.)
// Selector: 0 headers, 1 VAB body search, 2 SShd body search.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz.h"
#include "rip/bank_writers.h"

namespace {

using psxdig::ByteSpan;
using psxdig::DataOfs;
using psxdig::fuzz::Params;
using psxdig::fuzz::Scratch;

bool RipSearch(ByteSpan input, DataOfs& table) {
  return psxdig::GetDataOfs(input, 0, 64, 1, table, psxdig::kRunRip, psxdig::ErrorLog());
}

// Replaces the header class of the search with `ext` and adds up to three
// extra offsets.
void ForceClass(DataOfs& table, const char* ext, const std::array<std::uint32_t, 3>& extra, std::uint32_t count,
                std::size_t inputSize) {
  table.vhExt = ext;
  for (std::uint32_t k = 0; k < count; ++k) table.vhOfs.push_back(extra[k] % inputSize);
  std::sort(table.vhOfs.begin(), table.vhOfs.end());
  table.vhNum = static_cast<std::uint32_t>(table.vhOfs.size());
  table.vhSize.assign(table.vhNum, 0);
  table.vhCreated.assign(table.vhNum, 0);
  table.vbCreated.assign(table.vhNum, 0);
}

void CheckOffsetTable(ByteSpan b, std::uint64_t p, std::uint64_t headerSize, std::uint32_t bodySize) {
  const std::vector<std::uint32_t> offsets = psxdig::ReadVh2OffsetTable(b, p, headerSize);
  FUZZ_CHECK(offsets.size() <= 255);
  if (!offsets.empty()) {
    FUZZ_CHECK(psxdig::HasBytes(b, p, headerSize));
    FUZZ_CHECK(40 + 4 * offsets.size() <= headerSize);
    FUZZ_CHECK(offsets.back() == 0);
    FUZZ_CHECK(std::count(offsets.begin(), offsets.end(), 0u) == 1);
  }
  const auto entries = psxdig::BuildVagSizeEntries(offsets, bodySize);
  // Entries past the offsets and the body size are empty.
  for (std::size_t k = offsets.size() + 1; k < entries.size(); ++k) FUZZ_CHECK(entries[k] == 0);
  // Offsets on 8-byte steps below a body size, with no gap too large for an
  // entry: the entries add up to the body size.
  bool exact = bodySize % 8 == 0 && bodySize < (1u << 19);
  for (const std::uint32_t o : offsets) exact = exact && o % 8 == 0 && o <= bodySize;
  if (exact) {
    std::uint64_t sum = 0;
    for (std::size_t k = 0; k <= offsets.size() && k < entries.size(); ++k) sum += entries[k];
    FUZZ_CHECK(sum * 8 == bodySize);
  }
}

// Parameters: mode (0 keeps the class found, 1..4 picks one), extra offset
// count, three u16 extra offsets, u32 table position, u32 header size.
void Headers(Params& p) {
  constexpr const char* kClasses[] = {".vh", ".vh2", ".sshd", ".inst"};
  const std::uint8_t mode = p.U8();
  const std::uint8_t extraCount = p.U8() % 4;
  std::array<std::uint32_t, 3> extra{};
  for (auto& e : extra) e = p.U16();
  const std::uint32_t tableAt = p.U32();
  const std::uint32_t tableSize = p.U32();
  const ByteSpan input = p.Rest();

  CheckOffsetTable(input, tableAt % (input.size() + 8), tableSize % 0x20000, tableAt ^ tableSize);
  DataOfs table;
  if (input.empty() || !RipSearch(input, table)) return;
  if (mode % 5 != 0) ForceClass(table, kClasses[mode % 5 - 1], extra, extraCount, input.size());
  if (table.vhNum == 0) return;

  const psxdig::RipContext ctx{Scratch().InputPath(), input, nullptr, psxdig::ErrorLog(), {}};
  const std::uint32_t found = table.vhNum;
  psxdig::VhHeaderTable vhHeader(std::size_t{found} * psxdig::kVhHeaderBytes);
  psxdig::VagSizeTable vagSizeTbl(std::size_t{found} * psxdig::kVagTableEntries);
  std::vector<std::uint32_t> vbSize(found);
  const std::string& ext = table.vhExt;
  std::uint32_t ran = 0;
  if (ext == ".vh") ran = psxdig::CreateVh(ctx, table, vhHeader, vagSizeTbl);
  if (ext == ".vh2") ran = psxdig::CreateVhForBastard(ctx, table, vhHeader, vagSizeTbl);
  if (ext == ".sshd") ran = psxdig::CreateSShd(ctx, table, vbSize);
  if (ext == ".inst") ran = psxdig::CreateInst(ctx, table);
  FUZZ_CHECK(ran == 1);  // the scratch folder is writable
  FUZZ_CHECK(table.vhNum <= found);

  std::uint64_t expectedBytes = 0;
  std::size_t created = 0;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    FUZZ_CHECK(table.vhCreated[i] <= 1);
    if (table.vhCreated[i] == 0) continue;
    ++created;
    expectedBytes += table.vhSize[i];
    const std::uint64_t o = table.vhOfs[i];
    FUZZ_CHECK(ext != ".sshd" || o >= 12);
    FUZZ_CHECK(psxdig::HasBytes(input, ext == ".sshd" ? o - 12 : o, table.vhSize[i]));
    if (ext == ".vh") {
      FUZZ_CHECK(table.vhSize[i] == 32 + 2048 + 512 + 512ull * psxdig::ReadU16LE(input, o + 18));
      FUZZ_CHECK(psxdig::ReadU32LE(input, o + 8) == 0);
      for (int k = 0; k < 32; ++k) {
        FUZZ_CHECK(vhHeader[std::size_t{i} * 32 + k] == ((k >= 8 && k < 12) ? 0 : input[o + k]));
      }
    } else if (ext == ".vh2") {
      FUZZ_CHECK(table.vhSize[i] >= 44);
      FUZZ_CHECK(psxdig::BankVagCount(vhHeader, i) <= 255);
      FUZZ_CHECK(psxdig::BankTotalSize(vhHeader, i) == table.vhSize[i] + psxdig::ReadU32LE(input, o + 36));
    } else if (ext == ".sshd") {
      FUZZ_CHECK(table.vhSize[i] > 0 && vbSize[i] > 0 && vbSize[i] <= input.size());
    }
  }
  // One file per header written, holding exactly the header's bytes.
  FUZZ_CHECK(Scratch().Count() == created);
  FUZZ_CHECK(Scratch().BytesWritten() == expectedBytes);
  Scratch().Clear();
}

void CheckDeciders(ByteSpan b, std::uint64_t x, bool zeroCheck) {
  if (psxdig::PassesFirstBlock(b, x, zeroCheck)) {
    FUZZ_CHECK(psxdig::HasBytes(b, x + (zeroCheck ? 16 : 0), 2));
    for (int k = 0; zeroCheck && k < 16; ++k) FUZZ_CHECK(b[x + k] == 0);
  }
  if (psxdig::PassesEndFlag(b, x)) FUZZ_CHECK(x >= 15 && x - 15 < b.size());
  if (psxdig::PassesTrailingBlockEnd(b, x)) FUZZ_CHECK(x >= 31 && x - 15 < b.size() && b[x - 31] == 1);
}

void CheckRun(ByteSpan b, std::uint64_t x, const std::vector<std::uint32_t>& sizes, std::uint64_t bodySize,
              bool zeroCheck) {
  const psxdig::VagRunResult r = psxdig::CheckVagRun(b, x, sizes, bodySize, zeroCheck, 0, nullptr);
  // The wider end test of extract takes every run the usual one takes.
  const psxdig::VagRunResult wide = psxdig::CheckVagRun(b, x, sizes, bodySize, zeroCheck, 0, nullptr, true);
  FUZZ_CHECK(!r.accepted || (wide.accepted && !wide.trailingBlockEnd));
  if (!r.accepted) return;
  FUZZ_CHECK(psxdig::HasBytes(b, x, bodySize));
  FUZZ_CHECK(psxdig::PassesFirstBlock(b, x, zeroCheck));
  FUZZ_CHECK(r.lastSampleStart >= x && (bodySize == 0 || r.lastSampleStart < x + bodySize));
}

// What a scan of two banks leaves: both hits, the cursor and the log text.
struct ScanOutcome {
  psxdig::BodyHit hits[2];
  std::size_t cursor = 0;
  std::string log;
};

ScanOutcome ScanTwoBanks(psxdig::BodySearch search, psxdig::BodyCandidates* candidates,
                         const std::vector<std::uint32_t>& sizes, std::uint64_t bodySize, std::uint64_t from,
                         bool lastBank) {
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
  psxdig::BodyCandidates candidates(search.input, search.headZeroCheck ? psxdig::BodyStart::kZeroBlockFirst
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

// Parameters: flags (bit 0 /n, bit 2 last bank), sample count, four u16 sample sizes, u32 x, u32 first body offset.
// A scan that does not end is caught by libFuzzer's per-input timeout.
void VabBodies(Params& p) {
  const std::uint8_t flags = p.U8();
  const std::uint8_t count = p.U8() % 5;
  std::vector<std::uint32_t> sizes(4);
  for (auto& s : sizes) s = p.U16() & 0x3FF0;  // whole blocks
  sizes.resize(count);
  const std::uint32_t x = p.U32();
  const std::uint32_t firstBodyOfs = p.U32();
  const ByteSpan input = p.Rest();
  const bool zeroCheck = (flags & 1) == 0;

  std::uint64_t bodySize = 0;
  for (const std::uint32_t s : sizes) bodySize += s;
  const std::uint64_t at = x % (input.size() + 40);
  CheckDeciders(input, at, zeroCheck);
  CheckDeciders(input, x, zeroCheck);
  CheckRun(input, at, sizes, bodySize, zeroCheck);
  CheckRun(input, at, sizes, bodySize - (sizes.empty() ? 0 : sizes.back()), zeroCheck);

  DataOfs table;
  if (RipSearch(input, table)) {
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
    const psxdig::OccupiedRanges& r = search.ranges;
    FUZZ_CHECK(r.starts.size() == r.ends.size());
    FUZZ_CHECK(std::is_sorted(r.starts.begin(), r.starts.end()) && std::is_sorted(r.ends.begin(), r.ends.end()));
    // Every range starts before it ends, so the k-th start lies at or before the k-th end.
    for (std::size_t k = 0; k < r.starts.size(); ++k) FUZZ_CHECK(r.starts[k] <= r.ends[k]);
    search.headZeroCheck = zeroCheck;
    search.firstBodyOfs = input.empty() ? 0 : firstBodyOfs % input.size();
    search.cursor = r.starts.empty() ? 0 : x % (r.starts.size() + 1);
    if (bodySize > 0) {
      CheckJumpingScan(search, sizes, bodySize, at, (flags & 4) != 0);
      const psxdig::BodyHit hit = psxdig::ScanForBody(search, 0, (flags & 4) != 0, sizes, bodySize, at);
      if (hit.found) {
        FUZZ_CHECK(hit.ofs + bodySize <= input.size());
        CheckRun(input, hit.ofs, sizes, bodySize, zeroCheck);
        FUZZ_CHECK(psxdig::CheckVagRun(input, hit.ofs, sizes, bodySize, zeroCheck, 0, nullptr).accepted);
      }
      FUZZ_CHECK(search.cursor <= r.starts.size());
    }
  }
}

void CheckSShdBody(ByteSpan b, std::uint64_t x, std::uint64_t bodySize) {
  if (!psxdig::PassesSShdBody(b, x, bodySize)) return;
  FUZZ_CHECK(psxdig::HasBytes(b, x, bodySize));
  FUZZ_CHECK(bodySize >= 18);
  for (int k = 0; k < 16; ++k) FUZZ_CHECK(b[x + k] == 0);
  const std::uint8_t lastFlag = b[x + bodySize - 15];
  FUZZ_CHECK(lastFlag == 1 || lastFlag == 3 || lastFlag == 7);
}

// Parameters: u32 x, u32 body size.
void SShdBodies(Params& p) {
  const std::uint32_t x = p.U32();
  const std::uint32_t bodyArg = p.U32();
  const ByteSpan input = p.Rest();

  CheckSShdBody(input, x % (input.size() + 20), bodyArg % (input.size() + 40));
  CheckSShdBody(input, x, bodyArg);
  if (input.empty()) return;
  // The search that jumps between candidate positions finds what the search
  // of every position finds.
  psxdig::BodyCandidates candidates(input, psxdig::BodyStart::kSShd);
  const std::uint64_t from = x % (input.size() + 1);
  const std::uint64_t bodySize = bodyArg % (input.size() + 2);
  FUZZ_CHECK(psxdig::FindSShdBody(input, from, bodySize, &candidates) ==
             psxdig::FindSShdBody(input, from, bodySize, nullptr));
}

constexpr psxdig::fuzz::Parser kParsers[] = {Headers, VabBodies, SShdBodies};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return psxdig::fuzz::Dispatch(kParsers, data, size);
}
