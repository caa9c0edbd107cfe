// Extract recognises everything rip recognises, the same way. (The two wider
// forms only extract sees are planted in extract_e2e_test.)
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

}  // namespace
}  // namespace psxdig
