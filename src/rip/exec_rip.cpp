#include <cstdio>
#include <new>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "rip/bank_writers.h"
#include "rip/game_seq_writers.h"
#include "rip/rip_context.h"

namespace psxdig {
namespace {

using SequenceWriter = std::uint32_t (*)(const RipContext&, DataOfs&);

struct SequenceDispatch {
  const char* ext;
  SequenceWriter writer;
};

// One writer per sequence format; the class's extension (that of the first
// item found) picks it for every item of the class.
constexpr SequenceDispatch kSequenceWriters[] = {
    {".seq", CreateSeq},
    {".sep", CreateSeq},
    {".kcet", CreateKcet},
    {".sssq", CreateSSsq},
    {".sntp", CreateSntp},
    {".seqg", CreateSeqg},
    {".seqq", CreateSeqq},
    {".sqv", CreateSqv},
    {".sseq", CreateSseq},
};

void WriteSequenceClass(const RipContext& ctx, DataOfs& table) {
  if (table.seqNum < 1) return;
  for (const auto& entry : kSequenceWriters) {
    if (table.seqExt == entry.ext) {
      entry.writer(ctx, table);
      return;
    }
  }
}

// Zero-filled scratch array of n entries; false (reported) when memory runs
// out, which ends the rip early.
template <typename T>
bool AllocateScratch(std::vector<T>& array, std::size_t n) {
  try {
    array.assign(n, T{});
    return true;
  } catch (const std::bad_alloc&) {
    platform::SetLastError(platform::Failure::kNoMemory);
    ReportLastError("execRip", __LINE__);
    return false;
  }
}

// Bank headers and then, when the header writer ran through, their bodies.
// The per-bank scratch arrays live only around the two writers.
void WriteBankClass(const RipContext& ctx, DataOfs& table) {
  if (table.vhNum < 1) return;
  const std::string_view ext = table.vhExt;
  if (ext == ".vh" || ext == ".vh2") {
    VhHeaderTable vhHeader;
    VagSizeTable vagSizeTbl;
    if (!AllocateScratch(vhHeader, std::size_t{table.vhNum} * kVhHeaderBytes)) return;
    if (!AllocateScratch(vagSizeTbl, std::size_t{table.vhNum} * kVagTableEntries)) return;
    const std::uint32_t written = ext == ".vh" ? CreateVh(ctx, table, vhHeader, vagSizeTbl)
                                               : CreateVhForBastard(ctx, table, vhHeader, vagSizeTbl);
    if (written) CreateVbForVh(ctx, table, vhHeader, vagSizeTbl);
  } else if (ext == ".sshd") {
    std::vector<std::uint32_t> vbSize;
    if (!AllocateScratch(vbSize, table.vhNum)) return;
    if (CreateSShd(ctx, table, vbSize)) CreateVbForSShd(ctx, table, vbSize);
  } else if (ext == ".inst") {
    if (CreateInst(ctx, table)) CreateVbForInst(ctx, table);
  }
}

}  // namespace

void WriteFoundItems(const RipContext& ctx, DataOfs& table) {
  WriteSequenceClass(ctx, table);
  WriteBankClass(ctx, table);
}

std::uint32_t execRip(const RipContext& base, DataOfs& table) {
  if (!GetDataOfs(base.input, base.options.startOfs, base.options.maxSearchFileNum, 1, table,
                  base.options.runMode, base.log)) {
    return 0;
  }
  if (table.seqNum == 0 && table.vhNum == 0) {
    std::fprintf(stderr, "Not found seq and|or vh: %s\n", base.inputPath.c_str());
    return 0;
  }
  FilePtr listing = OpenOutputFile(base.inputPath, nullptr, nullptr, ".csv", "w", 0, 0);
  if (!listing) {
    ReportLastError("execRip", __LINE__);
    return 1;  // the rip counts as done: the duplicate check may still run
  }
  WriteText(listing.get(), "%s", kListingHeader);
  RipContext ctx = base;
  ctx.listing = listing.get();
  WriteFoundItems(ctx, table);
  return 1;
}

}  // namespace psxdig
