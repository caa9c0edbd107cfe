// The Brightis decoder and uncompressBrightis.
#include <gtest/gtest.h>

#include "decompress/decompressors.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;
using testing::Cat;

TEST(BrightisDecode, ReferencesExtensionsRunsAndTheOutputLimit) {
  const Bytes head8 = {'p', 'Q', 'E', 'S', 0, 0, 0, 1};
  const struct {
    Bytes input;  // head length (two bytes), the head, the codes
    Bytes decoded;
  } cases[] = {
      // A reference, then a run reaching the stop position.
      {Cat({{0, 8}, head8, {0x41, 0x42, 0x80, 0x02, 0x07, 0x58, 0x59, 0x5A, 0x00, 0xFF, 0x2F, 0x00}}),
       Cat({head8, {0x41, 0x42, 0x41, 0x42, 0x41, 0x42, 0x58, 0x59, 0x5A, 0x00, 0xFF, 0x2F, 0x00}})},
      // E0 02 61 62: length 7 + 1 + 2, distance 2; 30 is neither extension nor run.
      {Cat({{0, 8}, head8, {0x41, 0x42, 0xE0, 0x02, 0x61, 0x62, 0x30}}),
       Cat({head8, {0x41, 0x42}, {0x41, 0x42, 0x41, 0x42, 0x41, 0x42, 0x41, 0x42, 0x41, 0x42}, {0x30}})},
      // Stop position 8, so at most 80 bytes; the reference asks for 7 + 4 x 31.
      {{0, 2, 0x41, 0x42, 0xE0, 0x01, 0x7F, 0x7F, 0x7F, 0x7F, 0x00, 0xFF, 0x2F, 0x00}, Cat({{0x41}, Bytes(79, 0x42)})},
  };
  for (const auto& c : cases) {
    Bytes out;
    EXPECT_TRUE(DecodeBrightis(c.input, 2, out));
    EXPECT_EQ(out, c.decoded);
  }
}

TEST(UncompressBrightis, NoItemsPrintsOnlyTheLineEndAndAFailedOpenIsReported) {
  testing::TempDir dir;
  DataOfs none;
  EXPECT_EQ(testing::Capture([&] { uncompressBrightis(Bytes{1, 2, 3}, dir.File("game.bin"), none); }).out, "\n");
  DataOfs table = testing::SeqTable(".seq", {2});
  std::uint32_t r = 1;
  const testing::Captured c = testing::Capture(
      [&] { r = uncompressBrightis(Bytes{0x00, 0x04, 'p', 'Q', 'E', 'S'}, dir.File("missing/game.bin"), table); });
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(c.err.rfind("[F:uncompressBrightis][L:", 0), 0u);
  EXPECT_EQ(table.seqCreated[0], 0u);
}

}  // namespace
}  // namespace psxdig
