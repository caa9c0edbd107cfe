#include <gtest/gtest.h>

#include "image_builder.h"
#include "rip/rip_context.h"
#include "test_util.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;

TEST(SeqWriter, CompressedItemsAreLoggedAndLeaveGapsInTheNumbering) {
  testing::TempDir dir;
  const std::string path = dir.File("game.bin");
  testing::Bytes input;
  std::vector<std::uint32_t> offsets;
  for (int k = 0; k < 12; ++k) {
    offsets.push_back(static_cast<std::uint32_t>(input.size()));
    testing::Bytes item = tools::MakeSeq(10, 30 + k);
    if (k == 2) item[5] = 0x01;  // compressed items: not written
    if (k == 11) item[4] = 0xEB;
    testing::Put(input, input.size(), item);
  }
  input.resize(input.size() + 2, 0x11);
  DataOfs table = testing::SeqTable(".seq", offsets);
  testing::ScratchFile listing, log;
  const RipContext ctx{path, ByteSpan(input), listing.get(), ErrorLog(log.get()), RunOptions{}};
  const std::string out = testing::Capture([&] { CreateSeq(ctx, table); }).out;
  EXPECT_TRUE(fs::exists(path + "_01.seq"));
  EXPECT_TRUE(fs::exists(path + "_02.seq"));
  EXPECT_FALSE(fs::exists(path + "_03.seq"));
  EXPECT_TRUE(fs::exists(path + "_11.seq"));
  EXPECT_FALSE(fs::exists(path + "_12.seq"));
  EXPECT_EQ(log.Text(),
            "Not split for compress or non seq[3]. ofs: 3a\r\n"
            "Not split for compress or non seq[12]. ofs: 13f\r\n");
  EXPECT_EQ(table.seqSize[2], 4u);
  EXPECT_EQ(table.seqCreated[2], 0u);
  EXPECT_NE(listing.Text().find(".seq,04,"), std::string::npos);
  EXPECT_EQ(listing.Text().find(".seq,03,"), std::string::npos);
  EXPECT_NE(out.find("\rCreate .seq   11/  12\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace psxdig
