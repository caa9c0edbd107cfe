#include "decompress/exec_dec.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace psxdig {
namespace {

TEST(ExecDec, SerialMustMatchExactlyAndIsLookedAtAfterTheSearch) {
  testing::TempDir dir;
  testing::ScratchFile log;
  const testing::Bytes input = testing::Str(std::string("pQES\0\0\0\1pQES\0\0\0\1", 16));  // two dec signatures
  RunOptions options;
  options.runMode = kRunDec;
  for (const char* serial : {"12345", "10037 ", " 10037", "SCPS-10037", "1003", "100370", ""}) {
    DataOfs table;
    std::uint32_t r = 1;
    const DecContext ctx{dir.File("game.bin"), serial, ByteSpan(input), ErrorLog(log.get()), options};
    const testing::Captured c = testing::Capture([&] { r = execDec(ctx, table); });
    EXPECT_EQ(r, 0u) << serial;
    EXPECT_EQ(c.err, std::string("Unsupported number: ") + serial + "\n");
    EXPECT_EQ(table.seqNum, 2u);  // the search ran to its end first
    EXPECT_NE(c.out.find("SearchFile"), std::string::npos);
    EXPECT_EQ(c.out.find("Uncompress"), std::string::npos);
  }
  EXPECT_TRUE(dir.List().empty());
}

}  // namespace
}  // namespace psxdig
