// The VAB body search: the first-block check, the occupied ranges, where the
// next search starts, and the body writer.
#include <gtest/gtest.h>

#include "bank_fixture.h"

namespace psxdig {
namespace {

using tools::MakeAdpcmBody;
using tools::MakeVabHeader;

TEST(FirstBlock, FilterShiftFlagAndLeadingZeroBlock) {
  // A zero block, then a block of 0x22 bytes with byte 0 and its flag (byte 1) set.
  auto buf = [](std::uint8_t b0, std::uint8_t flag) {
    Bytes b = Cat({Bytes(16, 0), Bytes(16, 0x22)});
    b[16] = b0, b[17] = flag;
    return b;
  };
  Bytes notZero = buf(0x4C, 7), atX = buf(0, 1);
  notZero[15] = 1;
  atX[0] = 0x12;
  const struct {
    Bytes bytes;
    std::uint64_t x;
    bool zeroCheck, passes;
  } cases[] = {
      {buf(0x4C, 7), 0, true, true},    // largest filter and shift
      {buf(0x5C, 7), 0, true, false},   // filter above four
      {buf(0x4D, 7), 0, true, false},   // shift above twelve
      {buf(0x4C, 8), 0, true, false},   // flag above seven
      {notZero, 0, true, false},        // the zero check needs sixteen zero bytes
      {buf(0, 0), 0, true, false},      // an empty block
      {buf(0, 1), 0, true, true},       // a flag alone is enough
      {buf(0, 1), 0, false, false},     // without the zero check the block at x itself is tested
      {atX, 0, false, true},
      {Bytes(atX.begin(), atX.begin() + 17), 0, true, false},  // the block lies partly outside the input
      {Bytes(atX.begin(), atX.begin() + 17), 16, false, false},
  };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    EXPECT_EQ(PassesFirstBlock(ByteSpan(cases[k].bytes), cases[k].x, cases[k].zeroCheck), cases[k].passes) << k;
  }
}

TEST(OccupiedRanges, StartsAndEndsAreSortedEachOnItsOwnAndEmptyItemsOccupyNothing) {
  DataOfs t;
  t.seqNum = 3;
  t.seqOfs = {100, 400, 500};
  t.seqSize = {50, 150, 0};
  t.vhNum = 3;
  t.vhOfs = {0, 200, 300};
  t.vhSize = {0, 40, 150};  // overlaps the second sequence
  // A header skipped for its bank id has size 0; at offset 0 its end would
  // wrap to the top and swallow the whole input.
  const OccupiedRanges r = BuildOccupiedRanges(t);
  EXPECT_EQ(r.starts, (std::vector<std::uint32_t>{100, 200, 300, 400}));
  EXPECT_EQ(r.ends, (std::vector<std::uint32_t>{149, 239, 449, 549}));
}

TEST(NextSearchStart, FollowsTheSearchPattern) {
  DataOfs t;
  t.vhNum = 3;
  t.vhOfs = {1000, 5000, 9000};
  t.vhSize = {100, 200, 300};
  EXPECT_EQ(NextSearchStart(1, t, 0, 3000, 500, 7), 3500u);  // /p2: behind the body
  EXPECT_EQ(NextSearchStart(1, t, 2, 3000, 500, 7), 3500u);
  EXPECT_EQ(NextSearchStart(0, t, 0, 2000, 500, 7), 5199u);  // body behind its header
  EXPECT_EQ(NextSearchStart(0, t, 0, 500, 500, 7), 1099u);   // body before its header
  EXPECT_EQ(NextSearchStart(0, t, 0, 1000, 500, 7), 7u);     // at its header: unchanged
  EXPECT_EQ(NextSearchStart(0, t, 2, 20000, 500, 7), 7u);    // last bank: unchanged
}

class VabBodyTest : public BankFixture {
 protected:
  // Writes the headers and then searches their bodies.
  std::uint32_t Run(DataOfs& table) {
    VhHeaderTable vhHeader(std::size_t{table.vhNum} * kVhHeaderBytes, 0);
    VagSizeTable vagSizeTbl(std::size_t{table.vhNum} * kVagTableEntries, 0);
    return Call([&] {
      return CreateVh(Context(), table, vhHeader, vagSizeTbl) &&
                     CreateVbForVh(Context(), table, vhHeader, vagSizeTbl)
                 ? 1u
                 : 0u;
    });
  }
  std::uint32_t RunBanks(const std::vector<std::uint32_t>& headers) {
    DataOfs table = BankTable(".vh", headers);
    return Run(table);
  }
  std::string VagLog() const { return testing::ReadText(OutName("_VagOfs.txt")); }
  std::string BodyRows() const {
    const std::string rows = Rows();
    const auto at = rows.find(".vb,");
    return at == std::string::npos ? "" : rows.substr(at);
  }
};

TEST_F(VabBodyTest, SingleBankBodyIsWrittenListedAndLogged) {
  const std::uint32_t h = Append(MakeVabHeader(0, {48, 64}, 1));
  AppendFill(32);
  const std::uint32_t b = Append(MakeAdpcmBody({48, 64}, 2));
  AppendFill(32);
  DataOfs table = BankTable(".vh", {h});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written(".vb"), Slice(b, 112));
  EXPECT_EQ(table.vbCreated[0], 1u);
  EXPECT_EQ(BodyRows(), ".vb,1,     2624-     2735,     a40-     aaf,   112,   70,\r\n");
  EXPECT_EQ(VagLog(),
            "VbIdx: 1, VagNum: 01/02, VagSize: 000048, 00030\r\n"
            "VbIdx: 1, VagNum: 02/02, VagSize: 000064, 00040\r\n"
            "VbIdx: 1, AllVag(=Vb)Size: 00000112, 0000070\r\n"
            "VbIdx: 1, VagNum: 01/02, Ofs: 00000a40, NextOfs: 00000a70\r\n"
            "VbIdx: 1, VagNum: 02/02, Ofs: 00000a70\r\n");
  EXPECT_NE(out.find("\rCreate .vb    1/   1\n"), std::string::npos);
}

TEST_F(VabBodyTest, AHeaderWithTotalSizeZeroDoesNotHideTheOtherBodies) {
  const std::uint32_t h0 = Append(MakeVabHeader(0, {48}, 1));
  const std::uint32_t b0 = Append(MakeAdpcmBody({48}, 2));
  Bytes corrupt = MakeVabHeader(0, {32}, 2);
  std::fill(corrupt.begin() + 12, corrupt.begin() + 16, 0);  // total size 0
  const std::uint32_t h1 = Append(corrupt);
  const std::uint32_t h2 = Append(MakeVabHeader(0, {64}, 3));
  const std::uint32_t b2 = Append(MakeAdpcmBody({64}, 4));
  EXPECT_EQ(RunBanks({h0, h1, h2}), 1u);
  EXPECT_EQ(out.find("This file doesn't exist vb data"), std::string::npos);
  EXPECT_EQ(Written("_1.vb"), Slice(b0, 48));
  EXPECT_FALSE(Exists("_2.vb"));
  EXPECT_EQ(Written("_3.vb"), Slice(b2, 64));
  EXPECT_EQ(ErrorLines(), "Invalid vag size: idx 2, 00000032, 0000020\r\n");
}

}  // namespace
}  // namespace psxdig
