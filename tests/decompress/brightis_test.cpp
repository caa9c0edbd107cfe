#include <gtest/gtest.h>

#include <string>

#include "decompress/decompressors.h"
#include "test_util.h"

namespace psxdig {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

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

TEST_F(BrightisDecode, DistanceZeroOrEqualToTheOutputIsAPlainByte) {
  // 80 00: distance 0, the byte 80 itself; the 00 after it is the next code.
  EXPECT_EQ(Decode(Item(8, kHead8, {0x80, 0x00, 0x42})), Cat({kHead8, {0x80, 0x00, 0x42}}));
  // 80 08 after eight head bytes: distance equal to the output so far.
  EXPECT_EQ(Decode(Item(8, kHead8, {0x80, 0x08, 0x42})), Cat({kHead8, {0x80, 0x08, 0x42}}));
}

TEST_F(BrightisDecode, StopPositionInsideTheHeadGivesTheHeadAlone) {
  const Bytes head = {'p', 'Q', 0x00, 0xFF, 0x2F, 0x00, 0x11, 0x12};
  EXPECT_EQ(Decode(Item(8, head, {0x41, 0x42})), head);
}

TEST_F(BrightisDecode, FourZeroBytesEndTheStream) {
  EXPECT_EQ(Decode(Item(8, kHead8, {0x00, 0x00, 0x00, 0x00, 0x41})), kHead8);
  // Three zero bytes are plain bytes.
  EXPECT_EQ(Decode(Item(8, kHead8, {0x00, 0x00, 0x00, 0x41})), Cat({kHead8, {0x00, 0x00, 0x00, 0x41}}));
}

TEST_F(BrightisDecode, HeadLengthUsesTwelveBits) {
  // F0 04: the high nibble of the first byte is not part of the length.
  const Bytes input = {0xF0, 0x04, 'p', 'Q', 'E', 'S', 0x41};
  EXPECT_EQ(Decode(input), (Bytes{'p', 'Q', 'E', 'S', 0x41}));
}

TEST_F(BrightisDecode, NoTwoBytesBeforeTheSignatureMeansNoItem) {
  const Bytes input = {0x08, 'p', 'Q', 'E', 'S'};
  Bytes out = {1, 2, 3};
  EXPECT_FALSE(DecodeBrightis(input, 1, out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(DecodeBrightis(input, 0, out));
}

TEST_F(BrightisDecode, HeadRunningPastTheEndIsCut) {
  const Bytes input = {0x0F, 0xFF, 'p', 'Q', 'E', 'S', 0x41};
  EXPECT_EQ(Decode(input), (Bytes{'p', 'Q', 'E', 'S', 0x41}));
}

TEST_F(BrightisDecode, ReferenceBeforeTheOutputStopsDecoding) {
  EXPECT_EQ(Decode(Item(2, {0x41, 0x42}, {0x80, 0x05, 0x43})), (Bytes{0x41, 0x42}));
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
    Bytes input(3 + round % 61);
    for (auto& b : input) {
      state = state * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(state >> 16);
    }
    Bytes out;
    ASSERT_TRUE(DecodeBrightis(input, 2, out));
    // Bounded by ten times the stream (at most the bytes from the signature on).
    EXPECT_LE(out.size(), 10 * (input.size() - 2));
  }
}

class UncompressBrightis : public ::testing::Test {
 protected:
  std::string Input() const { return dir_.File("game.bin"); }
  static DataOfs Table(std::vector<std::uint32_t> ofs) {
    DataOfs t;
    t.seqNum = static_cast<std::uint32_t>(ofs.size());
    t.seqOfs = ofs;
    t.seqSize.assign(ofs.size(), 0);
    t.seqCreated.assign(ofs.size(), 0);
    t.seqExt = ".seq";
    return t;
  }
  testing::TempDir dir_;
};

TEST_F(UncompressBrightis, WritesOneSeqPerItemAndSkipsItemsWithoutHeadLength) {
  // Item 1 at offset 1 has no head length; items 2 and 3 decode.
  const Bytes second = {0x00, 0x04, 'p', 'Q', 'E', 'S', 0x41, 0x00, 0xFF, 0x2F, 0x00};
  Bytes input = Cat({{0x00}, {'p', 'Q', 'E', 'S', 0, 0, 0, 1}});
  const auto ofs2 = static_cast<std::uint32_t>(input.size() + 2);
  input.insert(input.end(), second.begin(), second.end());
  const auto ofs3 = static_cast<std::uint32_t>(input.size() + 2);
  input.insert(input.end(), second.begin(), second.end());
  DataOfs table = Table({1, ofs2, ofs3});
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(uncompressBrightis(input, Input(), table), 1u);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "\rUncompress    1/   3\rUncompress    2/   3\rUncompress    3/   3\n");
  EXPECT_EQ(table.seqCreated, (std::vector<std::uint32_t>{0, 1, 1}));
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"game.bin_2.seq", "game.bin_3.seq"}));
  EXPECT_EQ(testing::ReadBytes(Input() + "_2.seq"), (Bytes{'p', 'Q', 'E', 'S', 0x41}));
}

TEST_F(UncompressBrightis, NoItemsPrintsOnlyTheLineEnd) {
  DataOfs table;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(uncompressBrightis(Bytes{1, 2, 3}, Input(), table), 1u);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\n");
}

TEST_F(UncompressBrightis, UnopenableOutputIsReported) {
  const Bytes input = {0x00, 0x04, 'p', 'Q', 'E', 'S'};
  DataOfs table = Table({2});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(uncompressBrightis(input, dir_.File("missing/game.bin"), table), 0u);
  EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind("[F:uncompressBrightis][L:", 0), 0u);
  EXPECT_EQ(table.seqCreated[0], 0u);
}

}  // namespace
}  // namespace psxdig
