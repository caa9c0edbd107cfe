#include "core/options.h"
#include "search/data_ofs.h"

namespace psxdig {
namespace {

constexpr Identified Seq(const char* ext) { return {FormatClass::kSequence, ext}; }
constexpr Identified Bank(const char* ext) { return {FormatClass::kBankHeader, ext}; }

bool ZeroBytes(ByteSpan b, std::uint64_t off, std::size_t n) {
  static constexpr std::uint8_t kZeros[8] = {};
  return BytesAt(b, off, kZeros, n);
}

// "pQES": byte 7 tells a single sequence (01) from a bundle (00). The dec
// command also knows two compressed variants by bytes 4..7.
Identified IdentifyPqes(ByteSpan b, std::uint64_t off, std::uint32_t runMode) {
  if (!HasBytes(b, off, 8)) return {};
  const std::uint8_t kind = b[off + 7];
  if (kind == 0x01) return Seq(".seq");
  if (kind == 0x00) return Seq(".sep");
  if (runMode == kRunDec) {
    static constexpr std::uint8_t kLzssA[4] = {0xEB, 0xF0, 0x01, 0xFF};
    static constexpr std::uint8_t kLzssB[4] = {0x0A, 0x01, 0x00, 0x30};
    if (BytesAt(b, off + 4, kLzssA, 4) || BytesAt(b, off + 4, kLzssB, 4)) return Seq(".seq");
  }
  return {};
}

// "pBAV": the first program entry tells the standard VAB header (FF FF at
// bytes 40..41) from the game-specific variant (00 00 at bytes 34..35).
// A version-5 VAB header may leave those bytes at 00 00; extract takes it as
// a standard header before the variant test could claim it.
bool IsUnfilledVersion5Vab(ByteSpan b, std::uint64_t off) {
  return HasBytes(b, off, 42) && BytesAt(b, off, "pBAV", 4) && ReadU32LE(b, off + 4) == 5 &&
         b[off + 40] == 0 && b[off + 41] == 0;
}

Identified IdentifyPbav(ByteSpan b, std::uint64_t off, std::uint32_t runMode) {
  if (!HasBytes(b, off, 42)) return {};  // both tests read the first program entry
  if (b[off + 40] == 0xFF && b[off + 41] == 0xFF) return Bank(".vh");
  if (runMode == kRunExtract && IsUnfilledVersion5Vab(b, off)) return Bank(".vh");
  if (ZeroBytes(b, off + 34, 2)) return Bank(".vh2");
  return {};
}

}  // namespace

Identified IdentifyData(ByteSpan b, std::uint32_t off, std::uint32_t runMode) {
  if (!HasBytes(b, off, 4)) return {};
  const std::uint8_t* p = b.data() + off;
  const bool dec = runMode == kRunDec;
  switch (p[0]) {
    case 'p':
      if (BytesAt(b, off, "pQES", 4)) return IdentifyPqes(b, off, runMode);
      if (!dec && BytesAt(b, off, "pBAV", 4)) return IdentifyPbav(b, off, runMode);
      return {};
    case 'S':
      if (BytesAt(b, off, "SSsq", 4)) return Seq(".sssq");
      if (runMode == kRunExtract && BytesAt(b, off, "SEQp", 4)) return IdentifyPqes(b, off, runMode);
      if (dec) {
        static constexpr std::uint8_t kPackedSssq[7] = {0x53, 0x53, 0x7F, 0x73, 0x71, 0x00, 0x00};
        return BytesAt(b, off, kPackedSssq, 7) ? Seq(".sssq") : Identified{};
      }
      if (BytesAt(b, off, "SNTp", 4)) {
        static constexpr std::uint8_t kSntpPrefix[4] = {0x02, 0x00, 0x00, 0x00};
        return off >= 12 && BytesAt(b, off - 12, kSntpPrefix, 4) ? Seq(".sntp") : Identified{};
      }
      if (BytesAt(b, off, "SEQG", 4)) return ZeroBytes(b, off + 4, 4) ? Seq(".seqg") : Identified{};
      if (BytesAt(b, off, "SSEQ", 4)) {
        static constexpr std::uint8_t kSseqTail[4] = {0x28, 0x00, 0x00, 0x00};
        return BytesAt(b, off + 4, kSseqTail, 4) ? Seq(".sseq") : Identified{};
      }
      if (BytesAt(b, off, "SShd", 4)) {
        return off >= 12 && ZeroBytes(b, off - 4, 4) ? Bank(".sshd") : Identified{};
      }
      return {};
    case 'K':
      if (!dec && HasBytes(b, off, 40) && BytesAt(b, off, "KCET", 4) &&
          BytesAt(b, off + 8, "TSDB", 4) && BytesAt(b, off + 20, "KDT2", 4) &&
          BytesAt(b, off + 36, "KDT1", 4)) {
        return Seq(".kcet");
      }
      return {};
    case 'q':
      return !dec && BytesAt(b, off, "qQES", 4) ? Seq(".seqq") : Identified{};
    case '.':
      return !dec && BytesAt(b, off, ".sqv", 4) ? Seq(".sqv") : Identified{};
    case 'I':
      return !dec && BytesAt(b, off, "INST", 4) && ZeroBytes(b, off + 4, 4) ? Bank(".inst")
                                                                              : Identified{};
    default:
      return {};
  }
}

const char* RecognisedAs(ByteSpan b, std::uint64_t off) {
  if (BytesAt(b, off, "SEQp", 4)) return "reversed magic";
  if (IsUnfilledVersion5Vab(b, off)) return "VAB version 5";
  return "signature";
}

}  // namespace psxdig
