// The Brightis decoder and uncompressBrightis.
#include <gtest/gtest.h>

#include <string>

#include "decompress/decompressors.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;
using testing::Cat;

const Bytes kHead8 = {'p', 'Q', 'E', 'S', 0, 0, 0, 1};

class BrightisDecode : public ::testing::Test {
 protected:
  // Decodes an item whose head length bytes stand at the start of `input`
  // (the signature at offset 2).
  static Bytes Decode(const Bytes& input) {
    Bytes out;
    EXPECT_TRUE(DecodeBrightis(input, 2, out));
    return out;
  }
  // Head of `head` bytes: the two length bytes, then the head itself.
  static Bytes Item(std::uint16_t headLength, const Bytes& head, const Bytes& codes) {
    return Cat({{static_cast<std::uint8_t>(headLength >> 8), static_cast<std::uint8_t>(headLength)},
                head, codes});
  }
};

TEST_F(BrightisDecode, ReferenceThenRunReachingTheStopPosition) {
  const Bytes input =
      Item(8, kHead8, {0x41, 0x42, 0x80, 0x02, 0x07, 0x58, 0x59, 0x5A, 0x00, 0xFF, 0x2F, 0x00});
  const Bytes expected =
      Cat({kHead8, {0x41, 0x42}, {0x41, 0x42, 0x41, 0x42}, {0x58, 0x59, 0x5A, 0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(Decode(input), expected);
}

TEST_F(BrightisDecode, ExtensionBytesLengthenTheReference) {
  // E0 02 61 62: length 7 + 1 + 2, distance 2; 30 is neither extension nor run.
  const Bytes input = Item(8, kHead8, {0x41, 0x42, 0xE0, 0x02, 0x61, 0x62, 0x30});
  const Bytes expected = Cat({kHead8, {0x41, 0x42}, {0x41, 0x42, 0x41, 0x42, 0x41, 0x42, 0x41, 0x42, 0x41, 0x42}, {0x30}});
  EXPECT_EQ(Decode(input), expected);
}

TEST_F(BrightisDecode, LongRunAfterAReference) {
  Bytes run(40);
  for (std::size_t k = 0; k < run.size(); ++k) run[k] = static_cast<std::uint8_t>(0x90 + k);
  const Bytes input = Item(8, kHead8, Cat({{0x41, 0x42, 0xA0, 0x01, 0x20, 40}, run, {0x43}}));
  const Bytes expected = Cat({kHead8, {0x41, 0x42}, Bytes(5, 0x42), run, {0x43}});
  EXPECT_EQ(Decode(input), expected);
}

TEST_F(BrightisDecode, PlainBytesAndWhereTheStreamEnds) {
  // 80 00: distance 0, the byte 80 itself; the 00 after it is the next code.
  EXPECT_EQ(Decode(Item(8, kHead8, {0x80, 0x00, 0x42})), Cat({kHead8, {0x80, 0x00, 0x42}}));
  // 80 08 after eight head bytes: distance equal to the output so far.
  EXPECT_EQ(Decode(Item(8, kHead8, {0x80, 0x08, 0x42})), Cat({kHead8, {0x80, 0x08, 0x42}}));
  // Four zero bytes end the stream; three are plain bytes.
  EXPECT_EQ(Decode(Item(8, kHead8, {0x00, 0x00, 0x00, 0x00, 0x41})), kHead8);
  EXPECT_EQ(Decode(Item(8, kHead8, {0x00, 0x00, 0x00, 0x41})), Cat({kHead8, {0x00, 0x00, 0x00, 0x41}}));
  // A stop position inside the head gives the head alone.
  const Bytes head = {'p', 'Q', 0x00, 0xFF, 0x2F, 0x00, 0x11, 0x12};
  EXPECT_EQ(Decode(Item(8, head, {0x41, 0x42})), head);
  // A reference before the output stops decoding.
  EXPECT_EQ(Decode(Item(2, {0x41, 0x42}, {0x80, 0x05, 0x43})), (Bytes{0x41, 0x42}));
}

TEST_F(BrightisDecode, HeadLengthOfTwelveBitsBeforeTheSignatureCutToTheInput) {
  // F0 04: the high nibble of the first byte is not part of the length.
  EXPECT_EQ(Decode({0xF0, 0x04, 'p', 'Q', 'E', 'S', 0x41}), (Bytes{'p', 'Q', 'E', 'S', 0x41}));
  EXPECT_EQ(Decode({0x0F, 0xFF, 'p', 'Q', 'E', 'S', 0x41}), (Bytes{'p', 'Q', 'E', 'S', 0x41}));
  // No two bytes before the signature means no item.
  const Bytes input = {0x08, 'p', 'Q', 'E', 'S'};
  Bytes out = {1, 2, 3};
  EXPECT_FALSE(DecodeBrightis(input, 1, out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(DecodeBrightis(input, 0, out));
}

TEST_F(BrightisDecode, OutputStopsAtTenTimesTheStopPosition) {
  // Stop position 8, so at most 80 bytes; the reference asks for 7 + 4 x 31.
  const Bytes input = Item(2, {0x41, 0x42}, {0xE0, 0x01, 0x7F, 0x7F, 0x7F, 0x7F, 0x00, 0xFF, 0x2F, 0x00});
  const Bytes out = Decode(input);
  ASSERT_EQ(out.size(), 80u);
  EXPECT_EQ(out, Cat({{0x41}, Bytes(79, 0x42)}));
}

TEST_F(BrightisDecode, CodesCutOffByTheEndStopDecoding) {
  // A back-reference without its second byte.
  EXPECT_EQ(Decode(Item(2, {0x41, 0x42}, {0x43, 0x85})), (Bytes{0x41, 0x42, 0x43}));
  // A short run of 31 with three bytes left: the run gives nothing.
  EXPECT_EQ(Decode(Item(2, {0x41, 0x42}, {0x80, 0x01, 0x1F, 0x01, 0x02, 0x03})),
            (Bytes{0x41, 0x42, 0x42, 0x42, 0x42, 0x42}));
  // A long run without its length byte.
  EXPECT_EQ(Decode(Item(2, {0x41, 0x42}, {0x80, 0x01, 0x21})), (Bytes{0x41, 0x42, 0x42, 0x42, 0x42, 0x42}));
}

TEST_F(BrightisDecode, ArbitraryInputsStayInsideTheirBuffers) {
  std::uint32_t state = 777;
  for (int round = 0; round < 500; ++round) {
    const Bytes input = testing::RandomBytes(state, 3 + round % 61);
    Bytes out;
    ASSERT_TRUE(DecodeBrightis(input, 2, out));
    // Bounded by ten times the stream (at most the bytes from the signature on).
    EXPECT_LE(out.size(), 10 * (input.size() - 2));
  }
}

class UncompressBrightis : public ::testing::Test {
 protected:
  std::string Input() const { return dir_.File("game.bin"); }
  testing::TempDir dir_;
};

TEST_F(UncompressBrightis, WritesOneSeqPerItemAndSkipsItemsWithoutHeadLength) {
  // Item 1 at offset 1 has no head length; items 2 and 3 decode.
  const Bytes second = {0x00, 0x04, 'p', 'Q', 'E', 'S', 0x41, 0x00, 0xFF, 0x2F, 0x00};
  const Bytes input = Cat({{0x00, 'p', 'Q', 'E', 'S', 0, 0, 0, 1}, second, second});
  DataOfs table = testing::SeqTable(".seq", {1, 11, 22});
  std::uint32_t r = 0;
  const std::string out = testing::Capture([&] { r = uncompressBrightis(input, Input(), table); }).out;
  EXPECT_EQ(r, 1u);
  EXPECT_EQ(out, "\rUncompress    1/   3\rUncompress    2/   3\rUncompress    3/   3\n");
  EXPECT_EQ(table.seqCreated, (std::vector<std::uint32_t>{0, 1, 1}));
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"game.bin_2.seq", "game.bin_3.seq"}));
  EXPECT_EQ(testing::ReadBytes(Input() + "_2.seq"), (Bytes{'p', 'Q', 'E', 'S', 0x41}));
}

TEST_F(UncompressBrightis, AnItemWithoutEndMarkerStopsWhereTheNextBegins) {
  const Bytes first = {0x00, 0x04, 'p', 'Q', 'E', 'S', 0x41, 0x42};
  const Bytes second = {0x00, 0x04, 'p', 'Q', 'E', 'S', 0x43, 0x00, 0xFF, 0x2F, 0x00};
  const Bytes input = Cat({first, second});
  DataOfs table = testing::SeqTable(".seq", {2, 10});
  testing::Capture([&] { EXPECT_EQ(uncompressBrightis(input, Input(), table), 1u); });
  EXPECT_EQ(testing::ReadBytes(Input() + "_1.seq"), Bytes(input.begin() + 2, input.begin() + 10));
  EXPECT_EQ(testing::ReadBytes(Input() + "_2.seq"), (Bytes{'p', 'Q', 'E', 'S', 0x43}));
  // Many items without a marker: each writes at most ten times its stretch.
  Bytes many;
  for (int k = 0; k < 200; ++k) many.insert(many.end(), first.begin(), first.end());
  std::vector<std::uint32_t> ofs;
  for (std::uint32_t k = 0; k < 200; ++k) ofs.push_back(2 + 8 * k);
  table = testing::SeqTable(".seq", ofs);
  testing::Capture([&] { uncompressBrightis(many, Input(), table); });
  std::uintmax_t total = 0;
  for (const auto& e : testing::fs::directory_iterator(dir_.File(""))) total += e.file_size();
  EXPECT_LE(total, 10 * many.size() + 20);
}

TEST_F(UncompressBrightis, NoItemsPrintsOnlyTheLineEndAndAFailedOpenIsReported) {
  DataOfs none;
  EXPECT_EQ(testing::Capture([&] { uncompressBrightis(Bytes{1, 2, 3}, Input(), none); }).out, "\n");
  DataOfs table = testing::SeqTable(".seq", {2});
  std::uint32_t r = 1;
  const testing::Captured c = testing::Capture(
      [&] { r = uncompressBrightis(Bytes{0x00, 0x04, 'p', 'Q', 'E', 'S'}, dir_.File("missing/game.bin"), table); });
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(c.err.rfind("[F:uncompressBrightis][L:", 0), 0u);
  EXPECT_EQ(table.seqCreated[0], 0u);
}

}  // namespace
}  // namespace psxdig
