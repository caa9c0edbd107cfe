// The data search: the offsets, class extension, tables and progress it leaves.
#include <gtest/gtest.h>

#include "core/options.h"
#include "core/output.h"
#include "image_builder.h"
#include "test_util.h"

namespace psxdig {
namespace {

TEST(DataSearch, ClassExtensionIsThatOfTheFirstItemAndOffsetsAscend) {
  testing::Bytes input(6000, 0x11);
  testing::Put(input, 100, tools::MakeSep(1, 10, 2));
  testing::Put(input, 5000, tools::MakeSeq(10, 3));
  DataOfs table;
  testing::ScratchFile log;
  std::uint32_t r = 0;
  const std::string out =
      testing::Capture([&] { r = GetDataOfs(ByteSpan(input), 0, 100, 1, table, kRunRip, ErrorLog(log.get())); }).out;
  EXPECT_EQ(r, 1u);
  ASSERT_EQ(table.seqNum, 2u);
  EXPECT_EQ(table.seqOfs, (std::vector<std::uint32_t>{100, 5000}));
  EXPECT_EQ(table.seqExt, ".sep");
  EXPECT_EQ(table.seqSize, (std::vector<std::uint32_t>{0, 0}));
  EXPECT_EQ(table.seqCreated, (std::vector<std::uint32_t>{0, 0}));
  EXPECT_EQ(out, "\rSearchFile        123/      6000\rSearchFile       5019/      6000\n");
  EXPECT_EQ(log.Text(), "");
}

}  // namespace
}  // namespace psxdig
