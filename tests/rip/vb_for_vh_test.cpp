// The VAB body search: the block checks, a candidate's sample run, the scan
// with its occupied ranges and restart, and the body writer.
#include <gtest/gtest.h>

#include "bank_fixture.h"

namespace psxdig {
namespace {

using tools::MakeAdpcmBody;
using tools::MakeVabHeader;

Bytes Block(std::uint8_t b0, std::uint8_t flag) {
  Bytes b(16, 0x22);
  b[0] = b0;
  b[1] = flag;
  return b;
}

// ---- Block checks ---------------------------------------------------------------

TEST(FirstBlock, FilterShiftFlagAndLeadingZeroBlock) {
  struct Case {
    std::size_t at;
    std::uint8_t value;
    bool passes;
    const char* what;
  };
  const Case cases[] = {
      {16, 0x4C, true, "largest filter and shift"}, {16, 0x5C, false, "filter above four"},
      {16, 0x4D, false, "shift above twelve"},      {17, 8, false, "flag above seven"},
      {15, 1, false, "zero check needs sixteen zero bytes"},
  };
  for (const Case& c : cases) {
    Bytes buf = Cat({Bytes(16, 0), Block(0x4C, 7)});
    buf[c.at] = c.value;
    EXPECT_EQ(PassesFirstBlock(ByteSpan(buf), 0, true), c.passes) << c.what;
  }
  Bytes buf = Cat({Bytes(16, 0), Block(0, 0)});
  EXPECT_FALSE(PassesFirstBlock(ByteSpan(buf), 0, true));  // an empty block
  buf[17] = 1;
  EXPECT_TRUE(PassesFirstBlock(ByteSpan(buf), 0, true));  // a flag alone is enough
  // Without the zero check the block at the candidate itself is tested.
  EXPECT_FALSE(PassesFirstBlock(ByteSpan(buf), 0, false));
  buf[0] = 0x12;
  EXPECT_TRUE(PassesFirstBlock(ByteSpan(buf), 0, false));
  buf.resize(17);  // the block lies partly outside the input
  EXPECT_FALSE(PassesFirstBlock(ByteSpan(buf), 0, true));
  EXPECT_FALSE(PassesFirstBlock(ByteSpan(buf), 16, false));
}

class EndFlagTest : public ::testing::Test {
 protected:
  Bytes buf = Bytes(64, 0x22);
  bool Passes(std::uint8_t last, std::uint8_t before) {
    buf[64 - 15] = last;
    buf[64 - 31] = before;
    return PassesEndFlag(ByteSpan(buf), 64);
  }
};

TEST_F(EndFlagTest, LastFlagOneThreeSevenOrTwoAfterThreeOrSeven) {
  const std::uint8_t passing[][2] = {{1, 0}, {3, 0}, {7, 0}, {2, 3}, {2, 7}};
  const std::uint8_t failing[][2] = {{0, 0}, {5, 0}, {2, 1}, {2, 2}};
  for (const auto& f : passing) EXPECT_TRUE(Passes(f[0], f[1])) << int{f[0]} << "/" << int{f[1]};
  for (const auto& f : failing) EXPECT_FALSE(Passes(f[0], f[1])) << int{f[0]} << "/" << int{f[1]};
  // Flag bytes before the input fail.
  buf.assign(64, 0x22);
  buf[5] = 2;
  EXPECT_FALSE(PassesEndFlag(ByteSpan(buf), 20));  // block before would be at -11
  EXPECT_FALSE(PassesEndFlag(ByteSpan(buf), 10));
  buf[1] = 3;
  EXPECT_TRUE(PassesEndFlag(ByteSpan(buf), 16));
}

// Found by fuzzing: a sample ending 15..30 bytes past the input passed on the
// flag of the block before its last one, which the input still held.
TEST_F(EndFlagTest, LastBlockPastTheInputFailsWhateverTheBlockBefore) {
  buf[64 - 16] = 7;  // the flag of the block before the last for end 79
  buf[64 - 15] = 3;  // and for end 80
  EXPECT_FALSE(PassesEndFlag(ByteSpan(buf), 64 + 15));
  EXPECT_FALSE(PassesEndFlag(ByteSpan(buf), 64 + 16));
  buf[64 - 16] = 0x22;
  buf[64 - 15] = 0x22;
  buf[64 - 1] = 7;  // the last block's flag for end 78 still lies inside
  EXPECT_TRUE(PassesEndFlag(ByteSpan(buf), 64 + 14));
}

// ---- Checking a candidate -------------------------------------------------------

class VagRunTest : public ::testing::Test {
 protected:
  testing::ScratchFile log;
  Bytes buf;
  VagRunResult Check(std::uint64_t x, const std::vector<std::uint32_t>& sizes, std::uint32_t bank = 0) {
    std::uint64_t total = 0;
    for (auto s : sizes) total += s;
    return CheckVagRun(ByteSpan(buf), x, sizes, total, true, bank, log.get());
  }
};

TEST_F(VagRunTest, AcceptsAtTheLastSampleLogsTheOnesBeforeAndPassesOverEmptyOnes) {
  buf = Cat({Bytes(0x100, 0xAA), MakeAdpcmBody({48, 32, 64}, 9)});
  const VagRunResult r = Check(0x100, {48, 32, 64, 0, 0}, 2);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.lastSampleStart, 0x150u);
  EXPECT_EQ(log.Text(),
            "VbIdx: 3, VagNum: 01/05, Ofs: 00000100, NextOfs: 00000130\r\n"
            "VbIdx: 3, VagNum: 02/05, Ofs: 00000130, NextOfs: 00000150\r\n");
}

TEST_F(VagRunTest, InnerBlockFailureIsLoggedAsNotVag) {
  buf = Cat({Bytes(0x100, 0xAA), MakeAdpcmBody({48, 64}, 9)});
  buf[0x100 + 48 + 32] = 0x5A;      // sample 2, block 2
  buf[0x100 + 48 + 32 + 1] = 0x03;  // flag itself fine
  EXPECT_FALSE(Check(0x100, {48, 64}).accepted);
  EXPECT_EQ(log.Text(),
            "VbIdx: 1, VagNum: 01/02, Ofs: 00000100, NextOfs: 00000130\r\n"
            "[NotVag] VbIdx: 1, Ofs: 00000100, Ofs1: 00000150 Filter: 5a, Ofs2: 00000151 "
            "AdpcmFlag: 03\r\n");
  buf = MakeAdpcmBody({64}, 9);
  buf[33] = 8;  // a flag above seven
  EXPECT_FALSE(Check(0, {64}).accepted);
  EXPECT_NE(log.Text().find("AdpcmFlag: 08"), std::string::npos);
}

TEST_F(VagRunTest, SamplesOf32BytesHaveNoInnerBlocks) {
  // Sample 2 (32 bytes) is a zero block and its last block, whose byte 0 is
  // never tested; sample 3 (48 bytes) has one inner block, which is.
  buf = MakeAdpcmBody({48, 32, 48}, 9);
  buf[48 + 16] = 0xFF;
  EXPECT_TRUE(Check(0, {48, 32, 48}).accepted);
  buf[80 + 16] = 0xFF;
  EXPECT_FALSE(Check(0, {48, 32, 48}).accepted);
  EXPECT_NE(log.Text().find("Ofs1: 00000060 Filter: ff"), std::string::npos) << log.Text();
}

TEST_F(VagRunTest, EndFlagFailureOrABodyPastTheInputRejectsWithoutALogLine) {
  buf = MakeAdpcmBody({48, 64}, 9);
  buf[48 - 15] = 2;  // last block of sample 1: flag 2, block before it flag 0
  EXPECT_FALSE(Check(0, {48, 64}).accepted);
  EXPECT_EQ(log.Text(), "");
  buf[48 - 31] = 3;
  EXPECT_TRUE(Check(0, {48, 64}).accepted);
  buf.pop_back();  // every byte the checks read is still there
  EXPECT_FALSE(Check(0, {48, 64}).accepted);
}

// ---- Occupied ranges and the scan -----------------------------------------------

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

class ScanTest : public ::testing::Test {
 protected:
  const Bytes body = MakeAdpcmBody({48, 64}, 21);
  Bytes buf;
  BodySearch search;

