#include <gtest/gtest.h>

#include <vector>

#include "app/cli.h"

namespace psxdig {
namespace {

struct Parsed {
  std::uint32_t accepted;
  RunOptions options;
  std::string err;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "psxdig");
  Parsed p{0, RunOptions{}, ""};
  ::testing::internal::CaptureStderr();
  p.accepted = ParseArgs(static_cast<int>(args.size()), args.data(), p.options);
  p.err = ::testing::internal::GetCapturedStderr();
  return p;
}

TEST(ParseArgs, RipNumbersFollowStrtoulOf32BitsHexThenDecimal) {
  const Parsed p = Parse({"rip", "game.bin", "0x800", "100"});
  EXPECT_EQ(p.accepted, 1u);
  EXPECT_EQ(p.options.startOfs, 2048u);
  EXPECT_EQ(p.options.maxSearchFileNum, 100u);
  EXPECT_EQ(p.options.runMode, kRunRip);
  EXPECT_EQ(p.options.vbHeadZeroCheck, 1u);
  auto start = [](const char* v) { return Parse({"rip", "g", v, "10"}).options.startOfs; };
  auto max = [](const char* v) { return Parse({"rip", "g", "0", v}).options.maxSearchFileNum; };
  EXPECT_EQ(start("ff"), 255u);
  EXPECT_EQ(start(""), 0u);  // empty converts to 0
  EXPECT_EQ(start("  1f"), 0x1Fu);
  EXPECT_EQ(start("123456789"), 4294967295u);
  EXPECT_EQ(max("-1"), 4294967295u);
  EXPECT_EQ(max("-2"), 4294967294u);
  EXPECT_EQ(max("+7"), 7u);
  EXPECT_EQ(max("4294967296"), 4294967295u);
  EXPECT_EQ(max("99999999999999999999999"), 4294967295u);
}

}  // namespace
}  // namespace psxdig
