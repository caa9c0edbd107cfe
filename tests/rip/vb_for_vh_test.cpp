#include <gtest/gtest.h>

#include "bank_fixture.h"

namespace psxdig {
namespace {

using tools::MakeAdpcmBody;
using tools::MakeAdpcmSample;
using tools::MakeVabHeader;
using Bytes = std::vector<std::uint8_t>;

Bytes Block(std::uint8_t b0, std::uint8_t flag) {
  Bytes b(16, 0x22);
  b[0] = b0;
  b[1] = flag;
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// ---- First block ------------------------------------------------------------

class FirstBlockTest : public ::testing::Test {
 protected:
  Bytes buf = Concat({Bytes(16, 0), Block(0x4C, 7)});
  bool Passes(bool zeroCheck = true) const { return PassesFirstBlock(ByteSpan(buf), 0, zeroCheck); }
};

TEST_F(FirstBlockTest, LargestFilterShiftAndFlagPass) { EXPECT_TRUE(Passes()); }

TEST_F(FirstBlockTest, FilterAboveFourFails) {
  buf[16] = 0x5C;
  EXPECT_FALSE(Passes());
}

TEST_F(FirstBlockTest, ShiftAboveTwelveFails) {
  buf[16] = 0x4D;
  EXPECT_FALSE(Passes());
}

TEST_F(FirstBlockTest, FlagAboveSevenFails) {
  buf[17] = 8;
  EXPECT_FALSE(Passes());
}

TEST_F(FirstBlockTest, ZeroBlockFailsButAFlagAloneIsEnough) {
  buf[16] = 0;
  buf[17] = 0;
  EXPECT_FALSE(Passes());
  buf[17] = 1;
  EXPECT_TRUE(Passes());
}

TEST_F(FirstBlockTest, ZeroCheckNeedsSixteenZeroBytes) {
  buf[15] = 1;
  EXPECT_FALSE(Passes());
}

TEST_F(FirstBlockTest, WithoutZeroCheckTheBlockAtTheCandidateIsTested) {
  EXPECT_FALSE(Passes(false));  // the block at 0 is 00 00
  buf[0] = 0x12;
  EXPECT_TRUE(Passes(false));
}

TEST_F(FirstBlockTest, BlockOutsideTheInputFails) {
  buf.resize(17);
  EXPECT_FALSE(Passes());
  EXPECT_FALSE(PassesFirstBlock(ByteSpan(buf), 16, false));
}

// ---- End flags ----------------------------------------------------------------

class EndFlagTest : public ::testing::Test {
 protected:
  Bytes buf = Bytes(64, 0x22);
  bool Passes(std::uint8_t last, std::uint8_t before) {
    buf[64 - 15] = last;
    buf[64 - 31] = before;
    return PassesEndFlag(ByteSpan(buf), 64);
  }
};

TEST_F(EndFlagTest, LastBlockFlagsOneThreeSevenPass) {
  EXPECT_TRUE(Passes(1, 0));
  EXPECT_TRUE(Passes(3, 0));
  EXPECT_TRUE(Passes(7, 0));
  EXPECT_FALSE(Passes(0, 0));
  EXPECT_FALSE(Passes(5, 0));
}

TEST_F(EndFlagTest, FlagTwoPassesOnlyAfterABlockWithThreeOrSeven) {
  EXPECT_TRUE(Passes(2, 3));
  EXPECT_TRUE(Passes(2, 7));
  EXPECT_FALSE(Passes(2, 1));
  EXPECT_FALSE(Passes(2, 2));
}

TEST_F(EndFlagTest, FlagBytesBeforeTheInputFail) {
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
  VagRunResult Check(std::uint64_t x, const std::vector<std::uint32_t>& sizes,
                     bool zeroCheck = true, std::uint32_t bank = 0) {
    std::uint64_t total = 0;
    for (auto s : sizes) total += s;
    return CheckVagRun(ByteSpan(buf), x, sizes, total, zeroCheck, bank, log.get());
  }
};

TEST_F(VagRunTest, AcceptsAtTheLastSampleAndLogsTheOnesBefore) {
  buf = Concat({Bytes(0x100, 0xAA), MakeAdpcmBody({48, 32, 64}, 9)});
  const VagRunResult r = Check(0x100, {48, 32, 64}, true, 2);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.lastSampleStart, 0x150u);
  EXPECT_EQ(log.Text(),
            "VbIdx: 3, VagNum: 01/03, Ofs: 00000100, NextOfs: 00000130\r\n"
            "VbIdx: 3, VagNum: 02/03, Ofs: 00000130, NextOfs: 00000150\r\n");
}

TEST_F(VagRunTest, InnerBlockFailureIsLoggedAsNotVag) {
  buf = Concat({Bytes(0x100, 0xAA), MakeAdpcmBody({48, 64}, 9)});
  buf[0x100 + 48 + 32] = 0x5A;      // sample 2, block 2
  buf[0x100 + 48 + 32 + 1] = 0x03;  // flag itself fine
  EXPECT_FALSE(Check(0x100, {48, 64}).accepted);
  EXPECT_EQ(log.Text(),
            "VbIdx: 1, VagNum: 01/02, Ofs: 00000100, NextOfs: 00000130\r\n"
            "[NotVag] VbIdx: 1, Ofs: 00000100, Ofs1: 00000150 Filter: 5a, Ofs2: 00000151 "
            "AdpcmFlag: 03\r\n");
}

TEST_F(VagRunTest, InnerBlockFlagAboveSevenFails) {
  buf = MakeAdpcmBody({64}, 9);
  buf[33] = 8;
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

TEST_F(VagRunTest, EndFlagFailureRejectsWithoutALogLine) {
  buf = MakeAdpcmBody({48, 64}, 9);
  buf[48 - 15] = 2;  // last block of sample 1: flag 2, block before it flag 0
  EXPECT_FALSE(Check(0, {48, 64}).accepted);
  EXPECT_EQ(log.Text(), "");
  buf[48 - 31] = 3;
  EXPECT_TRUE(Check(0, {48, 64}).accepted);
}

TEST_F(VagRunTest, TrailingEmptySamplesArePassedOver) {
  buf = MakeAdpcmBody({48, 32}, 9);
  const VagRunResult r = Check(0, {48, 32, 0, 0});
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(r.lastSampleStart, 48u);
  EXPECT_EQ(log.Text(), "VbIdx: 1, VagNum: 01/04, Ofs: 00000000, NextOfs: 00000030\r\n");
}

TEST_F(VagRunTest, BodyThatWouldRunPastTheInputIsRejected) {
  buf = MakeAdpcmBody({48, 64}, 9);
  ASSERT_TRUE(Check(0, {48, 64}).accepted);
  buf.pop_back();  // every byte the checks read is still there
  EXPECT_FALSE(Check(0, {48, 64}).accepted);
}

// ---- Occupied ranges and the scan -----------------------------------------------

TEST(OccupiedRanges, StartsAndEndsAreSortedEachOnItsOwn) {
  DataOfs t;
  t.seqNum = 2;
  t.seqOfs = {100, 400};
  t.seqSize = {50, 150};
  t.vhNum = 2;
  t.vhOfs = {200, 300};
  t.vhSize = {40, 150};  // overlaps the second sequence
  const OccupiedRanges r = BuildOccupiedRanges(t);
  EXPECT_EQ(r.starts, (std::vector<std::uint32_t>{100, 200, 300, 400}));
  EXPECT_EQ(r.ends, (std::vector<std::uint32_t>{149, 239, 449, 549}));
}

TEST(OccupiedRanges, EmptyItemsOccupyNothing) {
  // A header skipped for its bank id has size 0; at offset 0 its end would
  // wrap to the top and swallow the whole input.
  DataOfs t;
  t.seqNum = 1;
  t.seqOfs = {500};
  t.seqSize = {0};
  t.vhNum = 2;
  t.vhOfs = {0, 200};
  t.vhSize = {0, 100};
  const OccupiedRanges r = BuildOccupiedRanges(t);
  EXPECT_EQ(r.starts, (std::vector<std::uint32_t>{200}));
  EXPECT_EQ(r.ends, (std::vector<std::uint32_t>{299}));
}

class ScanTest : public ::testing::Test {
 protected:
  const std::vector<std::uint32_t> sizes = {48, 64};
  const Bytes body = MakeAdpcmBody({48, 64}, 21);
  Bytes buf;
  BodySearch search;

  void Build(std::initializer_list<Bytes> parts) {
    buf = Concat(parts);
    search.input = ByteSpan(buf);
  }
  BodyHit Scan(std::uint64_t from, bool lastBank = true) {
    return ScanForBody(search, 0, lastBank, sizes, 112, from);
  }
};

TEST_F(ScanTest, FindsTheFirstMatchingPositionFromTheStart) {
  Build({Bytes(300, 0xAA), body, Bytes(200, 0xAA)});
  const BodyHit hit = Scan(0);
  ASSERT_TRUE(hit.found);
  EXPECT_EQ(hit.ofs, 300u);
  EXPECT_EQ(hit.lastSampleStart, 348u);
  EXPECT_FALSE(Scan(301).found);
}

TEST_F(ScanTest, SkipsABodyInsideAnOccupiedRange) {
  Build({Bytes(100, 0xAA), body, Bytes(100, 0xAA), body, Bytes(100, 0xAA)});
  search.ranges.starts = {96};
  search.ranges.ends = {120};
  const BodyHit hit = Scan(0);
  ASSERT_TRUE(hit.found);
  EXPECT_EQ(hit.ofs, 312u);
  EXPECT_EQ(search.cursor, 1u);
}

TEST_F(ScanTest, CursorOnlyMovesForward) {
  Build({Bytes(100, 0xAA), body, Bytes(100, 0xAA), body, Bytes(100, 0xAA)});
  search.ranges.starts = {96};
  search.ranges.ends = {120};
  search.cursor = 1;  // an earlier bank walked past the range already
  EXPECT_EQ(Scan(0).ofs, 100u);
}

TEST_F(ScanTest, BodyEndingAtTheInputEndIsFound) {
  Build({Bytes(300, 0xAA), body});
  EXPECT_EQ(Scan(0).ofs, 300u);
  search.cursor = 0;
  const BodyHit notLast = Scan(0, false);
  ASSERT_TRUE(notLast.found);
  EXPECT_EQ(notLast.ofs, 300u);
}

TEST_F(ScanTest, BankOtherThanTheLastRestartsOnceAtTheFirstBodyOffset) {
  Build({Bytes(100, 0xAA), body, Bytes(400, 0xAA)});
  search.firstBodyOfs = 50;
  EXPECT_FALSE(Scan(250, true).found);  // the last bank never restarts
  const BodyHit hit = Scan(250, false);
  ASSERT_TRUE(hit.found);
  EXPECT_EQ(hit.ofs, 100u);
}

TEST_F(ScanTest, RestartIsNotRepeated) {
  Build({Bytes(600, 0xAA)});
  EXPECT_FALSE(Scan(0, false).found);
  search.firstBodyOfs = 700;  // beyond the last start: nothing fits there
  EXPECT_FALSE(Scan(0, false).found);
}

TEST_F(ScanTest, RangeReachingPastTheLastStartEndsThePassLikeTheLastStart) {
  Build({Bytes(100, 0xAA), body, Bytes(400, 0xAA), body});
  // An item covers the end of the input, the second body included.
  search.ranges.starts = {500};
  search.ranges.ends = {1000};
  search.firstBodyOfs = 0;
  EXPECT_FALSE(Scan(300, true).found);
  search.cursor = 0;
  const BodyHit hit = Scan(300, false);
  ASSERT_TRUE(hit.found);
  EXPECT_EQ(hit.ofs, 100u);
  search.cursor = 0;
  search.firstBodyOfs = 200;  // the restart finds nothing: given up, no endless loop
  EXPECT_FALSE(Scan(300, false).found);
}

// ---- Where the next search starts ---------------------------------------------

TEST(NextSearchStart, FollowsTheSearchPattern) {
  DataOfs t;
  t.vhNum = 3;
  t.vhOfs = {1000, 5000, 9000};
  t.vhSize = {100, 200, 300};
  EXPECT_EQ(NextSearchStart(1, t, 0, 3000, 500, 7), 3500u);    // /p2: behind the body
  EXPECT_EQ(NextSearchStart(1, t, 2, 3000, 500, 7), 3500u);
  EXPECT_EQ(NextSearchStart(0, t, 0, 2000, 500, 7), 5199u);    // body behind its header
  EXPECT_EQ(NextSearchStart(0, t, 0, 500, 500, 7), 1099u);     // body before its header
  EXPECT_EQ(NextSearchStart(0, t, 0, 1000, 500, 7), 7u);       // at its header: unchanged
  EXPECT_EQ(NextSearchStart(0, t, 2, 20000, 500, 7), 7u);      // last bank: unchanged
}

// ---- The body writer ------------------------------------------------------------

class VabBodyTest : public BankFixture {
 protected:
  VhHeaderTable vhHeader;
  VagSizeTable vagSizeTbl;
  std::string out;

  // Writes the headers at `ofs` and then searches their bodies.
  std::uint32_t Run(DataOfs& table) {
    vhHeader.assign(std::size_t{table.vhNum} * kVhHeaderBytes, 0);
    vagSizeTbl.assign(std::size_t{table.vhNum} * kVagTableEntries, 0);
    std::uint32_t result = 0;
    out = CaptureStdout([&] {
      if (CreateVh(Context(), table, vhHeader, vagSizeTbl)) {
        result = CreateVbForVh(Context(), table, vhHeader, vagSizeTbl);
      }
    });
    return result;
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
  DataOfs table = BankTable(".vh", {h});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_NE(out.find("This file doesn't exist vb data\n"), std::string::npos);
  EXPECT_FALSE(Exists("_VagOfs.txt"));
  EXPECT_FALSE(Exists(".vb"));
}

TEST_F(VabBodyTest, BodySizesAreSummedWithoutWrapping) {
  // Two banks each claiming a 2 GiB body: a 32-bit sum would wrap to 0.
  Bytes header = MakeVabHeader(0, {48}, 1);
  header[12] = header[13] = header[14] = 0;
  header[15] = 0x80;
  const std::uint32_t h0 = Append(header);
  const std::uint32_t h1 = Append(header);
  DataOfs table = BankTable(".vh", {h0, h1});
  // Header sizes are subtracted: give each total the header size on top.
  header[12] = static_cast<std::uint8_t>(2592 & 0xFF);
  header[13] = static_cast<std::uint8_t>(2592 >> 8);
  std::copy(header.begin() + 12, header.begin() + 16, image.begin() + h0 + 12);
  std::copy(header.begin() + 12, header.begin() + 16, image.begin() + h1 + 12);
  EXPECT_EQ(Run(table), 1u);
  EXPECT_NE(out.find("This file doesn't exist vb data\n"), std::string::npos);
}

TEST_F(VabBodyTest, SizeMismatchesAreLoggedAsInvalidVagSize) {
  Bytes noSamples = MakeVabHeader(0, {}, 1);
  const std::uint32_t h0 = Append(noSamples);
  Bytes wrongTotal = MakeVabHeader(0, {48}, 2);
  wrongTotal[12] += 16;
  const std::uint32_t h1 = Append(wrongTotal);
  AppendFill(64);
  DataOfs table = BankTable(".vh", {h0, h1});
  EXPECT_EQ(Run(table), 1u);
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
  DataOfs table = BankTable(".vh", {h0, h1});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(VagLog().find("VbIdx: 1"), std::string::npos);
  EXPECT_EQ(Written("_2.vb"), Slice(b, 64));
  EXPECT_FALSE(Exists("_1.vb"));
}

TEST_F(VabBodyTest, BodyWithoutLeadingZeroBlockNeedsTheNoZeroCheckOption) {
  const std::uint32_t h = Append(MakeVabHeader(0, {48, 64}, 1));
  AppendFill(40);
  const std::uint32_t b = Append(MakeAdpcmBody({48, 64}, 2, false));
  AppendFill(40);
  DataOfs table = BankTable(".vh", {h});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_FALSE(Exists(".vb"));
  options.vbHeadZeroCheck = 0;
  table = BankTable(".vh", {h});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written(".vb"), Slice(b, 112));
}

// Headers H0 H1 first, then a copy of bank 1's body, bank 0's body and bank
// 1's own body: /p2 looks for bank 1 behind bank 0's body, /p1 from the end
// of header 1 and so finds the copy first.
class SearchPatternTest : public VabBodyTest {
 protected:
  std::uint32_t copy = 0, body0 = 0, body1 = 0;
  DataOfs Layout() {
    const std::uint32_t h0 = Append(MakeVabHeader(0, {48, 64}, 1));
    const std::uint32_t h1 = Append(MakeVabHeader(0, {96}, 2));
    AppendFill(50);
    copy = Append(MakeAdpcmBody({96}, 3));
    AppendFill(50);
    body0 = Append(MakeAdpcmBody({48, 64}, 4));
    AppendFill(50);
    body1 = Append(MakeAdpcmBody({96}, 5));
    AppendFill(50);
    return BankTable(".vh", {h0, h1});
  }
};

TEST_F(SearchPatternTest, P1SearchesFromTheEndOfTheNextHeader) {
  DataOfs table = Layout();
  options.vbSearchPattern = 0;
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written("_1.vb"), Slice(body0, 112));
  const std::string rows = BodyRows();
  EXPECT_NE(rows.find(".vb,2,     " + std::to_string(copy)), std::string::npos) << rows;
  EXPECT_EQ(Written("_2.vb"), Slice(copy, 96));
}

TEST_F(SearchPatternTest, P2SearchesRightBehindThePreviousBody) {
  DataOfs table = Layout();
  options.vbSearchPattern = 1;
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written("_2.vb"), Slice(body1, 96));
  const std::string rows = BodyRows();
  EXPECT_NE(rows.find(".vb,2,     " + std::to_string(body1)), std::string::npos) << rows;
}

TEST_F(VabBodyTest, P1BodyBeforeItsHeaderSearchesOnFromThatHeader) {
  // B0 H0 D1 H1 B1: bank 0's body stands before its header, so bank 1 is
  // looked for from the end of header 0 and D1 (a copy) is found.
  const std::uint32_t b0 = Append(MakeAdpcmBody({48, 64}, 4));
  AppendFill(40);
  const std::uint32_t h0 = Append(MakeVabHeader(0, {48, 64}, 1));
  AppendFill(40);
  const std::uint32_t d1 = Append(MakeAdpcmBody({96}, 3));
  AppendFill(40);
  const std::uint32_t h1 = Append(MakeVabHeader(0, {96}, 2));
  Append(MakeAdpcmBody({96}, 5));
  AppendFill(40);
  DataOfs table = BankTable(".vh", {h0, h1});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written("_1.vb"), Slice(b0, 112));
  EXPECT_EQ(Written("_2.vb"), Slice(d1, 96));
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

TEST_F(VabBodyTest, RestartFindsABodyBetweenTheFirstBodyAndTheSearchStart) {
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
  DataOfs table = BankTable(".vh", {h0, h1, h2});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_EQ(Written("_1.vb"), Slice(b0, 112));
  EXPECT_EQ(Written("_2.vb"), Slice(b1, 96));
  EXPECT_EQ(Written("_3.vb"), Slice(b2, 64));
}

TEST_F(VabBodyTest, LastBankDoesNotRestart) {
  const std::uint32_t h0 = Append(MakeVabHeader(0, {48, 64}, 1));
  Append(MakeAdpcmBody({48, 64}, 4));
  AppendFill(40);
  Append(MakeAdpcmBody({96}, 5));
  AppendFill(40);
  const std::uint32_t h1 = Append(MakeVabHeader(0, {96}, 2));
  AppendFill(400);  // bank 1's search starts at the end of H1, before its last start
  DataOfs table = BankTable(".vh", {h0, h1});
  EXPECT_EQ(Run(table), 1u);
  EXPECT_TRUE(Exists("_1.vb"));
  EXPECT_FALSE(Exists("_2.vb"));
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{1, 0}));
}

