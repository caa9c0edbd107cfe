// The Brightis decoder at every signature of the dec search and at a few
// arbitrary offsets, and uncompressBrightis on the signatures found.
//
// Input: u32 offset, then the image.
#include <algorithm>
#include <vector>

#include "core/options.h"
#include "core/output.h"
#include "decompress/decompressors.h"
#include "fuzz_scratch.h"
#include "fuzz_util.h"

namespace {

using psxdig::ByteSpan;

constexpr std::uint64_t kMaxOutputPerByte = 10;

const psxdig::fuzz::ScratchFolder& Scratch() {
  static const psxdig::fuzz::ScratchFolder folder("brightis_fuzz");
  return folder;
}

// Decodes at ofs (the next item at nextOfs); returns the decoded size.
std::uint64_t Check(ByteSpan input, std::uint32_t ofs, std::uint32_t nextOfs = 0) {
  std::vector<std::uint8_t> out = {1, 2, 3};  // whatever was there is replaced
  const bool decoded = psxdig::DecodeBrightis(input, ofs, out, nextOfs);
  if (!decoded) {
    FUZZ_CHECK(out.empty());
    FUZZ_CHECK(ofs < 2 || ofs >= input.size());
    return 0;
  }
  FUZZ_CHECK(ofs >= 2 && ofs < input.size());
  std::uint64_t stretch = input.size() - ofs;
  if (nextOfs > ofs) stretch = std::min<std::uint64_t>(stretch, nextOfs - ofs);
  FUZZ_CHECK(out.size() <= kMaxOutputPerByte * stretch);
  return out.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  psxdig::fuzz::Params p(data, size);
  const std::uint32_t arbitrary = p.U32();
  const ByteSpan input(p.data(), p.size());

  Check(input, arbitrary);
  Check(input, 0);
  Check(input, 1);
  Check(input, 2);
  if (input.empty()) return 0;
  Check(input, static_cast<std::uint32_t>(arbitrary % input.size()));
  Check(input, static_cast<std::uint32_t>(input.size() - 1));
  Check(input, 2, arbitrary);

  psxdig::DataOfs table;
  // Every item may decode up to the end of the input, so the work grows with
  // the square of the input; a smaller list than the dec command's 2048
  // keeps each run short enough that a timeout means a real endless loop.
  if (!psxdig::GetDataOfs(input, 0, 256, 0, table, psxdig::kRunDec, psxdig::ErrorLog())) return 0;
  if (table.seqNum == 0) return 0;
  std::uint64_t expected = 0;
  std::size_t items = 0;
  for (std::uint32_t i = 0; i < table.seqNum; ++i) {
    if (table.seqOfs[i] < 2) continue;
    expected += Check(input, table.seqOfs[i], i + 1 < table.seqNum ? table.seqOfs[i + 1] : 0);
    ++items;
  }
  const auto& scratch = Scratch();
  FUZZ_CHECK(psxdig::uncompressBrightis(input, scratch.InputPath(), table) == 1);
  std::size_t created = 0;
  for (std::uint32_t i = 0; i < table.seqNum; ++i) created += table.seqCreated[i];
  FUZZ_CHECK(created == items);
  FUZZ_CHECK(scratch.Count() == created);
  FUZZ_CHECK(scratch.BytesWritten() == expected);  // the files hold what the decoder gives
  scratch.Clear();
  return 0;
}
