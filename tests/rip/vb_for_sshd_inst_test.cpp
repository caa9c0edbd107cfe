#include <gtest/gtest.h>

#include "bank_fixture.h"

namespace psxdig {
namespace {

using tools::MakeInstHeader;
using tools::MakeSShdBody;
using Bytes = std::vector<std::uint8_t>;

// ---- The SShd body test ---------------------------------------------------------

class SShdBodyCheckTest : public ::testing::Test {
 protected:
  Bytes buf = MakeSShdBody(64, 5);
  bool Passes() const { return PassesSShdBody(ByteSpan(buf), 0, 64); }
};

TEST_F(SShdBodyCheckTest, GeneratedBodyPasses) { EXPECT_TRUE(Passes()); }

TEST_F(SShdBodyCheckTest, ByteZeroMustStayBelow0x4F) {
  buf[16] = 0x4E;
  EXPECT_TRUE(Passes());
  buf[16] = 0x4F;
  EXPECT_FALSE(Passes());
  buf[16] = 0x10;
  buf[32] = 0x4F;  // any block, not only the first
  EXPECT_FALSE(Passes());
}

TEST_F(SShdBodyCheckTest, FirstRealBlockMustNotEndASample) {
  for (std::uint8_t flag : {0, 2, 4, 5, 6}) {
    buf[17] = flag;
    EXPECT_TRUE(Passes()) << int{flag};
  }
  for (std::uint8_t flag : {1, 3, 7, 8}) {
    buf[17] = flag;
    EXPECT_FALSE(Passes()) << int{flag};
  }
}

TEST_F(SShdBodyCheckTest, FirstRealBlockMustNotBeEmpty) {
  buf[16] = 0;
  buf[17] = 0;
  EXPECT_FALSE(Passes());
}

TEST_F(SShdBodyCheckTest, LastBlockMustEndASample) {
  for (std::uint8_t flag : {1, 3, 7}) {
    buf[64 - 15] = flag;
    EXPECT_TRUE(Passes()) << int{flag};
  }
  buf[64 - 15] = 2;
  EXPECT_FALSE(Passes());
}

TEST_F(SShdBodyCheckTest, FlagOfEightInAnyBlockFails) {
  buf[33] = 8;
  EXPECT_FALSE(Passes());
}

TEST_F(SShdBodyCheckTest, LeadingBlockMustBeZero) {
  buf[7] = 1;
  EXPECT_FALSE(Passes());
}

TEST_F(SShdBodyCheckTest, BytesOutsideTheInputFail) {
  Bytes tiny(17, 0);  // a 16-byte body whose first real block lies past the input
  EXPECT_FALSE(PassesSShdBody(ByteSpan(tiny), 0, 16));
  Bytes shortBody = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x00};
  // A body of 8 bytes: its last-block flag would stand before the input.
  EXPECT_FALSE(PassesSShdBody(ByteSpan(shortBody), 0, 8));
}

// ---- SShd bodies ----------------------------------------------------------------

class SShdBodyTest : public BankFixture {
 protected:
  std::string out;
  std::uint32_t Run(DataOfs& table, const std::vector<std::uint32_t>& vbSize) {
    std::uint32_t result = 0;
    out = CaptureStdout([&] { result = CreateVbForSShd(Context(), table, vbSize); });
    return result;
  }
  DataOfs Table(std::size_t n) { return BankTable(".sshd", std::vector<std::uint32_t>(n, 0)); }
};

TEST_F(SShdBodyTest, BackToBackBodiesAreFoundOneAfterTheOther) {
  AppendFill(100);
  const std::uint32_t b0 = Append(MakeSShdBody(64, 1));
  const std::uint32_t b1 = Append(MakeSShdBody(64, 2));
  AppendFill(30);
  DataOfs table = Table(2);
  EXPECT_EQ(Run(table, {64, 64}), 1u);
  EXPECT_EQ(Written("_1.vb"), Slice(b0, 64));
  EXPECT_EQ(Written("_2.vb"), Slice(b1, 64));
  EXPECT_EQ(Rows(),
            ".vb,1,      100-      163,      64-      a3,    64,   40,\r\n"
            ".vb,2,      164-      227,      a4-      e3,    64,   40,\r\n");
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{1, 1}));
  EXPECT_EQ(out, "\rCreate .vb    1/   2\rCreate .vb    2/   2\n");
}

