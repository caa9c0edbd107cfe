// Positions at which a bank body can start. Every body search tests the
// same few bytes at a position before anything that depends on the bank
// (the first block, and for SShd bodies the zero block in front of it), and
// nearly every position fails that test. These positions are found once per
// run, 64 KiB at a time as the searches reach them, so that each bank's
// search jumps from one position to the next instead of stepping over every
// byte of the image.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bytes.h"

namespace psxdig {

enum class BodyStart {
  kZeroBlockFirst,  // VAB body: 16 zero bytes, then a valid first block
  kBlockFirst,      // VAB body without the zero check (/n): a valid first block
  kSShd,            // SShd body: 16 zero bytes, then a first block that starts a sample
};

// The position test of an SShd body that does not depend on its size: a
// zero block at x, then a block at x + 16 whose flag is 0, 2, 4, 5 or 6 and
// which is not 00 00.
bool PassesSShdHead(ByteSpan b, std::uint64_t x);

class BodyCandidates {
 public:
  BodyCandidates(ByteSpan input, BodyStart kind);

  // The start test itself at position x.
  bool Passes(std::uint64_t x) const;

  // The first position in [from, limit) that passes the start test; `limit`
  // when there is none, and `from` itself when from >= limit.
  std::uint64_t Next(std::uint64_t from, std::uint64_t limit);

  // A hint: starts loading the input at, and `offset` bytes after, the few
  // listed positions that follow `after`, which a search is about to test.
  void Prefetch(std::uint64_t after, std::uint64_t offset) const;

  // Positions kept so far (for the memory bound).
  std::size_t kept() const { return pool_.size(); }

 private:
  enum : std::uint8_t { kUnbuilt, kListed, kDense };
  void Build(std::size_t chunk);
  // The first position in [lo, hi) that passes, or hi; found without the list.
  std::uint64_t Find(std::uint64_t lo, std::uint64_t hi) const;
  template <typename F>
  void ForEach(std::uint64_t lo, std::uint64_t hi, F&& visit) const;
  template <typename F>
  void ForEachAfterZeros(std::uint64_t lo, std::uint64_t hi, F&& visit) const;
  template <typename F>
  void ForEachSmallFlag(std::uint64_t lo, std::uint64_t hi, F&& visit) const;

  ByteSpan input_;
  BodyStart kind_;
  std::vector<std::uint32_t> pool_;    // the positions of every listed chunk
  std::vector<std::uint32_t> begin_;   // per chunk: its first entry in pool_
  std::vector<std::uint16_t> count_;   // per chunk: its number of entries
  std::vector<std::uint8_t> state_;    // per chunk: unbuilt, listed or dense
};

}  // namespace psxdig
