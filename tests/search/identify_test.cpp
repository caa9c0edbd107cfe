// Extract recognition: everything rip recognises, the same way, plus two
// wider forms that rip and dec never see.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/options.h"
#include "image_banks.h"
#include "image_builder.h"
#include "image_gameseq.h"
#include "search/data_ofs.h"

namespace psxdig {
namespace {

using Buf = std::vector<std::uint8_t>;

std::string Ext(const Buf& b, std::uint32_t off, std::uint32_t mode) {
  return IdentifyData(ByteSpan(b), off, mode).ext;
}

TEST(Identify, ExtractGivesWhatRipGivesAtEveryOffsetOfTheGeneratedImages) {
  std::vector<Buf> images = {tools::BuildDemoImage()};
  for (const char* name : {"sssq", "kcet", "sntp", "seqg", "seqq", "sqv", "sseq", "mix"}) {
    images.push_back(tools::BuildGameSeqImage(name));
  }
  for (const char* kind : {"vab", "vh2", "sshd", "inst"}) images.push_back(tools::BuildBankImage(kind));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const Buf& b = images[i];
    std::size_t items = 0, differ = 0;
    for (std::uint32_t off = 0; off < b.size(); ++off) {
      const Identified rip = IdentifyData(ByteSpan(b), off, kRunRip);
      const Identified extract = IdentifyData(ByteSpan(b), off, kRunExtract);
      items += rip.cls != FormatClass::kNone;
      differ += rip.cls != extract.cls || std::string(rip.ext) != extract.ext;
    }
    EXPECT_GT(items, 0u) << "image " << i;
    EXPECT_EQ(differ, 0u) << "image " << i;
  }
}

// Extract widens the rip set by two forms.
TEST(Identify, ExtractRecognisesReversedMagicAndVersion5Vab) {
  using namespace std::string_literals;
  auto withAt = [](std::size_t size, const std::string& bytes) {
    Buf b(size, 0x11);
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
  };
  auto vab = [&](std::uint8_t version, std::uint8_t b40) {
    Buf b = withAt(64, "pBAV");
    b[4] = version;
    b[5] = b[6] = b[7] = 0;
    b[34] = b[35] = 0;
    b[40] = b[41] = b40;
    return b;
  };
  const struct {
    Buf bytes;
    const char *rip, *extract, *recognised;
  } cases[] = {
      {withAt(16, "SEQp\0\0\0\1"s), "", ".seq", "reversed magic"},
      {withAt(16, "SEQp\0\0\0\0"s), "", ".sep", "reversed magic"},
      {withAt(16, "SEQp\0\0\0\2"s), "", "", "reversed magic"},
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
