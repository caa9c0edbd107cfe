#include "convert/pairing.h"

#include <gtest/gtest.h>

namespace psxdig::convert {
namespace {

TEST(Pairing, SameFileThenSameFolderThenNearestInImage) {
  const std::vector<PairingCandidate> items = {
      {false, true, "A/X.VAB", 100},  // 0
      {false, true, "B/B.DAT", 500},  // 1
      {false, true, "B/B.DAT", 900},  // 2
      {false, true, "B/Z.VAB", 2000}, // 3
      {true, false, "B/B.DAT", 700},  // as near to both banks of its file: the one before it
      {true, false, "B/B.DAT", 850},  // the nearest of its file lies after it
      {true, false, "B/C.SEQ", 100},  // its folder's nearest, not the image's nearest (0)
      {true, false, "B/D.SEQ", 1900}, // its folder's bank after it
      {true, false, "C.SEQ", 150},    // the root folder holds no bank: the nearest anywhere
      {true, false, "", 450},         // outside every file: the nearest anywhere
      {false, false, "A/X.VAB", 120}, // neither: not paired
  };
  const struct {
    std::size_t bank;
    const char* reason;
  } expected[] = {{Pairing::kNone, "none"}, {Pairing::kNone, "none"}, {Pairing::kNone, "none"},
                  {Pairing::kNone, "none"}, {1, "same disc file"},   {2, "same disc file"},
                  {1, "same folder"},       {3, "same folder"},      {0, "nearest in image"},
                  {1, "nearest in image"},  {Pairing::kNone, "none"}};
  const std::vector<Pairing> pairs = PairSequencesWithBanks(items);
  ASSERT_EQ(pairs.size(), items.size());
  for (std::size_t k = 0; k < items.size(); ++k) {
    EXPECT_EQ(pairs[k].bank, expected[k].bank) << k;
    EXPECT_STREQ(pairs[k].reason, expected[k].reason) << k;
  }
  const std::vector<Pairing> alone = PairSequencesWithBanks({{true, false, "A/S.SEQ", 10}});
  EXPECT_EQ(alone[0].bank, Pairing::kNone);
  EXPECT_STREQ(alone[0].reason, "none");
}

}  // namespace
}  // namespace psxdig::convert
