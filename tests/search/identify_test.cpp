// The recognition table: which signature gives which extension, in rip and
// dec mode, and only from bytes inside the buffer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/options.h"
#include "search/data_ofs.h"

namespace psxdig {
namespace {

using Buf = std::vector<std::uint8_t>;

// `size` bytes of 0x11 with `bytes` at `at`, and `zeros` zero bytes before them.
Buf WithAt(std::size_t size, std::size_t at, const std::string& bytes, std::size_t zeros = 0) {
  Buf b(size, 0x11);
  std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
  std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(at - zeros), zeros, 0);
  return b;
}

std::string Ext(const Buf& b, std::uint32_t off, std::uint32_t mode) {
  return IdentifyData(ByteSpan(b), off, mode).ext;
}

Buf Vab(std::size_t size, std::uint8_t b34, std::uint8_t b40) {
  Buf b = WithAt(size, 0, "pBAV");
  b[34] = b34;
  b[35] = 0;
  b[40] = b40;
  if (size > 41) b[41] = 0xFF;
  return b;
}

TEST(Identify, RecognitionTable) {
  using namespace std::string_literals;
  Buf kcet(40, 0);
  for (auto [at, text] : {std::pair{0, "KCET"}, {8, "TSDB"}, {20, "KDT2"}, {36, "KDT1"}}) {
    std::copy_n(text, 4, kcet.begin() + at);
  }
  Buf badKcet = kcet;
  badKcet[22] = 'X';
  Buf sntp = WithAt(32, 12, "SNTp");
  sntp[0] = 2;
  sntp[1] = sntp[2] = sntp[3] = 0;
  Buf badSntp = sntp;
  badSntp[1] = 1;
  const struct {
    Buf bytes;
    std::uint32_t off;
    const char *rip, *dec;
  } cases[] = {
      {WithAt(16, 0, "pQES\0\0\0\1"s), 0, ".seq", ".seq"},
      {WithAt(16, 0, "pQES\0\0\0\0"s), 0, ".sep", ".sep"},
      {WithAt(16, 0, "pQES\0\0\0\2"s), 0, "", ""},
      {Buf{'p', 'Q', 'E', 'S', 0, 0, 0}, 0, "", ""},  // byte 7 must lie inside the buffer
      {Buf{'p', 'Q', 'E', 'S', 0, 0, 0, 1}, 0, ".seq", ".seq"},
      {WithAt(8, 0, "SSsq"), 0, ".sssq", ".sssq"},
      {Buf{'S', 'S', 's', 'q'}, 0, ".sssq", ".sssq"},
      {Buf{'S', 'S', 's'}, 0, "", ""},
      {Buf{'S', 'S', 's', 'q'}, 4, "", ""},
      // Compressed "pQES" and packed "SSsq" only in dec mode.
      {WithAt(16, 0, "pQES\xEB\xF0\x01\xFF"s), 0, "", ".seq"},
      {WithAt(16, 0, "pQES\x0A\x01\x00\x30"s), 0, "", ".seq"},
      {WithAt(16, 0, "SS\x7Fsq\0\0"s), 0, "", ".sssq"},
      // The rip-only formats.
      {kcet, 0, ".kcet", ""},
      {Buf(kcet.begin(), kcet.end() - 1), 0, "", ""},  // KCET needs its whole 40-byte header
      {badKcet, 0, "", ""},
      {sntp, 12, ".sntp", ""},
      {badSntp, 12, "", ""},
      {WithAt(32, 11, "SNTp"), 11, "", ""},  // SNTp needs its twelve-byte prefix
      {WithAt(16, 0, "SEQG\0\0\0\0"s), 0, ".seqg", ""},
      {WithAt(16, 0, "SEQG\0\0\1\0"s), 0, "", ""},
      {Buf{'S', 'E', 'Q', 'G', 0, 0, 0}, 0, "", ""},
      {WithAt(16, 0, "SSEQ\x28\0\0\0"s), 0, ".sseq", ""},
      {WithAt(16, 0, "SSEQ\x29\0\0\0"s), 0, "", ""},
      {WithAt(16, 0, "qQES"), 0, ".seqq", ""},
      {WithAt(16, 0, ".sqv"), 0, ".sqv", ""},
      {WithAt(16, 0, "INST\0\0\0\0"s), 0, ".inst", ""},
      {WithAt(16, 0, "INST\0\0\0\x09"s), 0, "", ""},
      // "pBAV": the first program entry chooses ".vh" or ".vh2".
      {Vab(64, 1, 0xFF), 0, ".vh", ""},
      {Vab(64, 0, 0x00), 0, ".vh2", ""},
      {Vab(64, 1, 0x00), 0, "", ""},
      {Vab(41, 0, 0x00), 0, "", ""},  // both tests read bytes 40..41
      // "SShd" needs four zero bytes before it and room for its prefix.
      {WithAt(32, 12, "SShd", 4), 12, ".sshd", ""},
      {WithAt(32, 12, "SShd", 3), 12, "", ""},
      {WithAt(32, 8, "SShd", 4), 8, "", ""},
  };
  for (const auto& c : cases) {
    const std::string at(c.bytes.begin() + std::min<std::size_t>(c.off, c.bytes.size()),
                         c.bytes.begin() + std::min<std::size_t>(c.off + 8, c.bytes.size()));
    EXPECT_EQ(Ext(c.bytes, c.off, kRunRip), c.rip) << at << " size " << c.bytes.size();
    EXPECT_EQ(Ext(c.bytes, c.off, kRunDec), c.dec) << at << " size " << c.bytes.size();
    EXPECT_EQ(Ext(c.bytes, c.off, kRunExtract), c.rip) << at << " size " << c.bytes.size();
  }
  EXPECT_EQ(IdentifyData(ByteSpan(WithAt(8, 0, "SSsq")), 0, kRunDec).cls, FormatClass::kSequence);
  EXPECT_EQ(IdentifyData(ByteSpan(WithAt(16, 0, "INST\0\0\0\0"s)), 0, kRunRip).cls, FormatClass::kBankHeader);
}

// Extract widens the rip set by two forms; rip never sees them.
TEST(Identify, ExtractRecognisesReversedMagicAndVersion5Vab) {
  using namespace std::string_literals;
  auto vab = [](std::uint8_t version, std::uint8_t b40) {
    Buf b = Vab(64, 0, b40);
    b[4] = version;
    b[5] = b[6] = b[7] = 0;
    b[41] = b40;
    return b;
  };
  const struct {
    Buf bytes;
    const char *rip, *extract, *recognised;
  } cases[] = {
      {WithAt(16, 0, "SEQp\0\0\0\1"s), "", ".seq", "reversed magic"},
      {WithAt(16, 0, "SEQp\0\0\0\0"s), "", ".sep", "reversed magic"},
      {WithAt(16, 0, "SEQp\0\0\0\2"s), "", "", "reversed magic"},
      {vab(5, 0x00), ".vh2", ".vh", "VAB version 5"},
      {vab(7, 0x00), ".vh2", ".vh2", "signature"},
      {vab(5, 0xFF), ".vh", ".vh", "signature"},
      {vab(5, 0x01), ".vh2", ".vh2", "signature"},
  };
  for (const auto& c : cases) {
    const std::string head(c.bytes.begin(), c.bytes.begin() + 8);
    EXPECT_EQ(Ext(c.bytes, 0, kRunRip), c.rip) << head;
    EXPECT_EQ(Ext(c.bytes, 0, kRunDec), "") << head;
    EXPECT_EQ(Ext(c.bytes, 0, kRunExtract), c.extract) << head;
    EXPECT_STREQ(RecognisedAs(ByteSpan(c.bytes), 0), c.recognised) << head;
  }
}

}  // namespace
}  // namespace psxdig
