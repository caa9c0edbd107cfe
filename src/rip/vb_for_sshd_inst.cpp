// Bodies of SShd and INST banks. Both headers record the size of their body:
// an SShd body is looked for in the input by its block layout, an INST body
// stands right behind its header.
#include <cstdio>

#include "rip/bank_writers.h"

namespace psxdig {
namespace {

constexpr std::uint64_t kBlockBytes = 16;

bool IsSampleEndFlag(std::uint8_t flag) { return flag == 1 || flag == 3 || flag == 7; }

}  // namespace

bool PassesSShdBody(ByteSpan b, std::uint64_t x, std::uint64_t bodySize) {
  static constexpr std::uint8_t kZeroBlock[kBlockBytes] = {};
  if (!HasBytes(b, x, bodySize)) return false;
  if (!BytesAt(b, x, kZeroBlock, kBlockBytes)) return false;
  // The first real block: not a zero block, and not the end of a sample.
  if (!HasBytes(b, x + 16, 2)) return false;
  const std::uint8_t firstFilter = b[x + 16];
  const std::uint8_t firstFlag = b[x + 17];
  const bool startFlag = firstFlag == 0 || firstFlag == 2 || firstFlag == 4 || firstFlag == 5 ||
                         firstFlag == 6;
  if (!startFlag || (firstFilter == 0 && firstFlag == 0)) return false;
  // The last block ends a sample.
  const std::uint64_t end = x + bodySize;
  if (end < 15 || end - 15 >= b.size() || !IsSampleEndFlag(b[end - 15])) return false;
  for (std::uint64_t d = 0; d < bodySize; d += kBlockBytes) {
    if (!HasBytes(b, x + d, 2)) return false;
    if (b[x + d] >= 0x4F || b[x + d + 1] >= 8) return false;
  }
  return true;
}

std::uint32_t CreateVbForSShd(const RipContext& ctx, DataOfs& table,
                              const std::vector<std::uint32_t>& vbSize) {
  const ByteSpan b = ctx.input;
  std::uint64_t next = 0;  // just past the last body written
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    const std::uint64_t bodySize = vbSize[i];
    if (bodySize == 0 || bodySize > b.size()) continue;
    const std::uint64_t last = b.size() - bodySize;
    std::uint64_t x = next;
    while (x <= last && !PassesSShdBody(b, x, bodySize)) ++x;
    if (x > last) continue;

    if (!ListAndWriteItem(ctx, "CreateVbForSShd", ".vb", i, table.vhNum, x,
                          static_cast<std::uint32_t>(bodySize))) {
      return 0;
    }
    table.vbCreated[i] = 1;
    next = x + bodySize;
    std::printf("\rCreate .vb %4u/%4u", i + 1, table.vhNum);
  }
  std::printf("\n");
  return 1;
}

std::uint32_t CreateVbForInst(const RipContext& ctx, DataOfs& table) {
  const ByteSpan b = ctx.input;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    const std::uint64_t o = table.vhOfs[i];
    const std::uint64_t body = o + ReadU32LE(b, o + 8);
    const std::uint32_t bodySize = ReadU32LE(b, o + 16);
    if (!HasBytes(b, body, bodySize)) continue;  // the body would run past the input

    if (!ListAndWriteItem(ctx, "CreateVbForInst", ".vb", i, table.vhNum, body, bodySize)) return 0;
    table.vbCreated[i] = 1;
    std::printf("\rCreate .vb file %4u/%4u", i + 1, table.vhNum);
  }
  std::printf("\n");
  return 1;
}

}  // namespace psxdig
