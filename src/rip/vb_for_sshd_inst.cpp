// Bodies of SShd and INST banks. Both headers record the size of their body:
// an SShd body is looked for in the input by its block layout, an INST body
// stands right behind its header.
#include <cstdio>
#include <new>
#include <optional>

#include "rip/bank_writers.h"

namespace psxdig {
namespace {

constexpr std::uint64_t kBlockBytes = 16;

bool IsSampleEndFlag(std::uint8_t flag) { return flag == 1 || flag == 3 || flag == 7; }

}  // namespace

bool PassesSShdBody(ByteSpan b, std::uint64_t x, std::uint64_t bodySize) {
  if (!HasBytes(b, x, bodySize)) return false;
  // A zero block, then a first real block that starts a sample.
  if (!PassesSShdHead(b, x)) return false;
  // The last block ends a sample.
  const std::uint64_t end = x + bodySize;
  if (end < 15 || end - 15 >= b.size() || !IsSampleEndFlag(b[end - 15])) return false;
  for (std::uint64_t d = 0; d < bodySize; d += kBlockBytes) {
    if (!HasBytes(b, x + d, 2)) return false;
    if (b[x + d] >= 0x4F || b[x + d + 1] >= 8) return false;
  }
  return true;
}

std::uint64_t FindSShdBody(ByteSpan b, std::uint64_t from, std::uint64_t bodySize,
                           BodyCandidates* candidates) {
  if (bodySize > b.size()) return b.size() + 1;
  const std::uint64_t end = b.size() - bodySize + 1;  // one past the last possible start
  auto next = [&](std::uint64_t x) { return candidates ? candidates->Next(x, end) : x; };
  std::uint64_t x = next(from);
  while (x < end && !PassesSShdBody(b, x, bodySize)) x = next(x + 1);
  return x;
}

std::uint32_t CreateVbForSShd(const RipContext& ctx, DataOfs& table,
                              const std::vector<std::uint32_t>& vbSize) {
  const ByteSpan b = ctx.input;
  std::uint64_t next = 0;  // just past the last body written
  std::optional<BodyCandidates> candidates;  // made when the first search starts
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    const std::uint64_t bodySize = vbSize[i];
    if (bodySize == 0 || bodySize > b.size()) continue;
    const std::uint64_t last = b.size() - bodySize;
    if (next > last) continue;
    if (!candidates) {
      // Without memory for the candidates every position is tested instead.
      try {
        candidates.emplace(b, BodyStart::kSShd);
      } catch (const std::bad_alloc&) {
      }
    }
    const std::uint64_t x = FindSShdBody(b, next, bodySize, candidates ? &*candidates : nullptr);
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
