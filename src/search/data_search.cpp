#include <algorithm>
#include <array>
#include <cstdio>
#include <new>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

#include "core/output.h"
#include "search/data_ofs.h"

namespace psxdig {
namespace {

constexpr std::uint32_t kFreeEntry = 0x7F7F7F7F;

// Where the scan goes on after a candidate; `accepted` tells whether the
// candidate is recorded.
struct Step {
  bool accepted;
  std::uint64_t next;
};

// A ".seq" must reach a 00 FF 2F 00 end marker before another "pQES" starts
// and before the input ends. A marker beyond 65521 bytes is not looked for:
// such a candidate is accepted unseen.
Step CheckSeqEndOfTrack(ByteSpan b, std::uint32_t off, const ErrorLog& log) {
  for (std::uint64_t i = 15; i <= 65521; ++i) {
    const std::uint64_t at = off + i;
    if (!HasBytes(b, at, 4)) {
      log.Write("Invalid seq. (EOF doesn't exist) ofs: %u, %#x\n", off, off);
      return {false, off + 1ull};
    }
    if (BytesAt(b, at, "pQES", 4)) {
      log.Write("Invalid seq. (EOF doesn't exist) ofs: %u, %#x\n", off, off);
      return {false, at};
    }
    if (BytesAt(b, at, kZeroDeltaEndOfTrack, 4)) break;
  }
  return {true, off + 19ull};
}

// A ".vh" must fit its whole header in the input and have an empty VAG size
// table past its VAG count (entry 0 and entries V+1..254). On success the
// scan resumes right behind the header.
Step CheckVabHeader(ByteSpan b, std::uint32_t off, const ErrorLog& log) {
  const std::uint64_t programs = ReadU16LE(b, off + 18ull);
  const std::uint64_t table = off + programs * 512 + 2080;  // VAG size table
  if (table + 512 > b.size()) {
    log.Write("Invalid vh. ofs: %u, %#x, File size is over\n", off, off);
    return {false, off + 1ull};
  }
  const std::uint16_t first = ReadU16LE(b, table);
  if (first != 0) {
    log.Write("Invalid vh. ofs: %u, %#x, VagSizeTbl[0]: %04x\n", off, off, first);
    return {false, off + 1ull};
  }
  const std::uint32_t vagCount = ReadU16LE(b, off + 22ull);
  for (std::uint32_t k = vagCount + 1; k <= 254; ++k) {
    const std::uint16_t entry = ReadU16LE(b, table + 2ull * k);
    if (entry != 0) {
      log.Write("Invalid vh. ofs: %u, %#x, VagSizeTbl[%d]: %04x\n", off, off, static_cast<int>(k),
                entry);
      return {false, off + 1ull};
    }
  }
  return {true, table + 512};
}

Step NextAfterSequence(const char* ext, std::uint32_t off, std::uint32_t validate) {
  if (!validate) return {true, off + 1ull};
  const std::string_view e(ext);
  if (e == ".seq") return {true, off + 19ull};
  if (e == ".sep") return {true, off + 23ull};
  if (e == ".sssq") return {true, off + 261ull};
  return {true, off + 1ull};
}

// An ".sshd" header begins 12 bytes before its signature with its own size.
// The scan resumes one byte past that size; a size that would not move the
// scan past the signature moves it on by one byte instead.
std::uint64_t NextAfterSShd(ByteSpan b, std::uint32_t off) {
  const std::uint32_t headerSize = ReadU32LE(b, off - 12ull);
  const std::uint32_t next = off - 12u + headerSize + 1u;  // 32-bit, as stored
  return next > off ? next : off + 1ull;
}

// The first two bytes of every signature the recognizer knows ("pQES",
// "pBAV", "SSsq", "SS" 7F..., "SNTp", "SEQG", "SSEQ", "SShd", "KCET", "qQES",
// ".sqv", "INST"); the scan passes over every offset at which none of them
// stands without asking the recognizer.
constexpr char kStartPairs[][3] = {"pQ", "pB", "SS", "SN", "SE", "KC", "qQ", ".s", "IN"};

bool IsStartPair(std::uint8_t first, std::uint8_t second) {
  for (const auto& pair : kStartPairs) {
    if (first == static_cast<std::uint8_t>(pair[0]) && second == static_cast<std::uint8_t>(pair[1])) {
      return true;
    }
  }
  return false;
}

#if defined(__SSE2__)
// Lanes whose byte may be the first byte of a pair: p or q (70, 71), I or K
// (49, 4B; 48 and 4A too), S or '.'.
inline __m128i MayBeFirst(__m128i v) {
  const auto eq = [](__m128i a, int c) { return _mm_cmpeq_epi8(a, _mm_set1_epi8(static_cast<char>(c))); };
  const auto eqOr = [&eq](__m128i a, int bits, int c) {
    return eq(_mm_or_si128(a, _mm_set1_epi8(static_cast<char>(bits))), c);
  };
  return _mm_or_si128(_mm_or_si128(eqOr(v, 0x01, 0x71), eqOr(v, 0x02, 0x4B)),
                      _mm_or_si128(eq(v, 'S'), eq(v, '.')));
}
// Lanes whose byte may be the second byte of a pair: B or C (42, 43), Q, S
// or s (51, 53, 73; 71 too), N or E.
inline __m128i MayBeSecond(__m128i v) {
  const auto eq = [](__m128i a, int c) { return _mm_cmpeq_epi8(a, _mm_set1_epi8(static_cast<char>(c))); };
  const auto eqOr = [&eq](__m128i a, int bits, int c) {
    return eq(_mm_or_si128(a, _mm_set1_epi8(static_cast<char>(bits))), c);
  };
  return _mm_or_si128(_mm_or_si128(eqOr(v, 0x01, 0x43), eqOr(v, 0x22, 0x73)),
                      _mm_or_si128(eq(v, 'N'), eq(v, 'E')));
}

// Bit k set when the bytes at p + k and p + k + 1 may be a pair: a superset
// of the offsets where one stands.
inline unsigned PairMask16(const std::uint8_t* p) {
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(MayBeFirst(first), MayBeSecond(second))));
}
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PSXDIG_HAS_AVX2_PATH 1
// The same masks 32 lanes wide, for processors that have AVX2 (chosen at
// run time; the rest of the program needs nothing beyond x86-64).
__attribute__((target("avx2"))) inline __m256i Eq32(__m256i a, int c) {
  return _mm256_cmpeq_epi8(a, _mm256_set1_epi8(static_cast<char>(c)));
}
__attribute__((target("avx2"))) inline __m256i EqOr32(__m256i a, int bits, int c) {
  return Eq32(_mm256_or_si256(a, _mm256_set1_epi8(static_cast<char>(bits))), c);
}

