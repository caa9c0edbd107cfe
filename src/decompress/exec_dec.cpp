#include "decompress/exec_dec.h"

#include <cstdio>

#include "decompress/decompressors.h"

namespace psxdig {
namespace {

// The dec search keeps at most this many signatures.
constexpr std::uint32_t kDecCapacity = 2048;

enum class Decompressor { kLzss, kBrightis, kGust };

// One supported release: its five-digit serial, its decompressor and, for
// LZSS, where the stream and its size lie and how its flag bits read.
struct SerialEntry {
  const char* serial;
  Decompressor decompressor;
  const char* ext;
  std::uint32_t sizeBack;
  std::uint32_t streamBack;
  std::uint32_t matchBit;
  std::uint32_t sizeMode;  // 0: size stored before the stream, 1: found by walking the stream
  std::uint32_t versionFix;
};

constexpr SerialEntry kSerials[] = {
    {"00348", Decompressor::kLzss, ".seq", 5, 1, 0, 0, 1},    // Leading Jockey Hybrid
    {"10028", Decompressor::kLzss, ".seq", 5, 1, 0, 0, 0},    // WILD ARMS
    {"10037", Decompressor::kLzss, ".seq", 5, 1, 0, 0, 0},    // Crime Crackers 2
    {"00844", Decompressor::kLzss, ".seq", 9, 1, 1, 0, 0},    // Eberouge
    {"10089", Decompressor::kLzss, ".sssq", 12, 8, 0, 0, 0},  // WILD ARMS 2nd IGNITION
    {"02804", Decompressor::kLzss, ".seq", 5, 1, 0, 1, 0},    // Meitantei Conan - 3nin no Meisuiri
    {"03425", Decompressor::kLzss, ".seq", 5, 1, 0, 1, 0},    // Meitantei Conan - Saikou no Partner
    {"10105", Decompressor::kBrightis, "", 0, 0, 0, 0, 0},    // Brightis
    {"00856", Decompressor::kGust, "", 0, 0, 0, 0, 0},        // Marie no Atelier
    {"01418", Decompressor::kGust, "", 0, 0, 0, 0, 0},        // Marie no Atelier
    {"01751", Decompressor::kGust, "", 0, 0, 0, 0, 0},        // Elie no Atelier
    {"91180", Decompressor::kGust, "", 0, 0, 0, 0, 0},        // Elie no Atelier
};

const SerialEntry* FindSerial(const std::string& serial) {
  for (const auto& entry : kSerials) {
    if (serial == entry.serial) return &entry;
  }
  return nullptr;
}

}  // namespace

std::uint32_t execDec(const DecContext& ctx, DataOfs& table) {
  if (!GetDataOfs(ctx.input, 0, kDecCapacity, 0, table, kRunDec, ctx.log)) return 0;
  if (table.seqNum == 0 && table.vhNum == 0) {
    std::fprintf(stderr, "Not found seq and|or vh: %s\n", ctx.inputPath.c_str());
    return 0;
  }
  const SerialEntry* entry = FindSerial(ctx.serial);
  if (!entry) {
    std::fprintf(stderr, "Unsupported number: %s\n", ctx.serial.c_str());
    return 0;
  }
  switch (entry->decompressor) {
    case Decompressor::kLzss:
      return uncompressLzss(ctx.input, ctx.inputPath, entry->sizeBack, entry->streamBack,
                            entry->matchBit, entry->sizeMode, entry->ext, entry->versionFix, table);
    case Decompressor::kBrightis:
      return uncompressBrightis(ctx.input, ctx.inputPath, table);
    case Decompressor::kGust:
      return uncompressGust(ctx.input, ctx.inputPath, table);
  }
  return 0;
}

}  // namespace psxdig
