#include "rip/body_candidates.h"

#include <algorithm>
#include <cstring>

#include "rip/bank_writers.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace psxdig {
namespace {

constexpr unsigned kChunkBits = 16;
constexpr std::uint64_t kChunkBytes = std::uint64_t{1} << kChunkBits;
// A chunk with more positions than this is not listed: its positions are
// looked for again whenever a search crosses it. This bounds the list to
// 1/64 of the input's size.
constexpr std::size_t kDenseChunk = 256;

#if defined(__SSE2__)
// Bit k set when byte k of the 16 at p is zero.
inline unsigned ZeroMask16(const std::uint8_t* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
}
// Bit k set when byte k of the 16 at p is at most 7.
inline unsigned SmallMask16(const std::uint8_t* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xF8)));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_setzero_si128())));
}
#endif

inline bool ZeroWord(const std::uint8_t* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w == 0;
}

}  // namespace

bool PassesSShdHead(ByteSpan b, std::uint64_t x) {
  static constexpr std::uint8_t kZeroBlock[16] = {};
  if (!BytesAt(b, x, kZeroBlock, sizeof kZeroBlock) || !HasBytes(b, x + 16, 2)) return false;
  const std::uint8_t filter = b[x + 16];
  const std::uint8_t flag = b[x + 17];
  const bool startFlag = flag == 0 || flag == 2 || flag == 4 || flag == 5 || flag == 6;
  return startFlag && (filter != 0 || flag != 0);
}

BodyCandidates::BodyCandidates(ByteSpan input, BodyStart kind) : input_(input), kind_(kind) {
  const std::size_t chunks = static_cast<std::size_t>((input.size() + kChunkBytes - 1) >> kChunkBits);
  begin_.assign(chunks, 0);
  count_.assign(chunks, 0);
  state_.assign(chunks, kUnbuilt);
  // Room for every position that can be kept, so that the searches never
  // allocate (pages of it that are never filled are never touched).
  pool_.reserve(chunks * kDenseChunk);
}

bool BodyCandidates::Passes(std::uint64_t x) const {
  switch (kind_) {
    case BodyStart::kZeroBlockFirst:
      return PassesFirstBlock(input_, x, true);
    case BodyStart::kBlockFirst:
      return PassesFirstBlock(input_, x, false);
    case BodyStart::kSShd:
      return PassesSShdHead(input_, x);
  }
  return false;
}

// Both zero-led tests need 16 zero bytes at x and a nonzero byte at x + 16
// or x + 17, so x lies 16 or 17 bytes before the first nonzero byte behind a
// run of zeros. Runs of 16 zeros or more hold an aligned 8-byte zero word;
// only such words lead to a closer look. Calls visit(x) in ascending order
// for every x in [lo, hi) that passes, until visit returns false.
template <typename F>
void BodyCandidates::ForEachAfterZeros(std::uint64_t lo, std::uint64_t hi, F&& visit) const {
  const std::uint8_t* p = input_.data();
  const std::uint64_t end = std::min<std::uint64_t>(input_.size(), hi + 17);  // bytes looked at
  std::uint64_t floor = lo;  // a run is looked at from here on
  std::uint64_t m = (lo + 7) & ~std::uint64_t{7};
  for (;;) {
#if defined(__SSE2__)
    while (m + 16 <= end) {
      const unsigned zeros = ZeroMask16(p + m);
      if ((zeros & 0xFF) == 0xFF) break;
      if ((zeros >> 8) == 0xFF) {
        m += 8;
        break;
      }
      m += 16;
    }
#endif
    while (m + 8 <= end && !ZeroWord(p + m)) m += 8;
    if (m + 8 > end) return;
    std::uint64_t a = m;  // the run [a, e) of zero bytes
    while (a > floor && p[a - 1] == 0) --a;
    std::uint64_t e = m + 8;
#if defined(__SSE2__)
    while (e + 16 <= end && ZeroMask16(p + e) == 0xFFFF) e += 16;
#endif
    while (e < end && p[e] == 0) ++e;
    if (e >= end) return;  // the run reaches past what is looked at
    for (const std::uint64_t back : {17, 16}) {
      const std::uint64_t x = e - back;
      if (e >= back && x >= a && x >= lo && x < hi && Passes(x) && !visit(x)) return;
    }
    floor = e + 1;
    m = (e + 8) & ~std::uint64_t{7};
  }
}

