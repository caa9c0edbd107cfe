// The bank header writers: ".vh", ".vh2", ".sshd" and ".inst" files, rows,
// skips and the scratch tables the body search reads.
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
    return Call([&] { return CreateVh(Context(), table, vhHeader, vagSizeTbl); });
  }
};

TEST_F(VabHeaderTest, HeaderWithoutProgramsIs2592BytesAndFillsTheScratchData) {
  AppendFill(16);
  const std::uint32_t h = Append(MakeVabHeader(0, {32, 48}, 5));
  AppendFill(100);
  DataOfs table = BankTable(".vh", {h});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written(".vh"), Slice(h, 2592));  // one bank: no number in the name
  EXPECT_EQ(table.vhSize[0], 2592u);
  EXPECT_EQ(table.vhCreated[0], 1u);
  EXPECT_EQ(Rows(), ".vh,1,       16-     2607,      10-     a2f,  2592,  a20,\r\n");
  EXPECT_EQ(out, "\rCreate .vh    1/   1\n");
  EXPECT_EQ(Bytes(vhHeader.begin(), vhHeader.begin() + 32), Slice(h, 32));
  EXPECT_EQ(BankTotalSize(vhHeader, 0), 2592u + 80u);
  EXPECT_EQ(BankVagCount(vhHeader, 0), 2u);
  EXPECT_EQ(VagSizeTable(vagSizeTbl.begin(), vagSizeTbl.begin() + 4), (VagSizeTable{0, 4, 6, 0}));
}

TEST_F(VabHeaderTest, HeaderEndingExactlyAtTheInputEndIsWrittenIntoItsOwnSlot) {
  const std::uint32_t h0 = Append(MakeVabHeader(1, {16}, 1));
  const std::uint32_t h1 = Append(MakeVabHeader(3, {64, 128, 256}, 2));
  DataOfs table = BankTable(".vh", {h0, h1});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(table.vhNum, 2u);
  EXPECT_EQ(table.vhCreated[1], 1u);
  EXPECT_EQ(Written("_2.vh"), Slice(h1, 2592 + 3 * 512));
  EXPECT_EQ(vagSizeTbl[1], 2u);
  EXPECT_EQ(VagSizeTable(vagSizeTbl.begin() + 256, vagSizeTbl.begin() + 260), (VagSizeTable{0, 8, 16, 32}));
  EXPECT_EQ(BankVagCount(vhHeader, 1), 3u);
}

TEST_F(VabHeaderTest, HeaderEndingOneBytePastTheInputEndDropsTheRestOfTheTable) {
  const std::uint32_t h0 = Append(MakeVabHeader(1, {16}, 1));
  const std::uint32_t h1 = Append(MakeVabHeader(2, {64}, 2));
  image.pop_back();
  DataOfs table = BankTable(".vh", {h0, h1});
  table.vhCreated[1] = 1;  // shows that the writer clears it
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(table.vhNum, 1u);
  EXPECT_EQ(table.vhCreated[1], 0u);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"img.bin_1.vh"}));  // named while there were two
  EXPECT_EQ(Rows(), ".vh,1,        0-     3103,       0-     c1f,  3104,  c20,\r\n");
  EXPECT_EQ(out, "\rCreate .vh    1/   2\n");
}

