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

TEST(ParseArgs, IncompleteNumbersAreRejectedWithTheRest) {
  Parsed p = Parse({"rip", "game.bin", "1G4", "100"});
  EXPECT_EQ(p.accepted, 0u);
  EXPECT_EQ(p.err, "Invalid arg: G4\n");
  p = Parse({"rip", "game.bin", "0", "0x10"});
  EXPECT_EQ(p.accepted, 0u);
  EXPECT_EQ(p.err, "Invalid arg: x10\n");
  p = Parse({"rip", "game.bin", "zz", "0x10"});  // only the first bad number is reported
  EXPECT_EQ(p.err, "Invalid arg: zz\n");
  p = Parse({"rip", "game.bin", "- 5", "1"});
  EXPECT_EQ(p.err, "Invalid arg: - 5\n");
}

TEST(ParseArgs, SwitchesLaterOverridesEarlierUnknownIgnored) {
  const Parsed p = Parse({"rip", "game.bin", "0", "100", "/p2", "/p1", "/n", "/x", "/c"});
  EXPECT_EQ(p.accepted, 1u);
  EXPECT_EQ(p.options.vbSearchPattern, 0u);
  EXPECT_EQ(p.options.vbHeadZeroCheck, 0u);
  EXPECT_EQ(p.options.compareFlag, 1u);
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(Parse({"rip", "g", "0", "1", "/p2"}).options.vbSearchPattern, 1u);
}

TEST(ParseArgs, WrongCommandsAndTooFewArgumentsAreRefused) {
  EXPECT_EQ(Parse({}).accepted, 0u);
  EXPECT_EQ(Parse({"RIP", "game.bin", "0", "100"}).accepted, 0u);
  EXPECT_EQ(Parse({"rip", "game.bin", "0"}).accepted, 0u);
  EXPECT_EQ(Parse({"dec", "game.bin"}).accepted, 0u);
  EXPECT_EQ(Parse({"Dec", "game.bin", "10037"}).accepted, 0u);
}

TEST(ParseArgs, DecTakesOnlyTheCompareSwitch) {
  const Parsed p = Parse({"dec", "game.bin", "10037", "/n", "/c", "/p2"});
  EXPECT_EQ(p.accepted, 1u);
  EXPECT_EQ(p.options.runMode, kRunDec);
  EXPECT_EQ(p.options.compareFlag, 1u);
  EXPECT_EQ(p.options.vbHeadZeroCheck, 1u);
  EXPECT_EQ(p.options.vbSearchPattern, 0u);
  EXPECT_EQ(Parse({"dec", "game.bin", "anything"}).accepted, 1u);  // serial checked later
}

}  // namespace
}  // namespace psxdig
