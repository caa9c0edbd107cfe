// Bank header writers: the VAB header (".vh"), its game-specific variant
// (".vh2"), and the SShd (".sshd") and INST (".inst") bank headers. Each
// writes one file per header, lists it, and leaves behind what its body
// writer needs.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "rip/bank_writers.h"

namespace psxdig {
namespace {

constexpr std::uint32_t kVabHeadBytes = 32;
constexpr std::uint32_t kProgramTableBytes = 2048;
constexpr std::uint32_t kToneTableBytes = 512;      // per program
constexpr std::uint32_t kVagSizeTableBytes = 512;      // 256 entries
constexpr std::uint32_t kVabFixedBytes = kVabHeadBytes + kProgramTableBytes + kVagSizeTableBytes;
constexpr std::uint32_t kVh2HeadBytes = 40;         // VAB-style head, header size, body size
constexpr std::uint32_t kMaxVh2Offsets = kVagTableEntries - 1;  // the last entry is the body size

void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// Lists and writes header item i (`size` bytes from `start`), records it in
// the table and shows the progress. False when its file cannot be written
// (reported under the writer's name).
bool WriteHeaderItem(const RipContext& ctx, DataOfs& table, const char* writer, std::uint32_t i,
                     std::uint64_t start, std::uint32_t size) {
  if (!ListAndWriteItem(ctx, writer, table.vhExt.c_str(), i, table.vhNum, start, size)) {
    return false;
  }
  table.vhSize[i] = size;
  table.vhCreated[i] = 1;
  std::printf("\rCreate %s %4u/%4u", table.vhExt.c_str(), i + 1, table.vhNum);
  return true;
}

}  // namespace

std::uint32_t BankTotalSize(const VhHeaderTable& vhHeader, std::uint32_t i) {
  return ReadU32LE(vhHeader, std::uint64_t{i} * kVhHeaderBytes + 12);
}

std::uint16_t BankVagCount(const VhHeaderTable& vhHeader, std::uint32_t i) {
  return ReadU16LE(vhHeader, std::uint64_t{i} * kVhHeaderBytes + 22);
}

std::uint32_t CreateVh(const RipContext& ctx, DataOfs& table, VhHeaderTable& vhHeader,
                       VagSizeTable& vagSizeTbl) {
  const ByteSpan b = ctx.input;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    const std::uint64_t o = table.vhOfs[i];
    const std::uint64_t toneBytes = std::uint64_t{ReadU16LE(b, o + 18)} * kToneTableBytes;
    const std::uint64_t headerSize = toneBytes + kVabFixedBytes;
    if (o + headerSize > b.size()) {
      // The rest of the table is dropped: nothing later sees these banks.
      table.vhNum = i;
      table.vhCreated[i] = 0;
      break;
    }
    if (ReadU32LE(b, o + 8) != 0) {
      ctx.log.Write("Not split for compress or non vh[%u]. ofs: %x\n", 2 * i,
                    static_cast<std::uint32_t>(o));
      table.vhSize[i] = 0;
      table.vhCreated[i] = 0;
      continue;
    }
    std::uint8_t* head = vhHeader.data() + std::size_t{i} * kVhHeaderBytes;
    std::memcpy(head, b.data() + o, kVabHeadBytes);
    PutU32(head + 8, 0);
    const std::uint64_t sizeTable = o + kVabHeadBytes + kProgramTableBytes + toneBytes;
    for (std::uint32_t k = 0; k < kVagTableEntries; ++k) {
      vagSizeTbl[std::size_t{i} * kVagTableEntries + k] = ReadU16LE(b, sizeTable + 2ull * k);
    }

    // Head (bank id 0, as kept above), program, tone and VAG size tables:
    // the header byte for byte as it stands in the input.
    const auto size = static_cast<std::uint32_t>(headerSize);
    if (!WriteHeaderItem(ctx, table, "CreateVh", i, o, size)) return 0;
  }
  std::printf("\n");
  return 1;
}

