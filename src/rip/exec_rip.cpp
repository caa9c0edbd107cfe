#include <cstdio>
#include <string_view>

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

// Bank headers and their bodies. The bank formats are not ripped yet: every
// bank-header class is left unwritten, like an unknown extension.
void WriteBankClass(const RipContext&, DataOfs&) {}

}  // namespace

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
  WriteSequenceClass(ctx, table);
  WriteBankClass(ctx, table);
  return 1;
}

}  // namespace psxdig
