// The LZSS decoder, its size scan and end-of-track cut, and uncompressLzss
// writing files beside an input.
#include <gtest/gtest.h>

#include "decompress/decompressors.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::Str;

TEST(LzssDecode, LiteralsAndNearReferences) {
  // Flag bytes FF, FF, 0F with the twenty literals 0..J; the next item is a
  // back-reference (bit 4 of the third flag byte is clear).
  auto twentyLiteralsThen = [](std::uint8_t b0, std::uint8_t b1) {
    return Cat({{0xFF}, Str("01234567"), {0xFF}, Str("89ABCDEF"), {0x0F}, Str("GHIJ"), {b0, b1}});
  };
  const Bytes eight = Str("abcdefgh");
  EXPECT_EQ(DecodeLzss(Cat({{0xFF}, eight}), 8, 0), eight);
  EXPECT_EQ(DecodeLzss(Cat({{0x00}, eight}), 8, 1), eight);
  // A near reference repeats the last byte; blocks past the end go to the
  // last bytes (from = 18, chunk 2: IJ, IJ, then the last two bytes); a
  // reference into the empty window gives zeros.
  EXPECT_EQ(DecodeLzss(twentyLiteralsThen(0x01, 0x02), 25, 0), Str("0123456789ABCDEFGHIJJJJJJ"));
  EXPECT_EQ(DecodeLzss(twentyLiteralsThen(0x00, 0x02), 25, 0), Str("0123456789ABCDEFGHIJIJIIJ"));
  EXPECT_EQ(DecodeLzss(twentyLiteralsThen(0xEE, 0xF2), 25, 0), Cat({Str("0123456789ABCDEFGHIJ"), Bytes(5, 0)}));
}

TEST(LzssScan, CountsLiteralsAndReferenceLengthsUpToTheZeroGroup) {
  const Bytes stream = Cat({{0xFF, 0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00, 0x43, 0x44}, Bytes(17, 0)});
  EXPECT_EQ(ScanLzssSize(stream), 8u);
  // One literal and seven references of lengths 3..9, then the terminator.
  Bytes mixed = {0x01, 0x41};
  for (std::uint8_t k = 0; k < 7; ++k) mixed.insert(mixed.end(), {0x00, k});
  mixed.insert(mixed.end(), 17, 0);
  EXPECT_EQ(ScanLzssSize(mixed), 1u + (3 + 4 + 5 + 6 + 7 + 8 + 9));
  // A group cut off by the end is not counted.
  EXPECT_EQ(ScanLzssSize(Cat({{0xFF}, Str("abcdefgh"), {0xFF}, Str("abc")})), 8u);
  EXPECT_EQ(ScanLzssSize({}), 0u);
}

TEST(LzssEndOfTrackCut, CutsBehindTheFirstEventFromPosition1To65535) {
  Bytes out = {0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00, 0x43, 0x44};
  CutAtEndOfTrack(out);
  EXPECT_EQ(out, (Bytes{0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00}));
  Bytes atStart = {0xFF, 0x2F, 0x00, 0x10, 0x20};  // the very start is not looked at
  CutAtEndOfTrack(atStart);
  EXPECT_EQ(atStart.size(), 5u);
  for (std::size_t j : {65534u, 65535u}) {  // the last tested position is 65534
    Bytes big(65540, 0x10);
    std::copy_n(Bytes{0xFF, 0x2F, 0x00}.begin(), 3, big.begin() + static_cast<long>(j) + 1);
    CutAtEndOfTrack(big);
    EXPECT_EQ(big.size(), j == 65534 ? 65538u : 65540u) << j;
  }
}

TEST(UncompressLzss, HeaderSizeZeroWritesAnEmptyFileAndAFailedOpenStops) {
  testing::TempDir dir;
  const std::string path = dir.File("game.bin");
  auto run = [](const Bytes& input, DataOfs& table, const std::string& at, std::string* err = nullptr) {
    std::uint32_t r = 0;
    const testing::Captured c = testing::Capture([&] { r = uncompressLzss(input, at, 5, 1, 0, 0, ".seq", 0, table); });
    if (err) *err = c.err;
    return std::make_pair(r, c.out);
  };
  const Bytes input = {0, 0, 0, 0, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};
  DataOfs table = testing::SeqTable(".seq", {5});
  EXPECT_EQ(run(input, table, path), std::make_pair(1u, std::string("\rUncompress    1/   1\n")));
  ASSERT_TRUE(testing::fs::exists(path + ".seq"));
  EXPECT_TRUE(testing::ReadBytes(path + ".seq").empty());
  EXPECT_EQ(table.seqCreated[0], 1u);

  Bytes eight = input;
  eight[0] = 8;  // eight literals behind the flag byte
  DataOfs two = testing::SeqTable(".seq", {5, 5});
  std::string err;
  EXPECT_EQ(run(eight, two, dir.File("no_such_dir/game.bin"), &err).first, 0u);
  EXPECT_EQ(err.rfind("[F:uncompressLzss][L:", 0), 0u) << err;
  EXPECT_EQ(two.seqCreated, (std::vector<std::uint32_t>{0, 0}));
}

}  // namespace
}  // namespace psxdig
