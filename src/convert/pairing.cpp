#include "convert/pairing.h"

namespace psxdig::convert {
namespace {

// The folder of a disc path, with its trailing "/" ("" for the root).
std::string FolderOf(const std::string& discPath) {
  const std::size_t slash = discPath.find_last_of('/');
  return slash == std::string::npos ? std::string() : discPath.substr(0, slash + 1);
}

std::uint64_t Distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

// True when a bank at `candidate` is nearer to a sequence at `at` than one at
// `best`; as near: the one before the sequence.
bool Nearer(std::uint64_t candidate, std::uint64_t best, std::uint64_t at) {
  const std::uint64_t dc = Distance(candidate, at);
  const std::uint64_t db = Distance(best, at);
  if (dc != db) return dc < db;
  return candidate < best;
}

}  // namespace

std::vector<Pairing> PairSequencesWithBanks(const std::vector<PairingCandidate>& items) {
  enum Level { kSameFile, kSameFolder, kImage, kLevels };
  static constexpr const char* kReasons[kLevels] = {"same disc file", "same folder",
                                                    "nearest in image"};
  std::vector<Pairing> pairs(items.size());
  for (std::size_t s = 0; s < items.size(); ++s) {
    if (!items[s].sequence) continue;
    const PairingCandidate& song = items[s];
    const bool onDisc = !song.discPath.empty();
    const std::string folder = FolderOf(song.discPath);
    std::size_t best[kLevels] = {Pairing::kNone, Pairing::kNone, Pairing::kNone};
    for (std::size_t b = 0; b < items.size(); ++b) {
      if (!items[b].bank) continue;
      const PairingCandidate& bank = items[b];
      const bool inFile = onDisc && bank.discPath == song.discPath;
      const bool inFolder = onDisc && !bank.discPath.empty() && FolderOf(bank.discPath) == folder;
      for (const Level level : {kSameFile, kSameFolder, kImage}) {
        const bool fits = level == kImage || (level == kSameFile ? inFile : inFolder);
        if (fits && (best[level] == Pairing::kNone ||
                     Nearer(bank.imageOffset, items[best[level]].imageOffset, song.imageOffset))) {
          best[level] = b;
        }
      }
    }
    for (const Level level : {kSameFile, kSameFolder, kImage}) {
      if (best[level] != Pairing::kNone) {
        pairs[s] = {best[level], kReasons[level]};
        break;
      }
    }
  }
  return pairs;
}

}  // namespace psxdig::convert
