#include <gtest/gtest.h>

#include "image_builder.h"
#include "rip/rip_context.h"
#include "test_util.h"

namespace psxdig {
namespace {

using Buf = std::vector<std::uint8_t>;
using tools::MakeSeq;
using tools::MakeSep;

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
  std::string LastRowEnd() const { return listing.Text().substr(listing.Text().size() - 5); }
  testing::TempDir dir;
  std::string path = dir.File("game.bin");
  Buf input;
  DataOfs table;
  testing::ScratchFile listing, log;
  std::string out, err;
};

TEST_F(SeqWriter, SeqIsPaddedToFourBytes) {
  input = MakeSeq(0, 1);  // marker at item offset 15: 19 bytes
  EXPECT_EQ(Write({0}), 1u);
  const Buf file = testing::ReadBytes(path + ".seq");
  ASSERT_EQ(file.size(), 20u);
  EXPECT_TRUE(std::equal(input.begin(), input.end(), file.begin()));
  EXPECT_EQ(file[19], 0);
  EXPECT_EQ(table.seqSize[0], 19u);
  EXPECT_EQ(table.seqCreated[0], 1u);
  EXPECT_EQ(listing.Text(), ".seq,1,        0-       18,       0-      12,    19,   13,\r\n");
  EXPECT_EQ(out, "\rCreate .seq    1/   1\n");
  input = MakeSeq(1, 1);  // 20 bytes: no padding
  Write({0});
  EXPECT_EQ(testing::ReadBytes(path + ".seq"), input);
}

TEST_F(SeqWriter, FirstMarkerIsFoundUpTo65521Only) {
  input.assign(70000, 0x11);
  Put(input, 0, {'p', 'Q', 'E', 'S', 0, 0, 0, 1});
  Put(input, 65521, {0x00, 0xFF, 0x2F, 0x00});
  Write({0});
  EXPECT_EQ(table.seqSize[0], 65525u);
  EXPECT_EQ(testing::ReadBytes(path + ".seq").size(), 65528u);

  input[65521] = 0x11;
  Put(input, 65522, {0x00, 0xFF, 0x2F, 0x00});
  std::filesystem::remove(path + ".seq");
  Write({0});
  EXPECT_EQ(table.seqCreated[0], 0u);
  EXPECT_FALSE(std::filesystem::exists(path + ".seq"));
  EXPECT_EQ(log.Text(), "Invalid seq. ofs: 0, 0\r\n");
}

TEST_F(SeqWriter, SepIsWrittenWholeWithItsSequenceCount) {
  input = MakeSep(3, 10, 5);
  input.push_back(0x77);  // not part of the item
  EXPECT_EQ(Write({0}, ".seq"), 1u);
  EXPECT_EQ(table.seqExt, ".sep");
  const std::uint32_t size = static_cast<std::uint32_t>(input.size() - 1);
  EXPECT_EQ(table.seqSize[0], size);
  const Buf file = testing::ReadBytes(path + ".sep");
  EXPECT_EQ(file.size(), (size + 3) / 4 * 4);
  EXPECT_TRUE(std::equal(input.begin(), input.begin() + size, file.begin()));
  EXPECT_EQ(LastRowEnd(), ", 3\r\n");
}

TEST_F(SeqWriter, SepWalkStopsAtAWrongSequenceNumberOrAfterSequenceFifteen) {
  input = MakeSep(3, 10, 5);
  const std::size_t second = 15 + 10 + 4;  // behind the first 00 FF 2F 00
  input[second + 1] = 2;                   // number 2 where 1 belongs
  Write({0});
  EXPECT_EQ(table.seqSize[0], second);
  EXPECT_EQ(LastRowEnd(), ", 1\r\n");
  input = MakeSep(17, 4, 5);
  Write({0});
  EXPECT_EQ(table.seqSize[0], MakeSep(16, 4, 5).size());
  EXPECT_EQ(LastRowEnd(), ",16\r\n");
}

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
