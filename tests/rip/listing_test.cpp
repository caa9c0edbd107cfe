#include <gtest/gtest.h>

#include "rip/rip_context.h"
#include "test_util.h"

namespace psxdig {
namespace {

std::string Row(const char* ext, std::uint32_t index, std::uint32_t ofs, std::uint32_t size,
                std::uint32_t count, std::uint32_t seqValue = 0) {
  testing::ScratchFile listing;
  WriteListRow(ext, index, ofs, size, count, seqValue, listing.get());
  return listing.Text();
}

TEST(ListRow, FieldWidthsTrailingCommaAndSequenceCount) {
  EXPECT_EQ(Row(".seq", 4, 74565, 418, 12),
            ".seq,05,    74565-    74982,   12345-   124e6,   418,  1a2,\r\n");
  EXPECT_EQ(Row(".vb", 0, 0x10000, 0x123456, 1),
            ".vb,1,    65536-  1258581,   10000-  133455,1193046,123456,\r\n");
  // An empty item at offset 0 ends at -1.
  EXPECT_EQ(Row(".seq", 0, 0, 0, 1), ".seq,1,        0-4294967295,       0-ffffffff,     0,    0,\r\n");
  EXPECT_EQ(Row(".sep", 1, 6448, 631, 7, 2),
            ".sep,2,     6448-     7078,    1930-    1ba6,   631,  277, 3\r\n");
  EXPECT_EQ(Row(".sep", 0, 0, 4, 1, 15), ".sep,1,        0-        3,       0-       3,     4,    4,16\r\n");
}

TEST(ListRow, NumberWidthFollowsTheCountWithNoRowForZeroOrTenThousand) {
  EXPECT_EQ(Row(".seq", 8, 0, 1, 9).substr(0, 7), ".seq,9,");
  EXPECT_EQ(Row(".seq", 0, 0, 1, 10).substr(0, 8), ".seq,01,");
  EXPECT_EQ(Row(".seq", 9, 0, 1, 10).substr(0, 8), ".seq,10,");
  EXPECT_EQ(Row(".seq", 0, 0, 1, 100).substr(0, 9), ".seq,001,");
  EXPECT_EQ(Row(".seq", 0, 0, 1, 9999).substr(0, 10), ".seq,0001,");
  EXPECT_EQ(Row(".seq", 0, 0, 1, 0), "");
  EXPECT_EQ(Row(".seq", 0, 0, 1, 10000), "");
}

}  // namespace
}  // namespace psxdig
