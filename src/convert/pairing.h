// Which sound bank a sequence plays with. A game keeps a song and its bank
// together: in the same disc file when it can, else the bank is loaded
// first and stands before the song on the disc.
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
  const char* reason = "no bank before it";
};

// For every candidate (meaningful for sequences): a bank of the same disc
// file, the nearest before the sequence or else the first after it; failing
// that the nearest bank before it in the image.
std::vector<Pairing> PairSequencesWithBanks(const std::vector<PairingCandidate>& items);

}  // namespace psxdig::convert