// Without the zero block the first block is at x: its flag byte, x + 1, is
// at most 7. Such bytes are found 16 at a time.
template <typename F>
void BodyCandidates::ForEachSmallFlag(std::uint64_t lo, std::uint64_t hi, F&& visit) const {
  const std::uint8_t* p = input_.data();
  const std::uint64_t size = input_.size();
  std::uint64_t x = lo;
#if defined(__SSE2__)
  while (x < hi && x + 17 <= size) {
    unsigned small = SmallMask16(p + x + 1);
    if (hi - x < 16) small &= (1u << (hi - x)) - 1;
    while (small != 0) {
      const std::uint64_t at = x + static_cast<unsigned>(__builtin_ctz(small));
      small &= small - 1;
      if (Passes(at) && !visit(at)) return;
    }
    x += 16;
  }
#endif
  for (; x < hi; ++x) {
    if (x + 1 < size && p[x + 1] <= 7 && Passes(x) && !visit(x)) return;
  }
}

template <typename F>
void BodyCandidates::ForEach(std::uint64_t lo, std::uint64_t hi, F&& visit) const {
  if (kind_ == BodyStart::kBlockFirst) {
    ForEachSmallFlag(lo, hi, visit);
  } else {
    ForEachAfterZeros(lo, hi, visit);
  }
}

std::uint64_t BodyCandidates::Find(std::uint64_t lo, std::uint64_t hi) const {
  std::uint64_t found = hi;
  ForEach(lo, hi, [&found](std::uint64_t x) {
    found = x;
    return false;
  });
  return found;
}

void BodyCandidates::Build(std::size_t chunk) {
  const std::uint64_t lo = std::uint64_t{chunk} << kChunkBits;
  const std::uint64_t hi = std::min<std::uint64_t>(lo + kChunkBytes, input_.size());
  const std::size_t first = pool_.size();
  bool dense = false;
  ForEach(lo, hi, [&](std::uint64_t x) {
    if (pool_.size() - first >= kDenseChunk) {
      dense = true;
      return false;
    }
    pool_.push_back(static_cast<std::uint32_t>(x));
    return true;
  });
  if (dense) {
    pool_.resize(first);
    state_[chunk] = kDense;
    return;
  }
  begin_[chunk] = static_cast<std::uint32_t>(first);
  count_[chunk] = static_cast<std::uint16_t>(pool_.size() - first);
  state_[chunk] = kListed;
}

void BodyCandidates::Prefetch(std::uint64_t after, std::uint64_t offset) const {
  const auto c = static_cast<std::size_t>(after >> kChunkBits);
  if (c >= state_.size() || state_[c] != kListed) return;
  const auto listBegin = pool_.begin() + begin_[c];
  const auto listEnd = listBegin + count_[c];
  auto it = std::upper_bound(listBegin, listEnd, after);
  for (int k = 0; k < 4 && it != listEnd; ++k, ++it) {
    const std::uint64_t at = std::uint64_t{*it} + offset;
    __builtin_prefetch(input_.data() + *it);
    if (at < input_.size()) __builtin_prefetch(input_.data() + at);
  }
}

std::uint64_t BodyCandidates::Next(std::uint64_t from, std::uint64_t limit) {
  if (from >= limit) return from;
  const std::uint64_t stop = std::min<std::uint64_t>(limit, input_.size());
  for (std::size_t c = static_cast<std::size_t>(from >> kChunkBits);
       c < state_.size() && (std::uint64_t{c} << kChunkBits) < stop; ++c) {
    if (state_[c] == kUnbuilt) Build(c);
    const std::uint64_t lo = std::max<std::uint64_t>(from, std::uint64_t{c} << kChunkBits);
    const std::uint64_t hi = std::min<std::uint64_t>((std::uint64_t{c} + 1) << kChunkBits, stop);
    if (state_[c] == kDense) {
      const std::uint64_t x = Find(lo, hi);
      if (x < hi) return x;
      continue;
    }
    const auto listBegin = pool_.begin() + begin_[c];
    const auto listEnd = listBegin + count_[c];
    const auto it = std::lower_bound(listBegin, listEnd, lo);
    if (it != listEnd && *it < hi) return *it;
  }
  return limit;
}

}  // namespace psxdig
