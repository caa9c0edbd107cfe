#include "convert/pairing.h"

#include <gtest/gtest.h>

namespace psxdig::convert {
namespace {

TEST(Pairing, SameDiscFileFirstThenTheNearestBankBefore) {
  // Banks: A.VAB at 100, B.DAT at 500 and 900, none in C.SEQ; the sequences follow.
  const std::vector<PairingCandidate> items = {
      {false, true, "A.VAB", 100}, {false, true, "B.DAT", 500}, {false, true, "B.DAT", 900},
      {true, false, "B.DAT", 700},   // nearest before it in its own file
      {true, false, "B.DAT", 300},   // its file's banks all lie after it: the first of them
      {true, false, "C.SEQ", 800},   // no bank in its file: the nearest before it anywhere
      {true, false, "", 50},         // nothing before it
      {false, false, "A.VAB", 120},  // neither: not paired
  };
  const struct {
    std::size_t bank;
    const char* reason;
  } expected[] = {{Pairing::kNone, "no bank before it"}, {Pairing::kNone, "no bank before it"},
                  {Pairing::kNone, "no bank before it"}, {1, "same disc file"},
                  {1, "same disc file"},                  {1, "nearest bank before it"},
                  {Pairing::kNone, "no bank before it"}, {Pairing::kNone, "no bank before it"}};
  const std::vector<Pairing> pairs = PairSequencesWithBanks(items);
  ASSERT_EQ(pairs.size(), items.size());
  for (std::size_t k = 0; k < items.size(); ++k) {
    EXPECT_EQ(pairs[k].bank, expected[k].bank) << k;
    EXPECT_STREQ(pairs[k].reason, expected[k].reason) << k;
  }
}

}  // namespace
}  // namespace psxdig::convert
