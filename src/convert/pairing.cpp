#include "convert/pairing.h"

namespace psxdig::convert {
namespace {

// The better of two banks for a sequence at `at`: one before it beats one
// after it; among those before, the nearest; among those after, the first.
bool Nearer(std::uint64_t candidate, std::uint64_t best, std::uint64_t at) {
  const bool candidateBefore = candidate <= at;
  const bool bestBefore = best <= at;
  if (candidateBefore != bestBefore) return candidateBefore;
  return candidateBefore ? candidate > best : candidate < best;
}

}  // namespace

std::vector<Pairing> PairSequencesWithBanks(const std::vector<PairingCandidate>& items) {
  std::vector<Pairing> pairs(items.size());
  for (std::size_t s = 0; s < items.size(); ++s) {
    if (!items[s].sequence) continue;
    const std::uint64_t at = items[s].imageOffset;
    std::size_t sameFile = Pairing::kNone;
    std::size_t before = Pairing::kNone;
    for (std::size_t b = 0; b < items.size(); ++b) {
      if (!items[b].bank) continue;
      const std::uint64_t ofs = items[b].imageOffset;
      if (!items[s].discPath.empty() && items[b].discPath == items[s].discPath &&
          (sameFile == Pairing::kNone || Nearer(ofs, items[sameFile].imageOffset, at))) {
        sameFile = b;
      }
      if (ofs <= at && (before == Pairing::kNone || ofs > items[before].imageOffset)) before = b;
    }
    if (sameFile != Pairing::kNone) {
      pairs[s] = {sameFile, "same disc file"};
    } else if (before != Pairing::kNone) {
      pairs[s] = {before, "nearest bank before it"};
    }
  }
  return pairs;
}

}  // namespace psxdig::convert
