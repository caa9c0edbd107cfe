// The bank header writers (".vh", ".vh2", ".sshd", ".inst") on the offsets the
// search finds, with a chosen class and a few extra offsets; the ".vh2" VAG
// offset table and the size entries made from it.
//
// Input: mode (1 byte: 0 keeps the class found, 1..4 picks one), extra
// offset count (1 byte, up to 3), three u16 extra offsets, u32 p, u32 header
// size, then the image.
#include <algorithm>
#include <array>
#include <vector>

#include "fuzz_scratch.h"
#include "fuzz_util.h"
#include "rip/bank_writers.h"

namespace {

using psxdig::ByteSpan;
using psxdig::DataOfs;

constexpr const char* kClasses[] = {".vh", ".vh2", ".sshd", ".inst"};
constexpr std::uint64_t kVabFixedBytes = 32 + 2048 + 512;

const psxdig::fuzz::ScratchFolder& Scratch() {
  static const psxdig::fuzz::ScratchFolder folder("bank_headers_fuzz");
  return folder;
}

void CheckOffsetTable(ByteSpan b, std::uint64_t p, std::uint64_t headerSize, std::uint32_t bodySize) {
  const std::vector<std::uint32_t> offsets = psxdig::ReadVh2OffsetTable(b, p, headerSize);
  FUZZ_CHECK(offsets.size() <= 255);
  if (!offsets.empty()) {
    FUZZ_CHECK(psxdig::HasBytes(b, p, headerSize));
    FUZZ_CHECK(40 + 4 * offsets.size() <= headerSize);
    FUZZ_CHECK(offsets.back() == 0);
    FUZZ_CHECK(std::count(offsets.begin(), offsets.end(), 0u) == 1);
  }
  const auto entries = psxdig::BuildVagSizeEntries(offsets, bodySize);
  // Entries past the offsets and the body size are empty.
  for (std::size_t k = offsets.size() + 1; k < entries.size(); ++k) FUZZ_CHECK(entries[k] == 0);
  // Offsets on 8-byte steps below a body size, with no gap too large for an
  // entry: the entries add up to the body size.
  bool exact = bodySize % 8 == 0 && bodySize < (1u << 19);
  for (const std::uint32_t o : offsets) exact = exact && o % 8 == 0 && o <= bodySize;
  if (exact) {
    std::uint64_t sum = 0;
    for (std::size_t k = 0; k <= offsets.size() && k < entries.size(); ++k) sum += entries[k];
    FUZZ_CHECK(sum * 8 == bodySize);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  psxdig::fuzz::Params p(data, size);
  const std::uint8_t mode = p.U8();
  const std::uint8_t extraCount = p.U8() % 4;
  std::array<std::uint32_t, 3> extra{};
  for (auto& e : extra) e = p.U8() | (p.U8() << 8);
  const std::uint32_t tableAt = p.U32();
  const std::uint32_t tableSize = p.U32();
  const ByteSpan input(p.data(), p.size());

  CheckOffsetTable(input, tableAt % (input.size() + 8), tableSize % 0x20000, tableAt ^ tableSize);
  if (input.empty()) return 0;

  DataOfs table;
  if (!psxdig::GetDataOfs(input, 0, 64, 1, table, psxdig::kRunRip, psxdig::ErrorLog())) return 0;
  if (mode % 5 != 0) {
    table.vhExt = kClasses[mode % 5 - 1];
    for (std::uint32_t k = 0; k < extraCount; ++k) table.vhOfs.push_back(extra[k] % input.size());
    std::sort(table.vhOfs.begin(), table.vhOfs.end());
    table.vhNum = static_cast<std::uint32_t>(table.vhOfs.size());
    table.vhSize.assign(table.vhNum, 0);
    table.vhCreated.assign(table.vhNum, 0);
    table.vbCreated.assign(table.vhNum, 0);
  }
  if (table.vhNum == 0) return 0;

  const auto& scratch = Scratch();
  const psxdig::RipContext ctx{scratch.InputPath(), input, nullptr, psxdig::ErrorLog(), {}};
  const std::uint32_t found = table.vhNum;
  psxdig::VhHeaderTable vhHeader(std::size_t{found} * psxdig::kVhHeaderBytes);
  psxdig::VagSizeTable vagSizeTbl(std::size_t{found} * psxdig::kVagTableEntries);
  std::vector<std::uint32_t> vbSize(found);
  const std::string& ext = table.vhExt;
  std::uint32_t ran = 0;
  if (ext == ".vh") {
    ran = psxdig::CreateVh(ctx, table, vhHeader, vagSizeTbl);
  } else if (ext == ".vh2") {
    ran = psxdig::CreateVhForBastard(ctx, table, vhHeader, vagSizeTbl);
  } else if (ext == ".sshd") {
    ran = psxdig::CreateSShd(ctx, table, vbSize);
  } else if (ext == ".inst") {
    ran = psxdig::CreateInst(ctx, table);
  }
  FUZZ_CHECK(ran == 1);  // the scratch folder is writable
  FUZZ_CHECK(table.vhNum <= found);

  std::uint64_t expectedBytes = 0;
  std::size_t created = 0;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    FUZZ_CHECK(table.vhCreated[i] <= 1);
    if (table.vhCreated[i] == 0) continue;
    ++created;
    expectedBytes += table.vhSize[i];
    const std::uint64_t o = table.vhOfs[i];
    const std::uint64_t start = ext == ".sshd" ? o - 12 : o;
    FUZZ_CHECK(ext != ".sshd" || o >= 12);
    FUZZ_CHECK(psxdig::HasBytes(input, start, table.vhSize[i]));
    if (ext == ".vh") {
      FUZZ_CHECK(table.vhSize[i] == kVabFixedBytes + 512ull * psxdig::ReadU16LE(input, o + 18));
      FUZZ_CHECK(psxdig::ReadU32LE(input, o + 8) == 0);
      for (int k = 0; k < 32; ++k) {
        const std::uint8_t want = (k >= 8 && k < 12) ? 0 : input[o + k];
        FUZZ_CHECK(vhHeader[std::size_t{i} * 32 + k] == want);
      }
    } else if (ext == ".vh2") {
      FUZZ_CHECK(table.vhSize[i] >= 44);
      FUZZ_CHECK(psxdig::BankVagCount(vhHeader, i) <= 255);
      FUZZ_CHECK(psxdig::BankTotalSize(vhHeader, i) ==
                 table.vhSize[i] + psxdig::ReadU32LE(input, o + 36));
    } else if (ext == ".sshd") {
      FUZZ_CHECK(table.vhSize[i] > 0 && vbSize[i] > 0 && vbSize[i] <= input.size());
    }
  }
  // One file per header written, holding exactly the header's bytes.
  FUZZ_CHECK(scratch.Count() == created);
  FUZZ_CHECK(scratch.BytesWritten() == expectedBytes);
  scratch.Clear();
  return 0;
}
