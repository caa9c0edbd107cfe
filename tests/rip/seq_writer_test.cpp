#include <gtest/gtest.h>

#include "image_builder.h"
#include "rip/rip_context.h"
#include "test_util.h"

namespace psxdig {
namespace {

using Buf = std::vector<std::uint8_t>;
using tools::MakeSeq;

using testing::Put;

// Runs CreateSeq on items at the given offsets of `input`, in a scratch folder.
class SeqWriter : public ::testing::Test {
 protected:
  std::uint32_t Write(const std::vector<std::uint32_t>& offsets, const std::string& ext = ".seq") {
    table = testing::SeqTable(ext, offsets);
    RipContext ctx{path, ByteSpan(input), listing.get(), ErrorLog(log.get()), RunOptions{}};
    std::uint32_t r = 0;
    const testing::Captured c = testing::Capture([&] { r = CreateSeq(ctx, table); });
    out = c.out;
    err = c.err;
    return r;
  }
  testing::TempDir dir;
  std::string path = dir.File("game.bin");
  Buf input;
  DataOfs table;
  testing::ScratchFile listing, log;
  std::string out, err;
};

TEST_F(SeqWriter, CompressedItemsAreLoggedAndLeaveGapsInTheNumbering) {
  std::vector<std::uint32_t> offsets;
  for (int k = 0; k < 12; ++k) {
    offsets.push_back(static_cast<std::uint32_t>(input.size()));
    Buf item = MakeSeq(10, 30 + k);
    if (k == 2) item[5] = 0x01;  // compressed items: not written
    if (k == 11) item[4] = 0xEB;
    Put(input, input.size(), item);
  }
  input.resize(input.size() + 2, 0x11);
  Write(offsets);
  EXPECT_TRUE(std::filesystem::exists(path + "_01.seq"));
  EXPECT_TRUE(std::filesystem::exists(path + "_02.seq"));
  EXPECT_FALSE(std::filesystem::exists(path + "_03.seq"));
  EXPECT_TRUE(std::filesystem::exists(path + "_11.seq"));
  EXPECT_FALSE(std::filesystem::exists(path + "_12.seq"));
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
