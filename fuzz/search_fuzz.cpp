// The signature recognition and the data search, and the item rules of SEQ/SEP
// and of the game sequence formats at every offset of the input.
// Selector: 0 search, 1 SEQ/SEP items, 2 game sequence items.
#include <algorithm>

#include "core/options.h"
#include "core/output.h"
#include "fuzz.h"
#include "rip/game_seq_writers.h"
#include "rip/rip_context.h"
#include "search/data_ofs.h"

namespace {

using psxdig::ByteSpan;
using psxdig::fuzz::Params;

// Parameters: flags (bit 0 dec mode, bit 1 validate, bit 2 u32 capacity),
// start, capacity (u8, or u32 with bit 2).
void Search(Params& p) {
  const std::uint8_t flags = p.U8();
  const std::uint32_t start = p.U8();  // small, so that most of the input is searched
  const std::uint32_t capacity = (flags & 4) ? p.U32() : p.U8();
  const ByteSpan input = p.Rest();
  const std::uint32_t mode = (flags & 1) ? psxdig::kRunDec : psxdig::kRunRip;

  psxdig::DataOfs t;
  FUZZ_CHECK(psxdig::GetDataOfs(input, start, capacity, (flags & 2) ? 1 : 0, t, mode, psxdig::ErrorLog()) == 1);
  FUZZ_CHECK(t.seqNum + t.vhNum <= capacity);
  FUZZ_CHECK(t.seqOfs.size() == t.seqNum && t.vhOfs.size() == t.vhNum);
  FUZZ_CHECK(std::is_sorted(t.seqOfs.begin(), t.seqOfs.end()) && std::is_sorted(t.vhOfs.begin(), t.vhOfs.end()));
  for (const std::uint32_t ofs : t.seqOfs) FUZZ_CHECK(ofs >= start && ofs < input.size());
  for (const std::uint32_t ofs : t.vhOfs) FUZZ_CHECK(ofs >= start && ofs < input.size());
  FUZZ_CHECK(t.seqNum == 0 || !t.seqExt.empty());
  FUZZ_CHECK(t.vhNum == 0 || !t.vhExt.empty());
  if (mode == psxdig::kRunDec) FUZZ_CHECK(t.vhNum == 0);
}

// No parameters.
void SeqItems(Params& p) {
  const ByteSpan input = p.Rest();
  for (std::uint32_t ofs = 0; ofs < input.size(); ofs += 1 + ofs / 64) {
    const psxdig::SeqExtent item = psxdig::MeasureSeqItem(input, ofs);
    if (item.verdict == psxdig::SeqExtent::kFound) {
      FUZZ_CHECK(item.size >= 19 && item.size <= input.size() - ofs);
      FUZZ_CHECK(item.furtherCount <= 15);
      FUZZ_CHECK(item.sep || item.furtherCount == 0);
    }
  }
}

void CheckGameSeq(ByteSpan input, std::uint32_t ofs) {
  using Finder = std::optional<psxdig::ItemSpan> (*)(ByteSpan, std::uint32_t);
  for (const Finder find : {psxdig::FindSssqItem, psxdig::FindKcetItem, psxdig::FindSntpItem, psxdig::FindSeqgItem,
                            psxdig::FindSeqqItem, psxdig::FindSqvItem, psxdig::FindSseqItem}) {
    if (const auto item = find(input, ofs)) FUZZ_CHECK(psxdig::HasBytes(input, item->start, item->size));
  }
}

// Parameters: u32 extra offset (also the input size for the SEQq bodies).
void GameSeqItems(Params& p) {
  const std::uint32_t extra = p.U32();
  const ByteSpan input = p.Rest();
  for (std::uint32_t ofs = 0; ofs < input.size(); ++ofs) {
    if (psxdig::IdentifyData(input, ofs, psxdig::kRunRip).cls == psxdig::FormatClass::kSequence) {
      CheckGameSeq(input, ofs);
    }
  }
  CheckGameSeq(input, extra);
  CheckGameSeq(input, input.empty() ? 0 : extra % input.size());
  const auto regions = psxdig::GetSeqqBodyRegions(extra & 1 ? "a/b.Q41" : "c.Q71", extra);
  for (const psxdig::BodyRegion& r : {regions.first, regions.second}) {
    FUZZ_CHECK(r.size == 0 || r.ofs + std::uint64_t{r.size} <= extra);
  }
}

constexpr psxdig::fuzz::Parser kParsers[] = {Search, SeqItems, GameSeqItems};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return psxdig::fuzz::Dispatch(kParsers, data, size);
}
