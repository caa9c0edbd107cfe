#include "convert/vab.h"

#include <algorithm>

namespace psxdig::convert {
namespace {

constexpr std::uint8_t kMagic[4] = {'p', 'B', 'A', 'V'};
constexpr std::size_t kProgramTable = 0x20;
constexpr std::size_t kToneArea = 0x820;
constexpr std::size_t kToneBlock = 0x200;
constexpr std::size_t kToneRecord = 0x20;
constexpr std::uint32_t kMaxPrograms = 128;
constexpr std::uint32_t kMaxTonesPerProgram = 16;
constexpr std::uint32_t kMaxVags = 254;

VabTone ReadTone(ByteSpan h, std::size_t at) {
  VabTone t;
  t.priority = ReadU8(h, at);
  t.mode = ReadU8(h, at + 1);
  t.volume = ReadU8(h, at + 2);
  t.pan = ReadU8(h, at + 3);
  t.center = ReadU8(h, at + 4);
  t.shift = ReadU8(h, at + 5);
  t.minKey = ReadU8(h, at + 6);
  t.maxKey = ReadU8(h, at + 7);
  t.bendDown = ReadU8(h, at + 0x0C);
  t.bendUp = ReadU8(h, at + 0x0D);
  t.adsr1 = ReadU16LE(h, at + 0x10);
  t.adsr2 = ReadU16LE(h, at + 0x12);
  t.vag = ReadU16LE(h, at + 0x16);
  return t;
}

// Programs with tones, each taking the next tone block.
std::string ReadPrograms(ByteSpan h, std::uint32_t blocks, std::uint32_t vags, VabBank& bank) {
  std::uint32_t block = 0;
  for (std::uint32_t p = 0; p < kMaxPrograms; ++p) {
    const std::size_t rec = kProgramTable + 16 * p;
    const std::uint8_t tones = ReadU8(h, rec);
    if (tones == 0) continue;
    if (tones > kMaxTonesPerProgram) {
      return "program " + std::to_string(p) + " claims " + std::to_string(tones) + " tones (at most 16)";
    }
    if (block >= blocks) {
      return "more programs have tones than the " + std::to_string(blocks) + " tone blocks of the header";
    }
    VabProgram program;
    program.number = static_cast<std::uint8_t>(p);
    program.volume = ReadU8(h, rec + 1);
    program.pan = ReadU8(h, rec + 4);
    for (std::uint32_t t = 0; t < tones; ++t) {
      const VabTone tone = ReadTone(h, kToneArea + kToneBlock * block + kToneRecord * t);
      if (tone.vag >= 1 && tone.vag <= vags) {
        program.tones.push_back(tone);
      } else {
        ++bank.tonesWithoutSample;
      }
    }
    ++block;
    if (!program.tones.empty()) bank.programs.push_back(program);
  }
  return {};
}

}  // namespace

std::size_t VabHeaderSize(ByteSpan file) {
  if (!BytesAt(file, 0, kMagic, 4)) return 0;
  return kToneArea + kToneBlock * ReadU16LE(file, 0x12) + 0x200;
}

std::string CheckVabHeader(ByteSpan header) {
  const std::size_t size = VabHeaderSize(header);
  const std::uint32_t blocks = ReadU16LE(header, 0x12);
  const std::uint32_t vags = ReadU16LE(header, 0x16);
  if (size == 0) return "not a VAB header";
  if (blocks > kMaxPrograms) return "the header claims " + std::to_string(blocks) + " programs (at most 128)";
  if (header.size() < size) {
    return "the header is cut short: " + std::to_string(header.size()) + " of " + std::to_string(size) + " bytes";
  }
  if (vags > kMaxVags) return "the header claims " + std::to_string(vags) + " samples (at most 254)";
  return {};
}

VabBank ParseVab(ByteSpan header, ByteSpan body, BodyCheck check) {
  VabBank bank;
  bank.error = CheckVabHeader(header);
  if (!bank.error.empty()) return bank;
  const std::uint32_t blocks = ReadU16LE(header, 0x12);
  const std::uint32_t vags = ReadU16LE(header, 0x16);
  const std::size_t table = kToneArea + kToneBlock * blocks;
  std::uint64_t total = 0;
  for (std::uint32_t k = 1; k <= vags; ++k) total += 8ull * ReadU16LE(header, table + 2 * k);
  if (total > body.size()) bank.bodyMissing = total - body.size();
  if (total != body.size() && check == BodyCheck::kExact) {
    bank.error = "the sample sizes add up to " + std::to_string(total) + " bytes but the body holds " +
                 std::to_string(body.size());
    return bank;
  }
  std::size_t at = 0;
  for (std::uint32_t k = 1; k <= vags; ++k) {
    const std::size_t n = 8ull * ReadU16LE(header, table + 2 * k);
    const std::size_t from = std::min(at, body.size());
    bank.samples.push_back(body.subspan(from, std::min(n, body.size() - from)));
    at += n;
  }
  bank.masterVolume = ReadU8(header, 0x18);
  bank.error = ReadPrograms(header, blocks, vags, bank);
  return bank;
}

VabBank ParseVabPrograms(ByteSpan header) {
  VabBank bank;
  bank.error = CheckVabHeader(header);
  if (!bank.error.empty()) return bank;
  bank.masterVolume = ReadU8(header, 0x18);
  bank.error = ReadPrograms(header, ReadU16LE(header, 0x12), ReadU16LE(header, 0x16), bank);
  return bank;
}

BendRanges BendRangesOf(const VabBank& bank) {
  BendRanges ranges;
  ranges.fill(-1);
  for (const VabProgram& program : bank.programs) {
    std::size_t most = 0;
    for (const VabTone& tone : program.tones) {
      const auto count = static_cast<std::size_t>(std::count_if(
          program.tones.begin(), program.tones.end(), [&](const VabTone& t) { return t.bendUp == tone.bendUp; }));
      if (count > most) {
        most = count;
        ranges[program.number & 0x7F] = tone.bendUp;
      }
    }
  }
  return ranges;
}

}  // namespace psxdig::convert