std::vector<std::uint32_t> ReadVh2OffsetTable(ByteSpan b, std::uint64_t p,
                                              std::uint64_t headerSize) {
  std::vector<std::uint32_t> values;
  if (headerSize < kVh2HeadBytes + 4 || !HasBytes(b, p, headerSize)) return values;
  const std::uint64_t words = std::min<std::uint64_t>((headerSize - kVh2HeadBytes) / 4,
                                                      kMaxVh2Offsets);
  for (std::uint64_t k = 1; k <= words; ++k) {
    const std::uint32_t v = ReadU32LE(b, p + headerSize - 4 * k);
    values.push_back(v);
    if (v == 0) return values;
  }
  values.clear();  // no first-sample entry: the bank has no samples
  return values;
}

std::array<std::uint16_t, kVagTableEntries> BuildVagSizeEntries(std::vector<std::uint32_t> offsets,
                                                                std::uint32_t bodySize) {
  std::array<std::uint16_t, kVagTableEntries> entries{};
  if (offsets.size() > kMaxVh2Offsets) offsets.resize(kMaxVh2Offsets);
  std::sort(offsets.begin(), offsets.end(), CompareOfs);
  offsets.push_back(bodySize);
  entries[0] = static_cast<std::uint16_t>(offsets[0] >> 3);
  for (std::size_t k = 1; k < offsets.size(); ++k) {
    entries[k] = static_cast<std::uint16_t>((offsets[k] - offsets[k - 1]) >> 3);
  }
  return entries;
}

std::uint32_t CreateVhForBastard(const RipContext& ctx, DataOfs& table, VhHeaderTable& vhHeader,
                                 VagSizeTable& vagSizeTbl) {
  const ByteSpan b = ctx.input;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    const std::uint64_t p = table.vhOfs[i];
    const std::uint32_t headerSize = ReadU32LE(b, p + 32);
    const std::uint32_t bodySize = ReadU32LE(b, p + 36);
    // Too small for its head and one table word, or running past the input.
    if (headerSize < kVh2HeadBytes + 4 || !HasBytes(b, p, headerSize)) continue;

    const std::vector<std::uint32_t> offsets = ReadVh2OffsetTable(b, p, headerSize);
    std::uint8_t* head = vhHeader.data() + std::size_t{i} * kVhHeaderBytes;
    // The total size lets the body search treat these banks like VAB banks.
    PutU32(head + 12, headerSize + bodySize);
    PutU16(head + 22, static_cast<std::uint16_t>(offsets.size()));
    const auto entries = BuildVagSizeEntries(offsets, bodySize);
    std::copy(entries.begin(), entries.end(),
              vagSizeTbl.begin() + static_cast<std::ptrdiff_t>(std::size_t{i} * kVagTableEntries));
    if (!WriteHeaderItem(ctx, table, "CreateVhForBastard", i, p, headerSize)) return 0;
  }
  std::printf("\n");
  return 1;
}

std::uint32_t CreateSShd(const RipContext& ctx, DataOfs& table, std::vector<std::uint32_t>& vbSize) {
  const ByteSpan b = ctx.input;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    const std::uint64_t s = table.vhOfs[i];
    if (s < 12) continue;  // the search never records one: the item starts 12 bytes earlier
    const std::uint64_t start = s - 12;
    const std::uint32_t headerSize = ReadU32LE(b, start);
    const std::uint32_t bodySize = ReadU32LE(b, start + 4);
    vbSize[i] = bodySize;
    if (headerSize == 0 || headerSize > b.size() || bodySize == 0 || bodySize > b.size()) continue;
    if (!HasBytes(b, start, headerSize)) continue;  // header runs past the input

    if (!WriteHeaderItem(ctx, table, "CreateSShd", i, start, headerSize)) return 0;
  }
  std::printf("\n");
  return 1;
}

std::uint32_t CreateInst(const RipContext& ctx, DataOfs& table) {
  const ByteSpan b = ctx.input;
  for (std::uint32_t i = 0; i < table.vhNum; ++i) {
    const std::uint64_t o = table.vhOfs[i];
    const std::uint32_t headerSize = ReadU32LE(b, o + 8);
    if (!HasBytes(b, o, headerSize)) continue;  // header runs past the input

    if (!WriteHeaderItem(ctx, table, "CreateInst", i, o, headerSize)) return 0;
  }
  std::printf("\n");
  return 1;
}

}  // namespace psxdig