TEST_F(SShdBodyTest, SkippedBanksLeaveTheNextStartWhereItWas) {
  AppendFill(100);
  const std::uint32_t b0 = Append(MakeSShdBody(64, 1));
  const std::uint32_t b1 = Append(MakeSShdBody(64, 2));
  DataOfs table = Table(4);  // no header written: bodies are searched all the same
  EXPECT_EQ(Run(table, {0, 64, 1000000, 64}), 1u);
  EXPECT_FALSE(Exists("_1.vb"));
  EXPECT_EQ(Written("_2.vb"), Slice(b0, 64));
  EXPECT_FALSE(Exists("_3.vb"));
  EXPECT_EQ(Written("_4.vb"), Slice(b1, 64));
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{0, 1, 0, 1}));
}

TEST_F(SShdBodyTest, BankWithoutAMatchGetsNoFileAndNextBankStartsAtTheSamePlace) {
  AppendFill(100);
  const std::uint32_t b = Append(MakeSShdBody(64, 1));
  DataOfs table = Table(2);
  EXPECT_EQ(Run(table, {48, 64}), 1u);  // no 48-byte body: its last-block flag is 0
  EXPECT_FALSE(Exists("_1.vb"));
  EXPECT_EQ(Written("_2.vb"), Slice(b, 64));
  EXPECT_EQ(ErrorLines(), "");
}

TEST_F(SShdBodyTest, BodyAsLongAsTheInputCanOnlyStartAtZero) {
  Append(MakeSShdBody(64, 1));
  DataOfs table = Table(1);
  EXPECT_EQ(Run(table, {64}), 1u);
  EXPECT_EQ(Written(".vb"), image);
  image.insert(image.begin(), 0);  // now the body stands at 1
  testing::fs::remove(OutName(".vb"));
  table = Table(1);
  EXPECT_EQ(Run(table, {65}), 1u);  // only 0 is tried, and fails
  EXPECT_FALSE(Exists(".vb"));
  EXPECT_EQ(Run(table, {64}), 1u);
  EXPECT_EQ(Written(".vb"), Slice(1, 64));
}

TEST_F(SShdBodyTest, FailedOpenReportsAndStops) {
  Append(MakeSShdBody(64, 1));
  Append(MakeSShdBody(64, 2));
  DataOfs table = Table(2);
  testing::fs::create_directory(OutName("_1.vb"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Run(table, {64, 64}), 0u);
  EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind("[F:CreateVbForSShd][L:", 0), 0u);
  EXPECT_FALSE(Exists("_2.vb"));
  EXPECT_EQ(Rows(), ".vb,1,        0-       63,       0-      3f,    64,   40,\r\n");
}

// ---- INST bodies ----------------------------------------------------------------

class InstBodyTest : public BankFixture {};

TEST_F(InstBodyTest, BodyStandsHeaderSizeBytesBehindTheSignature) {
  AppendFill(0x100);
  const std::uint32_t h = Append(MakeInstHeader(0x20, 0x1000, 1));
  AppendFill(0x1000, 0x5A);
  DataOfs table = BankTable(".inst", {h});
  std::string out = CaptureStdout([&] { EXPECT_EQ(CreateVbForInst(Context(), table), 1u); });
  EXPECT_EQ(Rows(), ".vb,1,      288-     4383,     120-    111f,  4096, 1000,\r\n");
  const Bytes body = Written(".vb");
  EXPECT_EQ(body.size(), 4096u);
  EXPECT_EQ(body, Slice(0x120, 0x1000));
  EXPECT_EQ(table.vbCreated[0], 1u);
  EXPECT_EQ(out, "\rCreate .vb file    1/   1\n");
}

TEST_F(InstBodyTest, BodyRunningPastTheInputGetsNoFile) {
  const std::uint32_t h0 = Append(MakeInstHeader(0x20, 0x10, 1));
  AppendFill(0x10);
  const std::uint32_t h1 = Append(MakeInstHeader(0x20, 0x11, 2));
  AppendFill(0x10);
  DataOfs table = BankTable(".inst", {h0, h1});
  CaptureStdout([&] { EXPECT_EQ(CreateVbForInst(Context(), table), 1u); });
  EXPECT_EQ(Written("_1.vb"), Slice(0x20, 0x10));
  EXPECT_FALSE(Exists("_2.vb"));
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{1, 0}));
}

}  // namespace
}  // namespace psxdig
