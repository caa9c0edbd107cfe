// uncompressBrightis: items without an end marker, no items, a failed open.
// (The decoder's codes are checked through dec on the generated image.)
#include <gtest/gtest.h>

#include "decompress/decompressors.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;
using testing::Cat;

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
