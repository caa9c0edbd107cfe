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