TEST_F(VabHeaderTest, NonZeroBankIdIsLoggedWithTwiceTheIndexAndSkipped) {
  std::vector<std::uint32_t> ofs;
  for (std::uint32_t k = 0; k < 5; ++k) ofs.push_back(Append(MakeVabHeader(0, {32}, 10 + k, k == 3 ? 7 : 0)));
  DataOfs table = BankTable(".vh", ofs);
  table.vhSize[3] = 99;
  EXPECT_EQ(Run(table), 1u);
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

TEST_F(VabHeaderTest, FailedOpenReportsLeavesTheRowAndStops) {
  const std::uint32_t h0 = Append(MakeVabHeader(0, {16}, 1));
  Append(MakeVabHeader(0, {16}, 2));
  DataOfs table = BankTable(".vh", {h0, h0 + 2592});
  testing::fs::create_directory(OutName("_1.vh"));
  EXPECT_EQ(Run(table), 0u);
  EXPECT_TRUE(Reported("CreateVh")) << err;
  EXPECT_EQ(out, "");  // no progress and no closing line break
  EXPECT_EQ(table.vhCreated[0], 0u);
  EXPECT_EQ(Rows(), ".vh,1,        0-     2591,       0-     a1f,  2592,  a20,\r\n");
}

// ---- VAB variant ----------------------------------------------------------

TEST(Vh2Table, ReadBackwardDownToTheZeroEntryInAnyOrder) {
  const Bytes h = MakeVh2Header(0x100, {64, 32, 128}, 3);
  const std::vector<std::uint32_t> values = ReadVh2OffsetTable(ByteSpan(h), 0, 0x100);
  EXPECT_EQ(values, (std::vector<std::uint32_t>{96, 64, 0}));
  const auto entries = BuildVagSizeEntries(values, 224);
  EXPECT_EQ(std::vector<std::uint16_t>(entries.begin(), entries.begin() + 5),
            (std::vector<std::uint16_t>{0, 8, 4, 16, 0}));
  // A table out of order gives the same sizes as the ordered one.
  const std::vector<std::uint32_t> sizes = {64, 32, 128, 16, 48};
  const Bytes ordered = MakeVh2Header(0x100, sizes, 3);
  const Bytes shuffled = MakeVh2Header(0x100, sizes, 3, true);
  const auto a = ReadVh2OffsetTable(ByteSpan(ordered), 0, 0x100);
  const auto b = ReadVh2OffsetTable(ByteSpan(shuffled), 0, 0x100);
  ASSERT_NE(a, b);  // the tables really differ in order
  EXPECT_EQ(BuildVagSizeEntries(a, 288), BuildVagSizeEntries(b, 288));
  EXPECT_EQ(BuildVagSizeEntries(b, 288)[5], 6u);
  // Differences are shifted down to units of eight.
  EXPECT_EQ(BuildVagSizeEntries({20, 0}, 50)[1], 2u);  // 20 >> 3
  EXPECT_EQ(BuildVagSizeEntries({20, 0}, 50)[2], 3u);  // 30 >> 3
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

TEST_F(VabHeaderTest, Vh2WriterCopiesTheHeaderAndRecordsTotalSizeAndCount) {
  AppendFill(8);
  const std::uint32_t good = Append(MakeVh2Header(0x80, {64, 32}, 6));
  Bytes small = MakeVh2Header(0x80, {64}, 7);
  small[32] = 43;  // below head and one table word
  const std::uint32_t tooSmall = Append(small);
  Bytes longer = MakeVh2Header(0x80, {64}, 8);
  longer[32] = 0x81;  // one byte more than the input holds
  const std::uint32_t pastEnd = Append(longer);
  DataOfs table = BankTable(".vh2", {good, tooSmall, pastEnd});
  vhHeader.assign(3 * kVhHeaderBytes, 0);
  vagSizeTbl.assign(3 * kVagTableEntries, 0);
  EXPECT_EQ(Call([&] { return CreateVhForBastard(Context(), table, vhHeader, vagSizeTbl); }), 1u);
  EXPECT_EQ(Written("_1.vh2"), Slice(good, 0x80));
  EXPECT_EQ(table.vhSize[0], 0x80u);
  EXPECT_EQ(table.vhCreated, (std::vector<std::uint32_t>{1, 0, 0}));
  EXPECT_EQ(BankTotalSize(vhHeader, 0), 0x80u + 96u);
  EXPECT_EQ(BankVagCount(vhHeader, 0), 2u);
  EXPECT_EQ(vagSizeTbl[1], 8u);
  EXPECT_EQ(vagSizeTbl[2], 4u);
  EXPECT_EQ(BankTotalSize(vhHeader, 1) + BankTotalSize(vhHeader, 2), 0u);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"img.bin_1.vh2"}));
  EXPECT_EQ(Rows(), ".vh2,1,        8-      135,       8-      87,   128,   80,\r\n");
}

// ---- SShd and INST ------------------------------------------------------------

class SShdHeaderTest : public BankFixture {
 protected:
  std::vector<std::uint32_t> vbSize;
  std::uint32_t Run(DataOfs& table) {
    vbSize.assign(table.vhNum, 0xDEAD);
    return Call([&] { return CreateSShd(Context(), table, vbSize); });
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
  AppendFill(0x100);
  const std::uint32_t cut = Append(MakeSShdHeader(0x80, 0x20, 5));
  image.resize(cut + 0x7F);  // header size fits the input, not from where it starts
  DataOfs table = BankTable(".sshd", {zeroBody + 12, hugeHeader + 12, hugeBody + 12, ok + 12, cut + 12});
  table.vhSize[0] = 5;
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(vbSize, (std::vector<std::uint32_t>{0, 0x20, 0x100000, 0x20, 0x20}));
  EXPECT_EQ(table.vhSize[0], 5u);  // left as it was
  EXPECT_EQ(table.vhCreated, (std::vector<std::uint32_t>{0, 0, 0, 1, 0}));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"img.bin_4.sshd"}));
  EXPECT_EQ(Rows().find(".sshd,5,"), std::string::npos);
  EXPECT_EQ(ErrorLines(), "");
}

TEST_F(BankFixture, InstHeaderWritesHeaderSizeBytesAndSkipsOnesRunningPastTheEnd) {
  const std::uint32_t first = Append(MakeInstHeader(0x30, 0x10, 1));
  AppendFill(0x10);
  const std::uint32_t second = Append(MakeInstHeader(0x40, 0x10, 2));
  image.resize(second + 0x3F);
  DataOfs table = BankTable(".inst", {first, second});
  EXPECT_EQ(Call([&] { return CreateInst(Context(), table); }), 1u);
  EXPECT_EQ(Written("_1.inst"), Slice(first, 0x30));
  EXPECT_EQ(table.vhSize[0], 0x30u);
  EXPECT_EQ(table.vhCreated, (std::vector<std::uint32_t>{1, 0}));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"img.bin_1.inst"}));
  EXPECT_EQ(Rows(), ".inst,1,        0-       47,       0-      2f,    48,   30,\r\n");
}

}  // namespace
}  // namespace psxdig
