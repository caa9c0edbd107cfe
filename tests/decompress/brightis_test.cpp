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

TEST_F(BrightisDecode, OutputStopsAtTenTimesTheStopPosition) {
  // Stop position 8, so at most 80 bytes; the reference asks for 7 + 4 x 31.
  const Bytes input = Item(2, {0x41, 0x42}, {0xE0, 0x01, 0x7F, 0x7F, 0x7F, 0x7F, 0x00, 0xFF, 0x2F, 0x00});
  const Bytes out = Decode(input);
  ASSERT_EQ(out.size(), 80u);
  EXPECT_EQ(out, Cat({{0x41}, Bytes(79, 0x42)}));
}

class UncompressBrightis : public ::testing::Test {
 protected:
  std::string Input() const { return dir_.File("game.bin"); }
  testing::TempDir dir_;
};

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
