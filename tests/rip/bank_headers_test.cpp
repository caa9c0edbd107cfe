#include <gtest/gtest.h>

#include "bank_fixture.h"

namespace psxdig {
namespace {

using tools::MakeInstHeader;
using tools::MakeSShdHeader;
using tools::MakeVabHeader;
using tools::MakeVh2Header;

class VabHeaderTest : public BankFixture {
 protected:
  VhHeaderTable vhHeader;
  VagSizeTable vagSizeTbl;

  std::uint32_t Run(DataOfs& table) {
    vhHeader.assign(std::size_t{table.vhNum} * kVhHeaderBytes, 0);
    vagSizeTbl.assign(std::size_t{table.vhNum} * kVagTableEntries, 0);
    return CreateVh(Context(), table, vhHeader, vagSizeTbl);
  }
};

TEST_F(VabHeaderTest, HeaderWithoutProgramsIs2592BytesAndFillsTheScratchData) {
  AppendFill(16);
  const std::uint32_t h = Append(MakeVabHeader(0, {32, 48}, 5));
  AppendFill(100);
  DataOfs table = BankTable(".vh", {h});
  std::string out;
  out = CaptureStdout([&] { EXPECT_EQ(Run(table), 1u); });

  EXPECT_EQ(Written(".vh"), Slice(h, 2592));  // one bank: no number in the name
  EXPECT_EQ(table.vhSize[0], 2592u);
  EXPECT_EQ(table.vhCreated[0], 1u);
  EXPECT_EQ(Rows(), ".vh,1,       16-     2607,      10-     a2f,  2592,  a20,\r\n");
  EXPECT_EQ(out, "\rCreate .vh    1/   1\n");
  EXPECT_EQ(Bytes(vhHeader.begin(), vhHeader.begin() + 32), Slice(h, 32));
  EXPECT_EQ(BankTotalSize(vhHeader, 0), 2592u + 80u);
  EXPECT_EQ(BankVagCount(vhHeader, 0), 2u);
  EXPECT_EQ(vagSizeTbl[0], 0u);
  EXPECT_EQ(vagSizeTbl[1], 4u);
  EXPECT_EQ(vagSizeTbl[2], 6u);
  EXPECT_EQ(vagSizeTbl[3], 0u);
}

TEST_F(VabHeaderTest, SecondBankTableIsCopiedToItsOwnSlot) {
  const std::uint32_t h0 = Append(MakeVabHeader(1, {16}, 1));
  const std::uint32_t h1 = Append(MakeVabHeader(3, {64, 128, 256}, 2));
  DataOfs table = BankTable(".vh", {h0, h1});
  CaptureStdout([&] { EXPECT_EQ(Run(table), 1u); });
  EXPECT_EQ(vagSizeTbl[1], 2u);
  EXPECT_EQ(vagSizeTbl[256 + 1], 8u);
  EXPECT_EQ(vagSizeTbl[256 + 2], 16u);
  EXPECT_EQ(vagSizeTbl[256 + 3], 32u);
  EXPECT_EQ(BankVagCount(vhHeader, 1), 3u);
  EXPECT_EQ(Written("_2.vh"), Slice(h1, 2592 + 3 * 512));
}

TEST_F(VabHeaderTest, HeaderEndingExactlyAtTheInputEndIsWritten) {
  const std::uint32_t h0 = Append(MakeVabHeader(1, {16}, 1));
  const std::uint32_t h1 = Append(MakeVabHeader(2, {64}, 2));
  DataOfs table = BankTable(".vh", {h0, h1});
  CaptureStdout([&] { EXPECT_EQ(Run(table), 1u); });
  EXPECT_EQ(table.vhNum, 2u);
  EXPECT_EQ(Written("_2.vh"), Slice(h1, 2592 + 1024));
  EXPECT_EQ(table.vhCreated[1], 1u);
}

TEST_F(VabHeaderTest, HeaderEndingOneBytePastTheInputEndDropsTheRestOfTheTable) {
  const std::uint32_t h0 = Append(MakeVabHeader(1, {16}, 1));
  const std::uint32_t h1 = Append(MakeVabHeader(2, {64}, 2));
  image.pop_back();
  DataOfs table = BankTable(".vh", {h0, h1});
  table.vhCreated[1] = 1;  // shows that the writer clears it
  std::string out = CaptureStdout([&] { EXPECT_EQ(Run(table), 1u); });
  EXPECT_EQ(table.vhNum, 1u);
  EXPECT_EQ(table.vhCreated[1], 0u);
  EXPECT_TRUE(Exists("_1.vh"));  // named while the class still had two items
  EXPECT_FALSE(Exists("_2.vh"));
  EXPECT_FALSE(Exists(".vh"));
  EXPECT_EQ(Rows(), ".vh,1,        0-     3103,       0-     c1f,  3104,  c20,\r\n");
  EXPECT_EQ(out, "\rCreate .vh    1/   2\n");
}

TEST_F(VabHeaderTest, NonZeroBankIdIsLoggedWithTwiceTheIndexAndSkipped) {
  std::vector<std::uint32_t> ofs;
  for (std::uint32_t k = 0; k < 5; ++k) {
    ofs.push_back(Append(MakeVabHeader(0, {32}, 10 + k, k == 3 ? 7 : 0)));
  }
  DataOfs table = BankTable(".vh", ofs);
  table.vhSize[3] = 99;
  CaptureStdout([&] { EXPECT_EQ(Run(table), 1u); });
  char expected[80];
  std::snprintf(expected, sizeof expected, "Not split for compress or non vh[6]. ofs: %x\r\n", ofs[3]);
  EXPECT_EQ(ErrorLines(), expected);
  EXPECT_EQ(table.vhSize[3], 0u);
  EXPECT_EQ(table.vhCreated[3], 0u);
  EXPECT_FALSE(Exists("_4.vh"));
  EXPECT_TRUE(Exists("_5.vh"));
  const std::string rows = Rows();
  EXPECT_EQ(rows.find(".vh,4,"), std::string::npos);
  EXPECT_NE(rows.find(".vh,5,"), std::string::npos);
  EXPECT_EQ(table.vhCreated[4], 1u);
}

TEST_F(VabHeaderTest, FailedOpenReportsLeavesTheRowAndStops) {
  const std::uint32_t h0 = Append(MakeVabHeader(0, {16}, 1));
  Append(MakeVabHeader(0, {16}, 2));
  DataOfs table = BankTable(".vh", {h0, h0 + 2592});
  RipContext ctx = Context();
  ctx.inputPath = dir.File("missing/img.bin");
  vhHeader.assign(2 * kVhHeaderBytes, 0);
  vagSizeTbl.assign(2 * kVagTableEntries, 0);
  ::testing::internal::CaptureStderr();
  std::string out = CaptureStdout([&] { EXPECT_EQ(CreateVh(ctx, table, vhHeader, vagSizeTbl), 0u); });
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("[F:CreateVh][L:", 0), 0u) << err;
  EXPECT_EQ(out, "");  // no progress and no closing line break
  EXPECT_EQ(table.vhCreated[0], 0u);
  EXPECT_EQ(Rows(), ".vh,1,        0-     2591,       0-     a1f,  2592,  a20,\r\n");
}

// ---- VAB variant ----------------------------------------------------------

class Vh2HeaderTest : public BankFixture {};

TEST_F(Vh2HeaderTest, OffsetTableIsReadBackwardDownToTheZeroEntry) {
  const Bytes h = MakeVh2Header(0x100, {64, 32, 128}, 3);
  const std::vector<std::uint32_t> values = ReadVh2OffsetTable(ByteSpan(h), 0, 0x100);
  EXPECT_EQ(values, (std::vector<std::uint32_t>{96, 64, 0}));
  const auto entries = BuildVagSizeEntries(values, 224);
  EXPECT_EQ(entries[0], 0u);
  EXPECT_EQ(entries[1], 8u);
  EXPECT_EQ(entries[2], 4u);
  EXPECT_EQ(entries[3], 16u);
  EXPECT_EQ(entries[4], 0u);
}

TEST_F(Vh2HeaderTest, OutOfOrderTableGivesTheSameSizesAsTheOrderedOne) {
  const std::vector<std::uint32_t> sizes = {64, 32, 128, 16, 48};
  const Bytes ordered = MakeVh2Header(0x100, sizes, 3);
  const Bytes shuffled = MakeVh2Header(0x100, sizes, 3, true);
  const auto a = ReadVh2OffsetTable(ByteSpan(ordered), 0, 0x100);
  const auto b = ReadVh2OffsetTable(ByteSpan(shuffled), 0, 0x100);
  ASSERT_NE(a, b);  // the tables really differ in order
  EXPECT_EQ(BuildVagSizeEntries(a, 288), BuildVagSizeEntries(b, 288));
  EXPECT_EQ(BuildVagSizeEntries(b, 288)[5], 6u);
}

TEST_F(Vh2HeaderTest, ZeroLastWordMeansOneSampleOfTheWholeBody) {
  const Bytes h = MakeVh2Header(64, {4096}, 4);
  const auto values = ReadVh2OffsetTable(ByteSpan(h), 0, 64);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(BuildVagSizeEntries(values, 4096)[1], 512u);
}

TEST_F(Vh2HeaderTest, DifferencesAreShiftedDownToUnitsOfEight) {
  const auto entries = BuildVagSizeEntries({20, 0}, 50);
  EXPECT_EQ(entries[0], 0u);
  EXPECT_EQ(entries[1], 2u);  // 20 >> 3
  EXPECT_EQ(entries[2], 3u);  // 30 >> 3
}

TEST_F(Vh2HeaderTest, TableWithoutZeroWordBelowTheHeadHasNoSamples) {
  // The body-size field (offset 36) is zero, but it belongs to the head.
  Bytes h(56, 0x11);
  h[36] = h[37] = h[38] = h[39] = 0;
  EXPECT_TRUE(ReadVh2OffsetTable(ByteSpan(h), 0, 56).empty());
}

TEST_F(Vh2HeaderTest, AtMost255WordsAreRead) {
  Bytes h(40 + 4 * 300, 0x11);
  auto zeroWordFromEnd = [&](std::size_t k) {
    for (int n = 0; n < 4; ++n) h[h.size() - 4 * k + n] = 0;
  };
  zeroWordFromEnd(256);
  EXPECT_TRUE(ReadVh2OffsetTable(ByteSpan(h), 0, h.size()).empty());
  zeroWordFromEnd(255);
  EXPECT_EQ(ReadVh2OffsetTable(ByteSpan(h), 0, h.size()).size(), 255u);
}

TEST_F(Vh2HeaderTest, WriterCopiesTheHeaderAndRecordsTotalSizeAndCount) {
  AppendFill(8);
  const std::uint32_t good = Append(MakeVh2Header(0x80, {64, 32}, 6));
  Bytes small = MakeVh2Header(0x80, {64}, 7);
  small[32] = 43;  // below head and one table word
  const std::uint32_t tooSmall = Append(small);
  Bytes longer = MakeVh2Header(0x80, {64}, 8);
  longer[32] = 0x81;  // one byte more than the input holds
  const std::uint32_t pastEnd = Append(longer);
  DataOfs table = BankTable(".vh2", {good, tooSmall, pastEnd});
  VhHeaderTable vhHeader(3 * kVhHeaderBytes, 0);
  VagSizeTable vagSizeTbl(3 * kVagTableEntries, 0);
  CaptureStdout([&] { EXPECT_EQ(CreateVhForBastard(Context(), table, vhHeader, vagSizeTbl), 1u); });

  EXPECT_EQ(Written("_1.vh2"), Slice(good, 0x80));
  EXPECT_EQ(table.vhSize[0], 0x80u);
  EXPECT_EQ(table.vhCreated[0], 1u);
  EXPECT_EQ(BankTotalSize(vhHeader, 0), 0x80u + 96u);
  EXPECT_EQ(BankVagCount(vhHeader, 0), 2u);
  EXPECT_EQ(vagSizeTbl[1], 8u);
  EXPECT_EQ(vagSizeTbl[2], 4u);
  for (std::uint32_t k = 1; k < 3; ++k) {
    EXPECT_EQ(table.vhCreated[k], 0u) << k;
    EXPECT_EQ(BankTotalSize(vhHeader, k), 0u) << k;
  }
  EXPECT_FALSE(Exists("_2.vh2"));
  EXPECT_FALSE(Exists("_3.vh2"));
  EXPECT_EQ(Rows(), ".vh2,1,        8-      135,       8-      87,   128,   80,\r\n");
}

// ---- SShd -------------------------------------------------------------------

class SShdHeaderTest : public BankFixture {
 protected:
  std::vector<std::uint32_t> vbSize;
  std::uint32_t Run(DataOfs& table) {
    vbSize.assign(table.vhNum, 0xDEAD);
    std::uint32_t result = 0;
    CaptureStdout([&] { result = CreateSShd(Context(), table, vbSize); });
    return result;
  }
};

TEST_F(SShdHeaderTest, ItemStartsTwelveBytesBeforeTheSignature) {
  AppendFill(20);
  const std::uint32_t item = Append(MakeSShdHeader(0x40, 0x100, 1));
  AppendFill(0x100);
  DataOfs table = BankTable(".sshd", {item + 12});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written(".sshd"), Slice(item, 0x40));
  EXPECT_EQ(vbSize[0], 0x100u);
  EXPECT_EQ(table.vhSize[0], 0x40u);
  EXPECT_EQ(Rows(), ".sshd,1,       20-       83,      14-      53,    64,   40,\r\n");
}

