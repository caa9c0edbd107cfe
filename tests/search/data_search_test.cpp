// The data search: which signatures it records, where it skips, and what it
// logs.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/options.h"
#include "core/output.h"
#include "image_builder.h"
#include "search/data_ofs.h"
#include "test_util.h"

namespace psxdig {
namespace {

using Buf = std::vector<std::uint8_t>;
using tools::MakeSeq;
using tools::MakeSep;

using testing::Put;

// A VAB header with P programs and V VAGs whose size table is clean.
Buf MakeVabHeader(std::uint16_t programs, std::uint16_t vags) {
  Buf h(2592 + 512u * programs, 0);
  std::copy_n("pBAV", 4, h.begin());
  h[18] = static_cast<std::uint8_t>(programs);
  h[19] = static_cast<std::uint8_t>(programs >> 8);
  h[22] = static_cast<std::uint8_t>(vags);
  h[40] = h[41] = 0xFF;
  return h;
}

// Each search starts with a fresh table and error log.
class DataSearch : public ::testing::Test {
 protected:
  std::uint32_t Search(const Buf& input, std::uint32_t start = 0, std::uint32_t capacity = 100,
                       std::uint32_t validate = 1, std::uint32_t mode = kRunRip) {
    table = DataOfs{};
    log = std::make_unique<testing::ScratchFile>();
    std::uint32_t r = 0;
    out = testing::Capture([&] {
            r = GetDataOfs(ByteSpan(input), start, capacity, validate, table, mode, ErrorLog(log->get()));
          }).out;
    return r;
  }
  std::string Log() const { return log->Text(); }
  DataOfs table;
  std::unique_ptr<testing::ScratchFile> log;
  std::string out;
};

constexpr const char* kFull = "Reached to max. Seq and|or Vh exists more over\r\n";

TEST_F(DataSearch, StartAtOrPastTheEndFindsNothingAndAHugeCapacityAllocatesNothing) {
  const Buf input = MakeSeq(10, 1);
  EXPECT_EQ(Search(input, static_cast<std::uint32_t>(input.size())), 1u);
  EXPECT_EQ(out, "\n");
  EXPECT_EQ(table.seqNum + table.vhNum, 0u);
  EXPECT_TRUE(table.seqOfs.empty());
  EXPECT_TRUE(table.vhCreated.empty());
  EXPECT_EQ(table.seqExt, "");
  EXPECT_EQ(table.vhExt, "");
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(Search(MakeSeq(10, 1), 0, 0xFFFFFFFFu), 1u);
  EXPECT_EQ(table.seqNum, 1u);
}

TEST_F(DataSearch, FullListIsReportedWhenOneMoreOffsetRemains) {
  EXPECT_EQ(Search(MakeSeq(10, 1), 0, 0), 1u);  // capacity zero: full at once
  EXPECT_EQ(table.seqNum, 0u);
  EXPECT_EQ(Log(), kFull);
  Buf input = MakeSeq(10, 1);
  input.push_back(0x22);  // one more byte to examine, no signature in it
  Search(input, 0, 1);
  EXPECT_EQ(table.seqNum, 1u);
  EXPECT_EQ(Log(), kFull);
  // The scan resumes 19 bytes on, still inside this 29-byte item: one more offset remains.
  Search(MakeSeq(10, 1), 0, 1);
  EXPECT_EQ(Log(), kFull);
  Search(MakeSeq(0, 1), 0, 1);  // 19 bytes: the scan resumes at the end
  EXPECT_EQ(table.seqNum, 1u);
  EXPECT_EQ(Log(), "");
}

TEST_F(DataSearch, ClassExtensionIsThatOfTheFirstItemAndOffsetsAscend) {
  Buf input(6000, 0x11);
  Put(input, 100, MakeSep(1, 10, 2));
  Put(input, 5000, MakeSeq(10, 3));
  EXPECT_EQ(Search(input), 1u);
  ASSERT_EQ(table.seqNum, 2u);
  EXPECT_EQ(table.seqOfs, (std::vector<std::uint32_t>{100, 5000}));
  EXPECT_EQ(table.seqExt, ".sep");
  EXPECT_EQ(table.seqSize, (std::vector<std::uint32_t>{0, 0}));
  EXPECT_EQ(table.seqCreated, (std::vector<std::uint32_t>{0, 0}));
  EXPECT_EQ(out, "\rSearchFile        123/      6000\rSearchFile       5019/      6000\n");
}

TEST_F(DataSearch, SeqEndMarkerIsLookedForUpTo65521) {
  Buf far(70000, 0x11);
  Put(far, 0, MakeSeq(0, 1));
  far[15] = 0x11;  // remove the early marker
  Put(far, 65521, {0x00, 0xFF, 0x2F, 0x00});
  Search(far);
  EXPECT_EQ(table.seqNum, 1u);
  // No marker at all but data beyond 65525 bytes: accepted unseen.
  Buf none(70000, 0x11);
  Put(none, 0, {'p', 'Q', 'E', 'S', 0, 0, 0, 1});
  Search(none);
  EXPECT_EQ(table.seqNum, 1u);
  // No marker before the end of a shorter input: rejected.
  Buf input(5000, 0x11);
  Put(input, 4000, {'p', 'Q', 'E', 'S', 0, 0, 0, 1});
  Search(input);
  EXPECT_EQ(table.seqNum, 0u);
  EXPECT_EQ(Log(), "Invalid seq. (EOF doesn't exist) ofs: 4000, 0xfa0\r\n");
}

TEST_F(DataSearch, InnerSequenceRejectsTheOuterAndIsExaminedNext) {
  Buf input(200, 0x11);
  Put(input, 0, {'p', 'Q', 'E', 'S', 0, 0, 0, 1});
  Put(input, 40, MakeSeq(20, 4));
  Search(input);
  EXPECT_EQ(table.seqOfs, (std::vector<std::uint32_t>{40}));
  EXPECT_EQ(Log(), "Invalid seq. (EOF doesn't exist) ofs: 0, 0\r\n");
}

TEST_F(DataSearch, SecondSequenceCloseBehindAnAcceptedOne) {
  // 14 bytes behind: never a candidate of its own (the scan resumes at +19).
  Buf near(200, 0x11);
  Put(near, 0, MakeSeq(0, 1));
  Put(near, 14, MakeSeq(20, 2));
  Search(near);
  EXPECT_EQ(table.seqOfs, (std::vector<std::uint32_t>{0}));
  // 15 bytes behind: the outer one meets "pQES" first and is rejected.
  Buf at15(200, 0x11);
  Put(at15, 0, {'p', 'Q', 'E', 'S', 0, 0, 0, 1});
  Put(at15, 15, MakeSeq(20, 2));
  Search(at15);
  EXPECT_EQ(table.seqOfs, (std::vector<std::uint32_t>{15}));
}

TEST_F(DataSearch, VabHeaderIsSkippedWhole) {
  Buf input(8000, 0x11);
  Put(input, 100, MakeVabHeader(0, 3));
  Put(input, 100 + 1000, {'p', 'Q', 'E', 'S', 0, 0, 0, 1});  // inside the header: never seen
  Put(input, 100 + 2592, MakeSeq(5, 1));
  Search(input);
  EXPECT_EQ(table.vhOfs, (std::vector<std::uint32_t>{100}));
  EXPECT_EQ(table.seqOfs, (std::vector<std::uint32_t>{2692}));
  EXPECT_EQ(table.vhExt, ".vh");
  EXPECT_EQ(table.vbCreated.size(), 1u);
  EXPECT_NE(out.find("\rSearchFile       2692/      8000"), std::string::npos);
}

TEST_F(DataSearch, VabHeaderChecks) {
  Buf over = MakeVabHeader(1, 2);
  over.pop_back();
  Search(over);
  EXPECT_EQ(table.vhNum, 0u);
  EXPECT_EQ(Log(), "Invalid vh. ofs: 0, 0, File size is over\r\n");

  Buf entry0(3000, 0x11);
  Put(entry0, 10, MakeVabHeader(0, 2));
  entry0[10 + 2080] = 0x34;
  entry0[10 + 2081] = 0x12;
  Search(entry0);
  EXPECT_EQ(Log(), "Invalid vh. ofs: 10, 0xa, VagSizeTbl[0]: 1234\r\n");

  // Entries 1..V may hold sizes; entry V+1 may not; entry 255 is never tested.
  Buf tail = MakeVabHeader(0, 2);
  tail[2080 + 2 * 1] = 5;
  tail[2080 + 2 * 2] = 6;
  tail[2080 + 2 * 255] = 7;
  Search(tail);
  EXPECT_EQ(table.vhNum, 1u);
  tail[2080 + 2 * 3] = 0x0F;
  Search(tail);
  EXPECT_EQ(table.vhNum, 0u);
  EXPECT_EQ(Log(), "Invalid vh. ofs: 0, 0, VagSizeTbl[3]: 000f\r\n");
}

TEST_F(DataSearch, SshdSkipsItsHeaderAndMovesOnWhenTheSizeWouldNot) {
  Buf input(400, 0x11);
  Put(input, 0, {100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'S', 'h', 'd'});
  Put(input, 50, {0, 0, 0, 0, 'S', 'S', 'h', 'd'});  // inside the first header: skipped
  // A header of size 0: the scan must not come back to it.
  Put(input, 200, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'S', 'S', 'h', 'd'});
  Search(input);
  EXPECT_EQ(table.vhOfs, (std::vector<std::uint32_t>{12, 212}));
  EXPECT_EQ(Log(), "");
}

TEST_F(DataSearch, WithoutValidationEverySignatureCounts) {
  Buf input(100, 0x11);
  Put(input, 0, {'p', 'Q', 'E', 'S', 0xEB, 0xF0, 0x01, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1});
  Put(input, 20, {'S', 'S', 0x7F, 's', 'q', 0, 0});
  Search(input, 0, 2048, 0, kRunDec);
  EXPECT_EQ(table.seqOfs, (std::vector<std::uint32_t>{0, 8, 20}));
  EXPECT_EQ(table.seqExt, ".seq");
  EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace psxdig