  void Build(std::initializer_list<Bytes> parts) {
    buf = Cat(parts);
    search.input = ByteSpan(buf);
  }
  BodyHit Scan(std::uint64_t from, bool lastBank = true) {
    return ScanForBody(search, 0, lastBank, {48, 64}, 112, from);
  }
};

TEST_F(ScanTest, FindsTheFirstMatchFromTheStartUpToTheInputEnd) {
  Build({Bytes(300, 0xAA), body, Bytes(200, 0xAA)});
  const BodyHit hit = Scan(0);
  ASSERT_TRUE(hit.found);
  EXPECT_EQ(hit.ofs, 300u);
  EXPECT_EQ(hit.lastSampleStart, 348u);
  EXPECT_FALSE(Scan(301).found);
  Build({Bytes(300, 0xAA), body});  // a body at x = L ends at the input end
  EXPECT_EQ(Scan(0).ofs, 300u);
  EXPECT_EQ(Scan(0, false).ofs, 300u);
}

TEST_F(ScanTest, SkipsBodiesInsideOccupiedRangesWithACursorThatOnlyMovesForward) {
  Build({Bytes(100, 0xAA), body, Bytes(100, 0xAA), body, Bytes(100, 0xAA)});
  search.ranges.starts = {96};
  search.ranges.ends = {120};
  const BodyHit hit = Scan(0);
  ASSERT_TRUE(hit.found);
  EXPECT_EQ(hit.ofs, 312u);
  EXPECT_EQ(search.cursor, 1u);
  EXPECT_EQ(Scan(0).ofs, 100u);  // an earlier bank walked past the range already
}

TEST_F(ScanTest, BankOtherThanTheLastRestartsOnceAtTheFirstBodyOffset) {
  Build({Bytes(100, 0xAA), body, Bytes(400, 0xAA)});
  search.firstBodyOfs = 50;
  EXPECT_FALSE(Scan(250, true).found);  // the last bank never restarts
  const BodyHit hit = Scan(250, false);
  ASSERT_TRUE(hit.found);
  EXPECT_EQ(hit.ofs, 100u);
  Build({Bytes(600, 0xAA)});
  search.firstBodyOfs = 0;
  EXPECT_FALSE(Scan(0, false).found);  // the restart is not repeated
  search.firstBodyOfs = 700;           // beyond the last start: nothing fits there
  EXPECT_FALSE(Scan(0, false).found);
}

TEST_F(ScanTest, RangeReachingPastTheLastStartEndsThePassLikeTheLastStart) {
  Build({Bytes(100, 0xAA), body, Bytes(400, 0xAA), body});
  // An item covers the end of the input, the second body included.
  search.ranges.starts = {500};
  search.ranges.ends = {1000};
  EXPECT_FALSE(Scan(300, true).found);
  search.cursor = 0;
  const BodyHit hit = Scan(300, false);
  ASSERT_TRUE(hit.found);
  EXPECT_EQ(hit.ofs, 100u);
  search.cursor = 0;
  search.firstBodyOfs = 200;  // the restart finds nothing: given up, no endless loop
  EXPECT_FALSE(Scan(300, false).found);
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

// ---- The body writer ------------------------------------------------------------

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

TEST_F(VabBodyTest, BodiesLargerThanTheInputEndTheSearchBeforeTheLog) {
  Bytes header = MakeVabHeader(0, {48}, 1);
  header[14] = 0x01;  // total size 64 KiB more
  const std::uint32_t h = Append(header);
  Append(MakeAdpcmBody({48}, 2));
  EXPECT_EQ(RunBanks({h}), 1u);
  EXPECT_NE(out.find("This file doesn't exist vb data\n"), std::string::npos);
  EXPECT_FALSE(Exists("_VagOfs.txt"));
  EXPECT_FALSE(Exists(".vb"));
  // Two banks each claiming a 2 GiB body (header size on top): a 32-bit sum
  // would wrap to 0.
  image.clear();
  header = MakeVabHeader(0, {48}, 1);
  header[12] = static_cast<std::uint8_t>(2592 & 0xFF);
  header[13] = static_cast<std::uint8_t>(2592 >> 8);
  header[14] = 0;
  header[15] = 0x80;
  EXPECT_EQ(RunBanks({Append(header), Append(header)}), 1u);
  EXPECT_NE(out.find("This file doesn't exist vb data\n"), std::string::npos);
  EXPECT_FALSE(Exists("_VagOfs.txt"));
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

TEST_F(VabBodyTest, SizeMismatchesAreLoggedAsInvalidVagSize) {
  const std::uint32_t h0 = Append(MakeVabHeader(0, {}, 1));
  Bytes wrongTotal = MakeVabHeader(0, {48}, 2);
  wrongTotal[12] += 16;
  const std::uint32_t h1 = Append(wrongTotal);
  AppendFill(64);
  EXPECT_EQ(RunBanks({h0, h1}), 1u);
  EXPECT_EQ(ErrorLines(),
            "Invalid vag size: idx 1, 00000000, 0000000\r\n"
            "Invalid vag size: idx 2, 00000048, 0000030\r\n");
  EXPECT_EQ(VagLog(),
            "VbIdx: 1, AllVag(=Vb)Size: 00000000, 0000000\r\n"
            "VbIdx: 2, VagNum: 01/01, VagSize: 000048, 00030\r\n"
            "VbIdx: 2, AllVag(=Vb)Size: 00000048, 0000030\r\n");
  EXPECT_EQ(BodyRows(), "");
}

TEST_F(VabBodyTest, BanksWithoutHeaderFileAreSkippedSilently) {
  const std::uint32_t h0 = Append(MakeVabHeader(0, {48}, 1, 3));  // bank id 3: not written
  const std::uint32_t h1 = Append(MakeVabHeader(0, {64}, 2));
  const std::uint32_t b = Append(MakeAdpcmBody({64}, 3));
  EXPECT_EQ(RunBanks({h0, h1}), 1u);
  EXPECT_EQ(VagLog().find("VbIdx: 1"), std::string::npos);
  EXPECT_EQ(Written("_2.vb"), Slice(b, 64));
  EXPECT_FALSE(Exists("_1.vb"));
}

TEST_F(VabBodyTest, BodyInsideASequenceItemIsPassedOver) {
  const std::uint32_t h = Append(MakeVabHeader(0, {48, 64}, 1));
  AppendFill(40);
  const std::uint32_t inside = Append(MakeAdpcmBody({48, 64}, 2));
  AppendFill(40);
  const std::uint32_t outside = Append(MakeAdpcmBody({48, 64}, 3));
  AppendFill(40);
  DataOfs table = BankTable(".vh", {h});
  table.seqNum = 1;
  table.seqOfs = {inside - 8};
  table.seqSize = {130};
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written(".vb"), Slice(outside, 112));
}

TEST_F(VabBodyTest, RestartFindsABodyBeforeTheSearchStartButNotForTheLastBank) {
  // H0 B0 B1 H1 H2 B2 with /p1: bank 1 is looked for from the end of H1,
  // reaches the last start, and starts over at B0.
  const std::uint32_t h0 = Append(MakeVabHeader(0, {48, 64}, 1));
  const std::uint32_t b0 = Append(MakeAdpcmBody({48, 64}, 4));
  AppendFill(40);
  const std::uint32_t b1 = Append(MakeAdpcmBody({96}, 5));
  AppendFill(40);
  const std::uint32_t h1 = Append(MakeVabHeader(0, {96}, 2));
  const std::uint32_t h2 = Append(MakeVabHeader(0, {32, 32}, 3));
  AppendFill(40);
  const std::uint32_t b2 = Append(MakeAdpcmBody({32, 32}, 6));
  AppendFill(40);
  EXPECT_EQ(RunBanks({h0, h1, h2}), 1u);
  EXPECT_EQ(Written("_1.vb"), Slice(b0, 112));
  EXPECT_EQ(Written("_2.vb"), Slice(b1, 96));
  EXPECT_EQ(Written("_3.vb"), Slice(b2, 64));
  // Without H2 bank 1 is the last and finds nothing behind H1.
  testing::fs::remove(OutName("_2.vb"));
  image.resize(h2);
  AppendFill(400);
  DataOfs table = BankTable(".vh", {h0, h1});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_FALSE(Exists("_2.vb"));
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{1, 0}));
}

