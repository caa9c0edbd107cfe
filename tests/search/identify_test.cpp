#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"
#include "search/data_ofs.h"

namespace psxdig {
namespace {

using Buf = std::vector<std::uint8_t>;

Buf WithAt(std::size_t size, std::size_t at, const Buf& bytes) {
  Buf b(size, 0x11);
  std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
  return b;
}

std::string Ext(const Buf& b, std::uint32_t off, std::uint32_t mode) {
  return IdentifyData(ByteSpan(b), off, mode).ext;
}

class IdentifyBothModes : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(IdentifyBothModes, PqesByteSevenChoosesSeqOrSep) {
  const std::uint32_t mode = GetParam();
  EXPECT_EQ(Ext(WithAt(16, 0, {'p', 'Q', 'E', 'S', 0, 0, 0, 1}), 0, mode), ".seq");
  EXPECT_EQ(Ext(WithAt(16, 0, {'p', 'Q', 'E', 'S', 0, 0, 0, 0}), 0, mode), ".sep");
  EXPECT_EQ(Ext(WithAt(16, 0, {'p', 'Q', 'E', 'S', 0, 0, 0, 2}), 0, mode), "");
  // Byte 7 must lie inside the buffer.
  EXPECT_EQ(Ext(Buf{'p', 'Q', 'E', 'S', 0, 0, 0}, 0, mode), "");
  EXPECT_EQ(Ext(Buf{'p', 'Q', 'E', 'S', 0, 0, 0, 1}, 0, mode), ".seq");
}

TEST_P(IdentifyBothModes, SssqInBothModes) {
  const auto id = IdentifyData(ByteSpan(WithAt(8, 0, {'S', 'S', 's', 'q'})), 0, GetParam());
  EXPECT_EQ(std::string(id.ext), ".sssq");
  EXPECT_EQ(id.cls, FormatClass::kSequence);
}

INSTANTIATE_TEST_SUITE_P(RipAndDec, IdentifyBothModes, ::testing::Values(kRunRip, kRunDec));

TEST(IdentifyDec, CompressedPqesAndPackedSssqOnlyInDecMode) {
  const Buf lzssA = WithAt(16, 0, {'p', 'Q', 'E', 'S', 0xEB, 0xF0, 0x01, 0xFF});
  const Buf lzssB = WithAt(16, 0, {'p', 'Q', 'E', 'S', 0x0A, 0x01, 0x00, 0x30});
  const Buf packed = WithAt(16, 0, {0x53, 0x53, 0x7F, 0x73, 0x71, 0x00, 0x00});
  EXPECT_EQ(Ext(lzssA, 0, kRunDec), ".seq");
  EXPECT_EQ(Ext(lzssB, 0, kRunDec), ".seq");
  EXPECT_EQ(Ext(packed, 0, kRunDec), ".sssq");
  EXPECT_EQ(Ext(lzssA, 0, kRunRip), "");
  EXPECT_EQ(Ext(lzssB, 0, kRunRip), "");
  EXPECT_EQ(Ext(packed, 0, kRunRip), "");
}

TEST(IdentifyDec, NoRipOnlyFormatsAndNoBankHeaders) {
  Buf vab = WithAt(64, 0, {'p', 'B', 'A', 'V'});
  vab[40] = vab[41] = 0xFF;
  EXPECT_EQ(Ext(vab, 0, kRunDec), "");
  EXPECT_EQ(Ext(WithAt(64, 12, {'S', 'S', 'h', 'd'}), 12, kRunDec), "");
  EXPECT_EQ(Ext(WithAt(64, 0, {'I', 'N', 'S', 'T', 0, 0, 0, 0}), 0, kRunDec), "");
  EXPECT_EQ(Ext(WithAt(64, 0, {'q', 'Q', 'E', 'S'}), 0, kRunDec), "");
}

TEST(IdentifyRip, KcetNeedsItsWhole40ByteHeader) {
  Buf kcet(40, 0);
  std::copy_n("KCET", 4, kcet.begin());
  std::copy_n("TSDB", 4, kcet.begin() + 8);
  std::copy_n("KDT2", 4, kcet.begin() + 20);
  std::copy_n("KDT1", 4, kcet.begin() + 36);
  EXPECT_EQ(Ext(kcet, 0, kRunRip), ".kcet");
  Buf shorter(kcet.begin(), kcet.end() - 1);
  EXPECT_EQ(Ext(shorter, 0, kRunRip), "");
  kcet[22] = 'X';
  EXPECT_EQ(Ext(kcet, 0, kRunRip), "");
}

TEST(IdentifyRip, SntpNeedsItsTwelveBytePrefix) {
  Buf b = WithAt(32, 12, {'S', 'N', 'T', 'p'});
  b[0] = 0x02;
  b[1] = b[2] = b[3] = 0;
  EXPECT_EQ(Ext(b, 12, kRunRip), ".sntp");
  const Buf at11 = WithAt(32, 11, {'S', 'N', 'T', 'p'});
  EXPECT_EQ(Ext(at11, 11, kRunRip), "");
  b[1] = 1;
  EXPECT_EQ(Ext(b, 12, kRunRip), "");
}

TEST(IdentifyRip, SeqgSseqSeqqSqvInst) {
  EXPECT_EQ(Ext(WithAt(16, 0, {'S', 'E', 'Q', 'G', 0, 0, 0, 0}), 0, kRunRip), ".seqg");
  EXPECT_EQ(Ext(WithAt(16, 0, {'S', 'E', 'Q', 'G', 0, 0, 1, 0}), 0, kRunRip), "");
  EXPECT_EQ(Ext(WithAt(16, 0, {'S', 'S', 'E', 'Q', 0x28, 0, 0, 0}), 0, kRunRip), ".sseq");
  EXPECT_EQ(Ext(WithAt(16, 0, {'S', 'S', 'E', 'Q', 0x29, 0, 0, 0}), 0, kRunRip), "");
  EXPECT_EQ(Ext(WithAt(16, 0, {'q', 'Q', 'E', 'S'}), 0, kRunRip), ".seqq");
  EXPECT_EQ(Ext(WithAt(16, 0, {'.', 's', 'q', 'v'}), 0, kRunRip), ".sqv");
  const auto inst = IdentifyData(ByteSpan(WithAt(16, 0, {'I', 'N', 'S', 'T', 0, 0, 0, 0})), 0, kRunRip);
  EXPECT_EQ(std::string(inst.ext), ".inst");
  EXPECT_EQ(inst.cls, FormatClass::kBankHeader);
  EXPECT_EQ(Ext(WithAt(16, 0, {'I', 'N', 'S', 'T', 0, 0, 0, 9}), 0, kRunRip), "");
}

TEST(IdentifyRip, PbavFirstProgramEntryChoosesVhOrVh2) {
  Buf b = WithAt(64, 0, {'p', 'B', 'A', 'V'});
  b[40] = b[41] = 0xFF;
  b[34] = 1;
  EXPECT_EQ(Ext(b, 0, kRunRip), ".vh");  // whatever bytes 34..35 hold
  b[40] = 0x00;
  b[34] = b[35] = 0;
  EXPECT_EQ(Ext(b, 0, kRunRip), ".vh2");
  b[34] = 1;
  EXPECT_EQ(Ext(b, 0, kRunRip), "");
  // Both tests read bytes 40..41: a shorter "pBAV" is nothing.
  Buf shortVab = WithAt(41, 0, {'p', 'B', 'A', 'V'});
  shortVab[34] = shortVab[35] = 0;
  EXPECT_EQ(Ext(shortVab, 0, kRunRip), "");
}

TEST(IdentifyRip, SshdNeedsFourZeroBytesBeforeIt) {
  Buf b = WithAt(32, 12, {'S', 'S', 'h', 'd'});
  b[8] = b[9] = b[10] = b[11] = 0;
  EXPECT_EQ(Ext(b, 12, kRunRip), ".sshd");
  b[11] = 1;
  EXPECT_EQ(Ext(b, 12, kRunRip), "");
  Buf early = WithAt(32, 8, {'S', 'S', 'h', 'd'});
  early[4] = early[5] = early[6] = early[7] = 0;
  EXPECT_EQ(Ext(early, 8, kRunRip), "");
}

TEST(IdentifyRip, SignaturesCutByTheEndAreNothing) {
  EXPECT_EQ(Ext(Buf{'S', 'S', 's'}, 0, kRunRip), "");
  EXPECT_EQ(Ext(Buf{'S', 'S', 's', 'q'}, 0, kRunRip), ".sssq");
  EXPECT_EQ(Ext(Buf{'S', 'S', 's', 'q'}, 4, kRunRip), "");
  EXPECT_EQ(Ext(Buf{'S', 'E', 'Q', 'G', 0, 0, 0}, 0, kRunRip), "");
}

}  // namespace
}  // namespace psxdig
