// The three decompressors on memory and their writers on the signatures the
// dec search finds. Selector: 0 LZSS, 1 Brightis, 2 Gust.
#include <algorithm>
#include <vector>

#include "core/options.h"
#include "core/output.h"
#include "decompress/decompressors.h"
#include "fuzz.h"

namespace {

using psxdig::ByteSpan;
using psxdig::fuzz::Params;
using psxdig::fuzz::Scratch;
using Bytes = std::vector<std::uint8_t>;

// Every item may decode up to the end of the input, so the work grows with
// the square of the input; a smaller list than the dec command's 2048 keeps
// each run short enough that a timeout means a real endless loop.
bool DecSearch(ByteSpan input, psxdig::DataOfs& table) {
  return psxdig::GetDataOfs(input, 0, 256, 0, table, psxdig::kRunDec, psxdig::ErrorLog()) && table.seqNum > 0;
}

void CheckCut(Bytes bytes) {
  const Bytes before = bytes;
  psxdig::CutAtEndOfTrack(bytes);
  FUZZ_CHECK(bytes.size() <= before.size());
  FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), before.begin()));
  if (bytes.size() < before.size()) {
    FUZZ_CHECK(bytes.size() >= 4);
    FUZZ_CHECK(psxdig::BytesAt(bytes, bytes.size() - 3, psxdig::kEndOfTrack, 3));
  }
}

// Parameters: flags (bit 0 match bit, bit 1 size mode, bit 2 ".sssq", bit 3
// version fix), size offset back, stream offset back, one unused byte, u32
// output size.
void Lzss(Params& p) {
  constexpr std::uint64_t kMaxPerStreamByte = 9;  // a two-byte reference yields up to 18
  const std::uint8_t flags = p.U8();
  const std::uint32_t sizeBack = p.U8() % 16;
  const std::uint32_t streamBack = p.U8() % 16;
  p.U8();
  const std::uint32_t outSize = p.U32() % (1u << 18);
  const ByteSpan input = p.Rest();
  const std::uint32_t matchBit = flags & 1;

  const Bytes out = psxdig::DecodeLzss(input, outSize, matchBit);
  FUZZ_CHECK(out.size() <= outSize);
  if (out.size() < outSize) FUZZ_CHECK(out.size() <= kMaxPerStreamByte * input.size());
  CheckCut(out);
  CheckCut(Bytes(input.begin(), input.end()));
  const std::uint64_t scanned = psxdig::ScanLzssSize(input);
  FUZZ_CHECK(scanned <= std::uint64_t{psxdig::kMaxLzssSize} + 8 * 18);
  FUZZ_CHECK(scanned <= kMaxPerStreamByte * input.size());

  psxdig::DataOfs table;
  if (!DecSearch(input, table)) return;
  const char* ext = (flags & 4) ? ".sssq" : ".seq";
  FUZZ_CHECK(psxdig::uncompressLzss(input, Scratch().InputPath(), sizeBack, streamBack, matchBit,
                                    (flags >> 1) & 1, ext, (flags >> 3) & 1, table) == 1);
  std::size_t created = 0;
  for (std::uint32_t i = 0; i < table.seqNum; ++i) {
    FUZZ_CHECK(table.seqCreated[i] <= 1);
    created += table.seqCreated[i];
  }
  FUZZ_CHECK(Scratch().Count() == created);
  // No file is larger than its stream could yield.
  FUZZ_CHECK(Scratch().BytesWritten() <= created * kMaxPerStreamByte * input.size());
  Scratch().Clear();
}

// Decodes at ofs, the next item at nextOfs (whatever `out` held is
// replaced); returns the decoded size.
std::uint64_t CheckBrightis(ByteSpan input, std::uint32_t ofs, std::uint32_t nextOfs = 0) {
  Bytes out = {1, 2, 3};
  if (!psxdig::DecodeBrightis(input, ofs, out, nextOfs)) {
    FUZZ_CHECK(out.empty());
    FUZZ_CHECK(ofs < 2 || ofs >= input.size());
    return 0;
  }
  FUZZ_CHECK(ofs >= 2 && ofs < input.size());
  std::uint64_t stretch = input.size() - ofs;
  if (nextOfs > ofs) stretch = std::min<std::uint64_t>(stretch, nextOfs - ofs);
  FUZZ_CHECK(out.size() <= 10 * stretch);
  return out.size();
}

// Parameters: u32 offset.
void Brightis(Params& p) {
  const std::uint32_t arbitrary = p.U32();
  const ByteSpan input = p.Rest();
  for (std::uint32_t ofs : {arbitrary, 0u, 1u, 2u}) CheckBrightis(input, ofs);
  if (input.empty()) return;
  CheckBrightis(input, static_cast<std::uint32_t>(arbitrary % input.size()));
  CheckBrightis(input, static_cast<std::uint32_t>(input.size() - 1));
  CheckBrightis(input, 2, arbitrary);

  psxdig::DataOfs table;
  if (!DecSearch(input, table)) return;
  std::uint64_t expected = 0;
  std::size_t items = 0;
  for (std::uint32_t i = 0; i < table.seqNum; ++i) {
    if (table.seqOfs[i] < 2) continue;
    expected += CheckBrightis(input, table.seqOfs[i], i + 1 < table.seqNum ? table.seqOfs[i + 1] : 0);
    ++items;
  }
  FUZZ_CHECK(psxdig::uncompressBrightis(input, Scratch().InputPath(), table) == 1);
  std::size_t created = 0;
  for (std::uint32_t i = 0; i < table.seqNum; ++i) created += table.seqCreated[i];
  FUZZ_CHECK(created == items);
  FUZZ_CHECK(Scratch().Count() == created);
  FUZZ_CHECK(Scratch().BytesWritten() == expected);  // the files hold what the decoder gives
  Scratch().Clear();
}

// No parameters: the whole rest is the stream.
void Gust(Params& p) {
  const ByteSpan input = p.Rest();
  const Bytes out = psxdig::DecodeGust(input);
  const std::uint64_t size = input.size();
  FUZZ_CHECK(out.size() <= 10 * size);
  // Input without escape codes is copied as is.
  const bool plain = std::none_of(input.begin(), input.end(), [](std::uint8_t b) {
    return b == 0xD0 || b == 0xD4 || b == 0xD7 || b == 0xD8 || b == 0xE2 || b == 0xE3 || b == 0xE6;
  });
  if (plain) FUZZ_CHECK(out == Bytes(input.begin(), input.end()));
  // Until the output is full each code yields at least one byte and takes at
  // most five, and only the last code's parameters can be cut off.
  FUZZ_CHECK(out.size() == 10 * size || out.size() * 5 + 4 >= size);

  psxdig::DataOfs table;
  FUZZ_CHECK(psxdig::uncompressGust(input, Scratch().InputPath(), table) == 1);
  FUZZ_CHECK(Scratch().Count() == 1);
  FUZZ_CHECK(Scratch().BytesWritten() == out.size());
  Scratch().Clear();
}

constexpr psxdig::fuzz::Parser kParsers[] = {Lzss, Brightis, Gust};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return psxdig::fuzz::Dispatch(kParsers, data, size);
}
