// The bank header writers: skipped banks, and the ".vh2" offset table.
#include <gtest/gtest.h>

#include "bank_fixture.h"

namespace psxdig {
namespace {

using tools::MakeVabHeader;
using tools::MakeVh2Header;

TEST_F(BankFixture, NonZeroVabBankIdIsLoggedWithTwiceTheIndexAndSkipped) {
  std::vector<std::uint32_t> ofs;
  for (std::uint32_t k = 0; k < 5; ++k) ofs.push_back(Append(MakeVabHeader(0, {32}, 10 + k, k == 3 ? 7 : 0)));
  DataOfs table = BankTable(".vh", ofs);
  table.vhSize[3] = 99;
  VhHeaderTable vhHeader(5 * kVhHeaderBytes);
  VagSizeTable vagSizeTbl(5 * kVagTableEntries);
  EXPECT_EQ(Call([&] { return CreateVh(Context(), table, vhHeader, vagSizeTbl); }), 1u);
  char expected[80];
  std::snprintf(expected, sizeof expected, "Not split for compress or non vh[6]. ofs: %x\r\n", ofs[3]);
  EXPECT_EQ(ErrorLines(), expected);
  EXPECT_EQ(table.vhSize[3], 0u);
  EXPECT_EQ(table.vhCreated, (std::vector<std::uint32_t>{1, 1, 1, 0, 1}));
  EXPECT_FALSE(Exists("_4.vh"));
  EXPECT_TRUE(Exists("_5.vh"));
  EXPECT_EQ(Rows().find(".vh,4,"), std::string::npos);
  EXPECT_NE(Rows().find(".vh,5,"), std::string::npos);
}

TEST(Vh2Table, ZeroLastWordTheHeadAndThe255WordLimit) {
  // A zero last word means one sample of the whole body.
  const Bytes one = MakeVh2Header(64, {4096}, 4);
  const auto values = ReadVh2OffsetTable(ByteSpan(one), 0, 64);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(BuildVagSizeEntries(values, 4096)[1], 512u);
  // The body-size field (offset 36) is zero, but it belongs to the head.
  Bytes head(56, 0x11);
  head[36] = head[37] = head[38] = head[39] = 0;
  EXPECT_TRUE(ReadVh2OffsetTable(ByteSpan(head), 0, 56).empty());
  // At most 255 words are read.
  Bytes h(40 + 4 * 300, 0x11);
  auto zeroWordFromEnd = [&](std::size_t k) { std::fill_n(h.end() - 4 * static_cast<long>(k), 4, 0); };
  zeroWordFromEnd(256);
  EXPECT_TRUE(ReadVh2OffsetTable(ByteSpan(h), 0, h.size()).empty());
  zeroWordFromEnd(255);
  EXPECT_EQ(ReadVh2OffsetTable(ByteSpan(h), 0, h.size()).size(), 255u);
}

}  // namespace
}  // namespace psxdig
