// The SShd and INST bank bodies: PassesSShdBody on memory, and the header
// writer followed by CreateVbForSShd or CreateVbForInst on the banks the
// search finds (with a chosen class, a few extra offsets and, for ".sshd",
// body sizes taken from the input).
//
// Input: mode (1 byte: bit 0 picks ".inst" over ".sshd", bit 1 overrides the
// body sizes), extra offset count (1 byte, up to 3), three u16 extra offsets,
// u32 x, u32 body size, then the image.
#include <algorithm>
#include <array>
#include <vector>

#include "fuzz_scratch.h"
#include "fuzz_util.h"
#include "rip/bank_writers.h"

namespace {

using psxdig::ByteSpan;
using psxdig::DataOfs;

const psxdig::fuzz::ScratchFolder& Scratch() {
  static const psxdig::fuzz::ScratchFolder folder("sshd_inst_body_fuzz");
  return folder;
}

void CheckSShdBody(ByteSpan b, std::uint64_t x, std::uint64_t bodySize) {
  if (!psxdig::PassesSShdBody(b, x, bodySize)) return;
  FUZZ_CHECK(psxdig::HasBytes(b, x, bodySize));
  FUZZ_CHECK(bodySize >= 18);
  for (int k = 0; k < 16; ++k) FUZZ_CHECK(b[x + k] == 0);
  const std::uint8_t lastFlag = b[x + bodySize - 15];
  FUZZ_CHECK(lastFlag == 1 || lastFlag == 3 || lastFlag == 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  psxdig::fuzz::Params p(data, size);
  const std::uint8_t mode = p.U8();
  const std::uint8_t extraCount = p.U8() % 4;
  std::array<std::uint32_t, 3> extra{};
  for (auto& e : extra) e = p.U8() | (p.U8() << 8);
  const std::uint32_t x = p.U32();
  const std::uint32_t bodyArg = p.U32();
  const ByteSpan input(p.data(), p.size());

  CheckSShdBody(input, x % (input.size() + 20), bodyArg % (input.size() + 40));
  CheckSShdBody(input, x, bodyArg);
  if (input.empty()) return 0;
  {
    // The search that jumps between candidate positions finds what the
    // search of every position finds.
    psxdig::BodyCandidates candidates(input, psxdig::BodyStart::kSShd);
    const std::uint64_t from = x % (input.size() + 1);
    const std::uint64_t bodySize = bodyArg % (input.size() + 2);
    FUZZ_CHECK(psxdig::FindSShdBody(input, from, bodySize, &candidates) ==
               psxdig::FindSShdBody(input, from, bodySize, nullptr));
  }

  DataOfs table;
  if (!psxdig::GetDataOfs(input, 0, 64, 1, table, psxdig::kRunRip, psxdig::ErrorLog())) return 0;
  const bool inst = (mode & 1) != 0;
  table.vhExt = inst ? ".inst" : ".sshd";
  for (std::uint32_t k = 0; k < extraCount; ++k) table.vhOfs.push_back(extra[k] % input.size());
  std::sort(table.vhOfs.begin(), table.vhOfs.end());
  table.vhNum = static_cast<std::uint32_t>(table.vhOfs.size());
  table.vhSize.assign(table.vhNum, 0);
  table.vhCreated.assign(table.vhNum, 0);
  table.vbCreated.assign(table.vhNum, 0);
  if (table.vhNum == 0) return 0;

  const auto& scratch = Scratch();
  const psxdig::RipContext ctx{scratch.InputPath(), input, nullptr, psxdig::ErrorLog(), {}};
  std::uint64_t expected = 0;
  if (inst) {
    FUZZ_CHECK(psxdig::CreateInst(ctx, table) == 1);
    FUZZ_CHECK(psxdig::CreateVbForInst(ctx, table) == 1);
    for (std::uint32_t i = 0; i < table.vhNum; ++i) {
      if (table.vhCreated[i] == 1) expected += table.vhSize[i];
      if (table.vbCreated[i] == 0) continue;
      const std::uint64_t o = table.vhOfs[i];
      const std::uint32_t bodySize = psxdig::ReadU32LE(input, o + 16);
      FUZZ_CHECK(psxdig::HasBytes(input, o + psxdig::ReadU32LE(input, o + 8), bodySize));
      expected += bodySize;
    }
  } else {
    std::vector<std::uint32_t> vbSize(table.vhNum);
    FUZZ_CHECK(psxdig::CreateSShd(ctx, table, vbSize) == 1);
    if (mode & 2) {
      for (std::uint32_t i = 0; i < table.vhNum; ++i) {
        vbSize[i] = (bodyArg >> (i % 4 * 8)) % static_cast<std::uint32_t>(input.size() + 2);
      }
    }
    FUZZ_CHECK(psxdig::CreateVbForSShd(ctx, table, vbSize) == 1);
    for (std::uint32_t i = 0; i < table.vhNum; ++i) {
      if (table.vhCreated[i] == 1) expected += table.vhSize[i];
      if (table.vbCreated[i] == 0) continue;
      FUZZ_CHECK(vbSize[i] > 0 && vbSize[i] <= input.size());
      expected += vbSize[i];
    }
  }
  // Header and body files hold exactly the items' bytes.
  FUZZ_CHECK(scratch.BytesWritten() == expected);
  scratch.Clear();
  return 0;
}