TEST_F(VabBodyTest, BodyFileThatCannotBeOpenedStopsTheSearch) {
  const std::uint32_t h0 = Append(MakeVabHeader(0, {48}, 1));
  const std::uint32_t h1 = Append(MakeVabHeader(0, {64}, 2));
  Append(MakeAdpcmBody({48}, 3));
  Append(MakeAdpcmBody({64}, 4));
  DataOfs table = BankTable(".vh", {h0, h1});
  testing::fs::create_directory(OutName("_1.vb"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Run(table), 0u);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("[F:CreateVbForVh][L:", 0), 0u) << err;
  EXPECT_EQ(BodyRows().substr(0, 6), ".vb,1,");  // the row stays
  EXPECT_EQ(BodyRows().find(".vb,2,"), std::string::npos);
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{0, 0}));
}

TEST_F(VabBodyTest, LogThatCannotBeOpenedFailsTheSearch) {
  const std::uint32_t h = Append(MakeVabHeader(0, {48}, 1));
  Append(MakeAdpcmBody({48}, 3));
  DataOfs table = BankTable(".vh", {h});
  testing::fs::create_directory(OutName("_VagOfs.txt"));
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Run(table), 0u);
  EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind("[F:CreateVbForVh][L:", 0), 0u);
  EXPECT_FALSE(Exists(".vb"));
}

}  // namespace
}  // namespace psxdig
