// The item rules of the game-specific sequence formats, at every signature
// offset of the input and at a few arbitrary ones.
#include "fuzz_util.h"
#include "core/options.h"
#include "rip/game_seq_writers.h"
#include "search/data_ofs.h"

namespace {

using Finder = std::optional<psxdig::ItemSpan> (*)(psxdig::ByteSpan, std::uint32_t);
constexpr Finder kFinders[] = {psxdig::FindSssqItem, psxdig::FindKcetItem, psxdig::FindSntpItem,
                               psxdig::FindSeqgItem, psxdig::FindSeqqItem, psxdig::FindSqvItem,
                               psxdig::FindSseqItem};

void Check(psxdig::ByteSpan input, std::uint32_t ofs) {
  for (const Finder find : kFinders) {
    if (const auto item = find(input, ofs)) {
      FUZZ_CHECK(psxdig::HasBytes(input, item->start, item->size));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  psxdig::fuzz::Params p(data, size);
  const std::uint32_t extra = p.U32();
  const psxdig::ByteSpan input(p.data(), p.size());
  for (std::uint32_t ofs = 0; ofs < input.size(); ++ofs) {
    if (psxdig::IdentifyData(input, ofs, psxdig::kRunRip).cls == psxdig::FormatClass::kSequence) {
      Check(input, ofs);
    }
  }
  Check(input, extra);
  Check(input, input.empty() ? 0 : extra % input.size());
  const auto regions = psxdig::GetSeqqBodyRegions(extra & 1 ? "a/b.Q41" : "c.Q71", extra);
  FUZZ_CHECK(regions.first.size == 0 || regions.first.ofs + std::uint64_t{regions.first.size} <= extra);
  FUZZ_CHECK(regions.second.size == 0 || regions.second.ofs + std::uint64_t{regions.second.size} <= extra);
  return 0;
}
