// The signature recognition and the data search in both modes, checked
// against the table's invariants.
#include <algorithm>
#include <cstdio>

#include "core/options.h"
#include "core/output.h"
#include "fuzz_util.h"
#include "search/data_ofs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  psxdig::fuzz::Params p(data, size);
  const std::uint8_t flags = p.U8();
  const std::uint32_t start = p.U8();  // small, so that most of the input is searched
  const std::uint32_t capacity = (flags & 4) ? p.U32() : p.U8();
  const psxdig::ByteSpan input(p.data(), p.size());
  const std::uint32_t mode = (flags & 1) ? psxdig::kRunDec : psxdig::kRunRip;
  const std::uint32_t validate = (flags & 2) ? 1 : 0;

  psxdig::DataOfs table;
  const std::uint32_t r = psxdig::GetDataOfs(input, start, capacity, validate, table, mode,
                                             psxdig::ErrorLog());
  FUZZ_CHECK(r == 1);
  FUZZ_CHECK(table.seqNum + table.vhNum <= capacity);
  FUZZ_CHECK(table.seqOfs.size() == table.seqNum && table.vhOfs.size() == table.vhNum);
  FUZZ_CHECK(std::is_sorted(table.seqOfs.begin(), table.seqOfs.end()));
  FUZZ_CHECK(std::is_sorted(table.vhOfs.begin(), table.vhOfs.end()));
  for (const std::uint32_t ofs : table.seqOfs) FUZZ_CHECK(ofs >= start && ofs < input.size());
  for (const std::uint32_t ofs : table.vhOfs) FUZZ_CHECK(ofs >= start && ofs < input.size());
  FUZZ_CHECK(table.seqNum == 0 || !table.seqExt.empty());
  FUZZ_CHECK(table.vhNum == 0 || !table.vhExt.empty());
  if (mode == psxdig::kRunDec) FUZZ_CHECK(table.vhNum == 0);
  return 0;
}
