// The LZSS decoder with random output sizes and both match bits, the size
// walk, the end-of-track cut, and uncompressLzss in both size modes on the
// signatures the dec search finds.
//
// Input: flags (1 byte: bit 0 match bit, bit 1 size mode, bit 2 ".sssq",
// bit 3 version fix), size offset back (1 byte), stream offset back (1 byte),
// one unused byte, u32 output size, then the stream / image.
#include <algorithm>
#include <vector>

#include "core/options.h"
#include "core/output.h"
#include "decompress/decompressors.h"
#include "fuzz_scratch.h"
#include "fuzz_util.h"

namespace {

using psxdig::ByteSpan;

constexpr std::uint32_t kMaxFuzzOutput = 1u << 18;
constexpr std::uint64_t kMaxOutputPerStreamByte = 9;  // a two-byte reference yields up to 18

const psxdig::fuzz::ScratchFolder& Scratch() {
  static const psxdig::fuzz::ScratchFolder folder("lzss_fuzz");
  return folder;
}

void CheckCut(std::vector<std::uint8_t> bytes) {
  const std::vector<std::uint8_t> before = bytes;
  psxdig::CutAtEndOfTrack(bytes);
  FUZZ_CHECK(bytes.size() <= before.size());
  FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), before.begin()));
  if (bytes.size() < before.size()) {
    FUZZ_CHECK(bytes.size() >= 4);
    FUZZ_CHECK(psxdig::BytesAt(bytes, bytes.size() - 3, psxdig::kEndOfTrack, 3));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  psxdig::fuzz::Params p(data, size);
  const std::uint8_t flags = p.U8();
  const std::uint32_t sizeBack = p.U8() % 16;
  const std::uint32_t streamBack = p.U8() % 16;
  p.U8();
  const std::uint32_t outSize = p.U32() % kMaxFuzzOutput;
  const ByteSpan input(p.data(), p.size());
  const std::uint32_t matchBit = flags & 1;

  const std::vector<std::uint8_t> out = psxdig::DecodeLzss(input, outSize, matchBit);
  FUZZ_CHECK(out.size() <= outSize);
  if (out.size() < outSize) FUZZ_CHECK(out.size() <= kMaxOutputPerStreamByte * input.size());
  CheckCut(out);
  CheckCut(std::vector<std::uint8_t>(input.begin(), input.end()));

  const std::uint64_t scanned = psxdig::ScanLzssSize(input);
  FUZZ_CHECK(scanned <= std::uint64_t{psxdig::kMaxLzssSize} + 8 * 18);
  FUZZ_CHECK(scanned <= kMaxOutputPerStreamByte * input.size());

  psxdig::DataOfs table;
  // Every item may decode up to the end of the input, so the work grows with
  // the square of the input; a smaller list than the dec command's 2048
  // keeps each run short enough that a timeout means a real endless loop.
  if (!psxdig::GetDataOfs(input, 0, 256, 0, table, psxdig::kRunDec, psxdig::ErrorLog())) return 0;
  if (table.seqNum == 0) return 0;
  const auto& scratch = Scratch();
  const char* ext = (flags & 4) ? ".sssq" : ".seq";
  const std::uint32_t sizeMode = (flags >> 1) & 1;
  FUZZ_CHECK(psxdig::uncompressLzss(input, scratch.InputPath(), sizeBack, streamBack, matchBit,
                                    sizeMode, ext, (flags >> 3) & 1, table) == 1);
  std::size_t created = 0;
  for (std::uint32_t i = 0; i < table.seqNum; ++i) {
    FUZZ_CHECK(table.seqCreated[i] <= 1);
    created += table.seqCreated[i];
  }
  FUZZ_CHECK(scratch.Count() == created);
  // No file is larger than its stream could yield.
  FUZZ_CHECK(scratch.BytesWritten() <= created * kMaxOutputPerStreamByte * input.size());
  scratch.Clear();
  return 0;
}