TEST_F(SShdHeaderTest, ZeroOrOversizedSizesSkipSilentlyButTheBodySizeIsKept) {
  const std::uint32_t zeroBody = Append(MakeSShdHeader(0x40, 0, 1));
  const std::uint32_t hugeHeader = Append(MakeSShdHeader(0x40, 0x20, 2));
  image[hugeHeader + 1] = 0x10;  // header size 0x1040, more than the input
  const std::uint32_t hugeBody = Append(MakeSShdHeader(0x40, 0x100000, 3));
  const std::uint32_t ok = Append(MakeSShdHeader(0x40, 0x20, 4));
  DataOfs table = BankTable(".sshd", {zeroBody + 12, hugeHeader + 12, hugeBody + 12, ok + 12});
  table.vhSize[0] = 5;
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(vbSize, (std::vector<std::uint32_t>{0, 0x20, 0x100000, 0x20}));
  EXPECT_EQ(table.vhSize[0], 5u);  // left as it was
  EXPECT_EQ(table.vhCreated, (std::vector<std::uint32_t>{0, 0, 0, 1}));
  EXPECT_FALSE(Exists("_1.sshd"));
  EXPECT_TRUE(Exists("_4.sshd"));
  EXPECT_EQ(ErrorLines(), "");
}

TEST_F(SShdHeaderTest, HeaderRunningPastTheInputEndIsSkipped) {
  AppendFill(0x100);
  const std::uint32_t item = Append(MakeSShdHeader(0x80, 0x20, 1));
  image.resize(item + 0x7F);  // header size fits the input, not from where it starts
  DataOfs table = BankTable(".sshd", {item + 12});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(table.vhCreated[0], 0u);
  EXPECT_FALSE(Exists(".sshd"));
  EXPECT_EQ(Rows(), "");
}

// ---- INST -------------------------------------------------------------------

class InstHeaderTest : public BankFixture {};

TEST_F(InstHeaderTest, WritesHeaderSizeBytesAndSkipsOnesRunningPastTheEnd) {
  const std::uint32_t first = Append(MakeInstHeader(0x30, 0x10, 1));
  AppendFill(0x10);
  const std::uint32_t second = Append(MakeInstHeader(0x40, 0x10, 2));
  image.resize(second + 0x3F);
  DataOfs table = BankTable(".inst", {first, second});
  CaptureStdout([&] { EXPECT_EQ(CreateInst(Context(), table), 1u); });
  EXPECT_EQ(Written("_1.inst"), Slice(first, 0x30));
  EXPECT_EQ(table.vhSize[0], 0x30u);
  EXPECT_EQ(table.vhCreated, (std::vector<std::uint32_t>{1, 0}));
  EXPECT_FALSE(Exists("_2.inst"));
  EXPECT_EQ(Rows(), ".inst,1,        0-       47,       0-      2f,    48,   30,\r\n");
}

}  // namespace
}  // namespace psxdig
