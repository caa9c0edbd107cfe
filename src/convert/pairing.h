// Which sound bank a sequence plays with. A game keeps a song and its bank
// together: in the same disc file when it can, else in the same folder, and
// a disc without either still tends to keep them close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace psxdig::convert {

struct PairingCandidate {
  bool sequence = false;     // a sequence to pair
  bool bank = false;         // a bank a sequence may play with
  std::string discPath;      // empty outside every disc file
  std::uint64_t imageOffset = 0;
};

struct Pairing {
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t bank = kNone;  // index of the bank in the candidates
  const char* reason = "none";
};

// For every candidate (meaningful for sequences), in this order: the nearest
// bank of the same disc file, before or after the sequence; the nearest bank
// of the same folder; the nearest bank in the image. Nearest is by image
// offset; of two banks as near, the one before the sequence.
std::vector<Pairing> PairSequencesWithBanks(const std::vector<PairingCandidate>& items);

}  // namespace psxdig::convert