TEST_F(VabBodyTest, BodyFileOrLogThatCannotBeOpenedStopsTheSearch) {
  const std::uint32_t h0 = Append(MakeVabHeader(0, {48}, 1));
  const std::uint32_t h1 = Append(MakeVabHeader(0, {64}, 2));
  Append(MakeAdpcmBody({48}, 3));
  Append(MakeAdpcmBody({64}, 4));
  DataOfs table = BankTable(".vh", {h0, h1});
  testing::fs::create_directory(OutName("_1.vb"));
  EXPECT_EQ(Run(table), 0u);
  EXPECT_TRUE(Reported("CreateVbForVh")) << err;
  EXPECT_EQ(BodyRows().substr(0, 6), ".vb,1,");  // the row stays
  EXPECT_EQ(BodyRows().find(".vb,2,"), std::string::npos);
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{0, 0}));

  testing::fs::remove(OutName("_1.vb"));
  testing::fs::remove(OutName("_VagOfs.txt"));
  testing::fs::create_directory(OutName("_VagOfs.txt"));
  EXPECT_EQ(RunBanks({h0, h1}), 0u);
  EXPECT_TRUE(Reported("CreateVbForVh")) << err;
  EXPECT_FALSE(Exists("_1.vb"));
}

}  // namespace
}  // namespace psxdig