__attribute__((target("avx2"))) std::uint64_t PairMask64(const std::uint8_t* p) {
  std::uint64_t mask = 0;
  for (int half = 0; half < 2; ++half) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * half + 1));
    const __m256i first = _mm256_or_si256(_mm256_or_si256(EqOr32(v0, 0x01, 0x71), EqOr32(v0, 0x02, 0x4B)),
                                          _mm256_or_si256(Eq32(v0, 'S'), Eq32(v0, '.')));
    const __m256i second = _mm256_or_si256(_mm256_or_si256(EqOr32(v1, 0x01, 0x43), EqOr32(v1, 0x22, 0x73)),
                                           _mm256_or_si256(Eq32(v1, 'N'), Eq32(v1, 'E')));
    const auto bits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(first, second)));
    mask |= std::uint64_t{bits} << (32 * half);
  }
  return mask;
}

// The first start pair from `off` on while 65 bytes remain; where the
// search stopped otherwise.
__attribute__((target("avx2"))) std::uint64_t NextStartWide(const std::uint8_t* p, std::uint64_t off,
                                                            std::uint64_t size) {
  for (; off + 65 <= size; off += 64) {
    std::uint64_t mask = PairMask64(p + off);
    while (mask != 0) {
      const std::uint64_t at = off + static_cast<unsigned>(__builtin_ctzll(mask));
      if (IsStartPair(p[at], p[at + 1])) return at;
      mask &= mask - 1;
    }
  }
  return off;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

bool CanStartSignature(ByteSpan input, std::uint64_t off) {
  return off + 1 < input.size() && IsStartPair(input[off], input[off + 1]);
}

std::uint64_t NextSignatureStart(ByteSpan input, std::uint64_t from, bool wide) {
  (void)wide;  // only x86-64 has a wide path
  const std::uint64_t size = input.size();
  const std::uint8_t* p = input.data();
  std::uint64_t off = from;
#if defined(PSXDIG_HAS_AVX2_PATH)
  if (wide && HasAvx2()) {
    off = NextStartWide(p, off, size);
    if (off + 65 <= size) return off;  // found before the tail
  }
#endif
#if defined(__SSE2__)
  // 32 offsets a step; most of an image holds no start pair at all.
  while (off + 33 <= size) {
    unsigned mask = PairMask16(p + off) | (PairMask16(p + off + 16) << 16);
    while (mask != 0) {
      const std::uint64_t at = off + static_cast<unsigned>(__builtin_ctz(mask));
      if (IsStartPair(p[at], p[at + 1])) return at;
      mask &= mask - 1;
    }
    off += 32;
  }
#endif
  while (off < size && !CanStartSignature(input, off)) ++off;
  return off < size ? off : size;
}

bool CompareOfs(std::uint32_t a, std::uint32_t b) { return a < b; }

std::uint32_t GetDataOfs(ByteSpan input, std::uint32_t startOfs, std::uint32_t capacity,
                         std::uint32_t validate, DataOfs& table, std::uint32_t runMode,
                         const ErrorLog& log) {
  // The list never needs more entries than there are offsets to examine.
  const std::uint64_t examinable = startOfs < input.size() ? input.size() - startOfs : 0;
  std::vector<std::uint32_t> list;
  try {
    list.assign(static_cast<std::size_t>(std::min<std::uint64_t>(capacity, examinable)),
                kFreeEntry);
  } catch (const std::bad_alloc&) {
    ReportLastError("GetDataOfs", __LINE__);
    return 0;
  }
  std::size_t used = 0;
  std::string firstSeqExt;
  std::string firstVhExt;
  std::uint32_t seqNum = 0;
  std::uint32_t vhNum = 0;

  const std::uint64_t size = input.size();
  std::uint64_t off = startOfs;
  while (off < size) {
    if (used >= capacity) {
      log.Write("Reached to max. Seq and|or Vh exists more over\n");
      break;
    }
    if (!CanStartSignature(input, off)) {
      // Nothing can be found before the next possible start, so the list
      // cannot fill up while passing over these bytes.
      off = NextSignatureStart(input, off + 1);
      continue;
    }
    const auto here = static_cast<std::uint32_t>(off);
    const Identified id = IdentifyData(input, here, runMode);
    if (id.cls == FormatClass::kNone) {
      ++off;
      continue;
    }
    const std::string_view ext(id.ext);
    Step step{true, off + 1};
    if (id.cls == FormatClass::kSequence) {
      step = (validate && ext == ".seq") ? CheckSeqEndOfTrack(input, here, log)
                                         : NextAfterSequence(id.ext, here, validate);
    } else if (validate && ext == ".vh") {
      step = CheckVabHeader(input, here, log);
    } else if (validate && ext == ".sshd") {
      step.next = NextAfterSShd(input, here);
    }
    off = step.next;
    if (!step.accepted) continue;
    list[used++] = here;
    std::string& first = id.cls == FormatClass::kSequence ? firstSeqExt : firstVhExt;
    if (first.empty()) first = id.ext;
    ++(id.cls == FormatClass::kSequence ? seqNum : vhNum);
    std::printf("\rSearchFile %10u/%10u", static_cast<std::uint32_t>(off),
                static_cast<std::uint32_t>(size));
  }
  std::printf("\n");

  table.seqNum = seqNum;
  table.vhNum = vhNum;
  try {
    if (seqNum > 0) {
      table.seqOfs.assign(seqNum, 0);
      table.seqSize.assign(seqNum, 0);
      table.seqCreated.assign(seqNum, 0);
    }
    if (vhNum > 0) {
      table.vhOfs.assign(vhNum, 0);
      table.vhSize.assign(vhNum, 0);
      table.vhCreated.assign(vhNum, 0);
      table.vbCreated.assign(vhNum, 0);
    }
  } catch (const std::bad_alloc&) {
    ReportLastError("GetDataOfs", __LINE__);
    return 0;
  }

  std::sort(list.begin(), list.end(), CompareOfs);
  std::size_t seqAt = 0;
  std::size_t vhAt = 0;
  for (std::size_t k = 0; k < list.size() && list[k] != kFreeEntry; ++k) {
    const Identified id = IdentifyData(input, list[k], runMode);
    if (id.cls == FormatClass::kSequence) table.seqOfs[seqAt++] = list[k];
    if (id.cls == FormatClass::kBankHeader) table.vhOfs[vhAt++] = list[k];
  }
  table.seqExt = firstSeqExt;
  table.vhExt = firstVhExt;
  return 1;
}

}  // namespace psxdig
