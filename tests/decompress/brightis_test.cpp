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

TEST(UncompressBrightis, AnItemWithoutEndMarkerStopsWhereTheNextBegins) {
  testing::TempDir dir;
  const std::string in = dir.File("game.bin");
  const Bytes first = {0x00, 0x04, 'p', 'Q', 'E', 'S', 0x41, 0x42};
  const Bytes second = {0x00, 0x04, 'p', 'Q', 'E', 'S', 0x43, 0x00, 0xFF, 0x2F, 0x00};
  const Bytes input = Cat({first, second});
  DataOfs table = testing::SeqTable(".seq", {2, 10});
  testing::Capture([&] { EXPECT_EQ(uncompressBrightis(input, in, table), 1u); });
  EXPECT_EQ(testing::ReadBytes(in + "_1.seq"), Bytes(input.begin() + 2, input.begin() + 10));
  EXPECT_EQ(testing::ReadBytes(in + "_2.seq"), (Bytes{'p', 'Q', 'E', 'S', 0x43}));
  // Many items without a marker: each writes at most ten times its stretch.
  Bytes many;
  for (int k = 0; k < 200; ++k) many.insert(many.end(), first.begin(), first.end());
  std::vector<std::uint32_t> ofs;
  for (std::uint32_t k = 0; k < 200; ++k) ofs.push_back(2 + 8 * k);
  table = testing::SeqTable(".seq", ofs);
  testing::Capture([&] { uncompressBrightis(many, in, table); });
  std::uintmax_t total = 0;
  for (const auto& e : testing::fs::directory_iterator(dir.File(""))) total += e.file_size();
  EXPECT_LE(total, 10 * many.size() + 20);
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
