// The ".sshd" body scan and the ".inst" body placement.
#include <gtest/gtest.h>

#include "bank_fixture.h"

namespace psxdig {
namespace {

using tools::MakeInstHeader;
using tools::MakeSShdBody;

TEST(SShdBodyCheck, BlockRules) {
  struct Case {
    std::size_t at;
    std::uint8_t value;
    bool passes;
    const char* what;
  };
  const Case cases[] = {
      {0, 0, true, "generated body"},
      {16, 0x4E, true, "byte 0 at 0x4E"},
      {16, 0x4F, false, "byte 0 at 0x4F"},
      {32, 0x4F, false, "0x4F in a later block"},
      {16 + 1, 0, true, "first real block flag 0"},
      {16 + 1, 2, true, "first real block flag 2"},
      {16 + 1, 6, true, "first real block flag 6"},
      {16 + 1, 1, false, "first real block ends a sample (1)"},
      {16 + 1, 3, false, "first real block ends a sample (3)"},
      {16 + 1, 7, false, "first real block ends a sample (7)"},
      {64 - 15, 3, true, "last block flag 3"},
      {64 - 15, 7, true, "last block flag 7"},
      {64 - 15, 2, false, "last block flag 2"},
      {33, 8, false, "flag 8 in any block"},
      {7, 1, false, "leading block not zero"},
  };
  for (const Case& c : cases) {
    Bytes buf = MakeSShdBody(64, 5);
    if (c.at != 0) buf[c.at] = c.value;
    EXPECT_EQ(PassesSShdBody(ByteSpan(buf), 0, 64), c.passes) << c.what;
  }
  Bytes empty = MakeSShdBody(64, 5);
  empty[16] = empty[17] = 0;  // the first real block must not be empty
  EXPECT_FALSE(PassesSShdBody(ByteSpan(empty), 0, 64));
  // Bytes outside the input fail: a 16-byte body whose first real block lies
  // past the input, and an 8-byte one whose last-block flag stands before it.
  EXPECT_FALSE(PassesSShdBody(ByteSpan(Bytes(17, 0)), 0, 16));
  Bytes shortBody(18, 0);
  shortBody[16] = 0x12;
  EXPECT_FALSE(PassesSShdBody(ByteSpan(shortBody), 0, 8));
}

class SShdBodyTest : public BankFixture {
 protected:
  std::uint32_t Run(DataOfs& table, const std::vector<std::uint32_t>& vbSize) {
    return Call([&] { return CreateVbForSShd(Context(), table, vbSize); });
  }
  std::uint32_t Run(const std::vector<std::uint32_t>& vbSize) {
    table = BankTable(".sshd", std::vector<std::uint32_t>(vbSize.size(), 0));
    return Run(table, vbSize);
  }
  DataOfs table;
};

TEST_F(SShdBodyTest, BackToBackBodiesAreFoundOneAfterTheOther) {
  AppendFill(100);
  const std::uint32_t b0 = Append(MakeSShdBody(64, 1));
  const std::uint32_t b1 = Append(MakeSShdBody(64, 2));
  AppendFill(30);
  EXPECT_EQ(Run({64, 64}), 1u);
  EXPECT_EQ(Written("_1.vb"), Slice(b0, 64));
  EXPECT_EQ(Written("_2.vb"), Slice(b1, 64));
  EXPECT_EQ(Rows(),
            ".vb,1,      100-      163,      64-      a3,    64,   40,\r\n"
            ".vb,2,      164-      227,      a4-      e3,    64,   40,\r\n");
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{1, 1}));
  EXPECT_EQ(out, "\rCreate .vb    1/   2\rCreate .vb    2/   2\n");
}

TEST_F(SShdBodyTest, SkippedOrUnmatchedBanksLeaveTheNextStartWhereItWas) {
  AppendFill(100);
  const std::uint32_t b0 = Append(MakeSShdBody(64, 1));
  const std::uint32_t b1 = Append(MakeSShdBody(64, 2));
  // Sizes 0 and too large skip; no 48-byte body matches (its last-block
  // flag is 0). No header was written: bodies are searched all the same.
  EXPECT_EQ(Run({0, 64, 1000000, 48, 64}), 1u);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"img.bin_2.vb", "img.bin_5.vb"}));
  EXPECT_EQ(Written("_2.vb"), Slice(b0, 64));
  EXPECT_EQ(Written("_5.vb"), Slice(b1, 64));
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{0, 1, 0, 0, 1}));
  EXPECT_EQ(ErrorLines(), "");
}

TEST_F(SShdBodyTest, BodyAsLongAsTheInputCanOnlyStartAtZero) {
  Append(MakeSShdBody(64, 1));
  EXPECT_EQ(Run({64}), 1u);
  EXPECT_EQ(Written(".vb"), image);
  image.insert(image.begin(), 0);  // now the body stands at 1
  testing::fs::remove(OutName(".vb"));
  EXPECT_EQ(Run({65}), 1u);  // only 0 is tried, and fails
  EXPECT_FALSE(Exists(".vb"));
  EXPECT_EQ(Run({64}), 1u);
  EXPECT_EQ(Written(".vb"), Slice(1, 64));
}

TEST_F(SShdBodyTest, FailedOpenReportsAndStops) {
  Append(MakeSShdBody(64, 1));
  Append(MakeSShdBody(64, 2));
  testing::fs::create_directory(OutName("_1.vb"));
  EXPECT_EQ(Run({64, 64}), 0u);
  EXPECT_TRUE(Reported("CreateVbForSShd")) << err;
  EXPECT_FALSE(Exists("_2.vb"));
  EXPECT_EQ(Rows(), ".vb,1,        0-       63,       0-      3f,    64,   40,\r\n");
}

TEST_F(BankFixture, InstBodyStandsHeaderSizeBytesBehindTheSignatureWhenItFits) {
  AppendFill(0x100);
  const std::uint32_t h0 = Append(MakeInstHeader(0x20, 0x1000, 1));
  AppendFill(0x1000, 0x5A);
  const std::uint32_t h1 = Append(MakeInstHeader(0x20, 0x11, 2));
  AppendFill(0x10);  // one byte short of the second body
  DataOfs table = BankTable(".inst", {h0, h1});
  EXPECT_EQ(Call([&] { return CreateVbForInst(Context(), table); }), 1u);
  EXPECT_EQ(Rows(), ".vb,1,      288-     4383,     120-    111f,  4096, 1000,\r\n");
  EXPECT_EQ(Written("_1.vb"), Slice(0x120, 0x1000));
  EXPECT_FALSE(Exists("_2.vb"));
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{1, 0}));
  EXPECT_EQ(out, "\rCreate .vb file    1/   2\n");
}

}  // namespace
}  // namespace psxdig
