// The LZSS decoder, its size scan and end-of-track cut, and uncompressLzss
// writing files beside an input.
#include <gtest/gtest.h>

#include <string>

#include "decompress/decompressors.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;
using testing::Cat;
using testing::Str;

// Flag bytes FF, FF, 0F with the twenty literals 0..J; the next item is a
// back-reference (bit 4 of the third flag byte is clear).
Bytes TwentyLiteralsThen(std::uint8_t b0, std::uint8_t b1) {
  return Cat({{0xFF}, Str("01234567"), {0xFF}, Str("89ABCDEF"), {0x0F}, Str("GHIJ"), {b0, b1}});
}

TEST(LzssDecode, LiteralsAndNearReferences) {
  const Bytes eight = Str("abcdefgh");
  EXPECT_EQ(DecodeLzss(Cat({{0xFF}, eight}), 8, 0), eight);
  EXPECT_EQ(DecodeLzss(Cat({{0x00}, eight}), 8, 1), eight);
  // A near reference repeats the last byte; blocks past the end go to the
  // last bytes (from = 18, chunk 2: IJ, IJ, then the last two bytes); a
  // reference into the empty window gives zeros.
  EXPECT_EQ(DecodeLzss(TwentyLiteralsThen(0x01, 0x02), 25, 0), Str("0123456789ABCDEFGHIJJJJJJ"));
  EXPECT_EQ(DecodeLzss(TwentyLiteralsThen(0x00, 0x02), 25, 0), Str("0123456789ABCDEFGHIJIJIIJ"));
  EXPECT_EQ(DecodeLzss(TwentyLiteralsThen(0xEE, 0xF2), 25, 0), Cat({Str("0123456789ABCDEFGHIJ"), Bytes(5, 0)}));
}

TEST(LzssDecode, FarReferenceCopiesOneBlock) {
  // 40 literals, then position (20 - 18) = 2 with length 4 copies bytes 20..23.
  Bytes stream;
  std::string text;
  for (int k = 0; k < 40; ++k) text.push_back(static_cast<char>('a' + k % 26));
  for (int g = 0; g < 5; ++g) stream = Cat({stream, {0xFF}, Str(text.substr(8 * g, 8))});
  stream.insert(stream.end(), {0xFE, 0x02, 0x01});
  EXPECT_EQ(DecodeLzss(stream, 44, 0), Cat({Str(text), Str(text.substr(20, 4))}));
}

TEST(LzssDecode, StreamEndingEarlyKeepsWhatWasDecoded) {
  EXPECT_EQ(DecodeLzss(Cat({{0xFF}, Str("abc")}), 100, 0), Str("abc"));
  // A back-reference with its second byte missing ends it too.
  Bytes cut = TwentyLiteralsThen(0x01, 0x02);
  cut.pop_back();
  EXPECT_EQ(DecodeLzss(cut, 25, 0), Str("0123456789ABCDEFGHIJ"));
  EXPECT_TRUE(DecodeLzss({}, 10, 0).empty());
  EXPECT_TRUE(DecodeLzss(Str("\xFF" "abc"), 0, 0).empty());  // size zero
}

TEST(LzssDecode, ArbitraryStreamsStayInsideTheOutput) {
  // The sanitizers watch every access.
  std::uint32_t state = 12345;
  for (int round = 0; round < 400; ++round) {
    const Bytes stream = testing::RandomBytes(state, 1 + round % 97);
    const std::uint32_t size = (state >> 8) % 300;
    EXPECT_LE(DecodeLzss(stream, size, round % 2).size(), size);
  }
  // Groups of eight references of length 10 (F7 F7): 30 groups fill 2000
  // bytes, whatever the references point at.
  const Bytes refs = Cat({{0x00}, Bytes(16, 0xF7)});
  Bytes many;
  for (int k = 0; k < 30; ++k) many = Cat({many, refs});
  EXPECT_EQ(DecodeLzss(many, 2000, 0).size(), 2000u);
}

// A size field far beyond what the stream can yield (found by fuzzing: each
// such item used to allocate and clear its whole claimed size) decodes
// exactly as with a size just large enough to leave the stream's end alone.
TEST(LzssDecode, ClaimedSizeFarBeyondTheStreamDecodesLikeAFittingOne) {
  std::uint32_t state = 777;
  for (int round = 0; round < 200; ++round) {
    const Bytes stream = testing::RandomBytes(state, 1 + round * 3 % 211);
    for (std::uint32_t matchBit = 0; matchBit < 2; ++matchBit) {
      const Bytes huge = DecodeLzss(stream, kMaxLzssSize - 1, matchBit);
      ASSERT_LT(huge.size(), 9 * stream.size() + 1);
      // The claimed 16 MiB were never set aside.
      EXPECT_LT(huge.capacity(), std::size_t{1} << 20);
      // Room for the stream's yield, a block spilling past it and a source
      // in the empty window ahead: the stream still ends first.
      const auto fitting = static_cast<std::uint32_t>(huge.size() + 18 + 4113 + 1);
      EXPECT_EQ(DecodeLzss(stream, fitting, matchBit), huge) << "round " << round;
    }
  }
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

// uncompressLzss writing files beside an input in a scratch folder.
class UncompressLzss : public ::testing::Test {
 protected:
  std::string Input() const { return dir_.File("game.bin"); }
  std::string FileOf(const char* suffix) const { return Input() + suffix; }

  std::uint32_t Run(const Bytes& input, DataOfs& table, std::uint32_t sizeMode, const char* ext,
                    std::uint32_t versionFix, const std::string& path = "") {
    std::uint32_t r = 0;
    const testing::Captured c = testing::Capture([&] {
      r = uncompressLzss(input, path.empty() ? Input() : path, 5, 1, 0, sizeMode, ext, versionFix, table);
    });
    out_ = c.out;
    err_ = c.err;
    return r;
  }

  // Size field, flag byte, then the literals: a header-size item at offset 5.
  static Bytes HeaderItem(const Bytes& literals) {
    Bytes in(5 + literals.size(), 0);
    in[0] = static_cast<std::uint8_t>(literals.size());
    in[4] = 0xFF;
    std::copy(literals.begin(), literals.end(), in.begin() + 5);
    return in;
  }

  const Bytes seq8_ = Str(std::string("pQES\0\0\0\x01", 8));
  testing::TempDir dir_;
  std::string out_, err_;
};

TEST_F(UncompressLzss, HeaderSizeZeroWritesAnEmptyFile) {
  const Bytes input = {0, 0, 0, 0, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};
  DataOfs table = testing::SeqTable(".seq", {5});
  EXPECT_EQ(Run(input, table, 0, ".seq", 0), 1u);
  ASSERT_TRUE(testing::fs::exists(FileOf(".seq")));
  EXPECT_TRUE(testing::ReadBytes(FileOf(".seq")).empty());
  EXPECT_EQ(table.seqCreated[0], 1u);
  EXPECT_EQ(out_, "\rUncompress    1/   1\n");
}

TEST_F(UncompressLzss, ScanModeCutsTheOutputBehindTheEndOfTrack) {
  const Bytes input = Cat({{0xFF, 0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00, 0x43, 0x44}, Bytes(17, 0)});
  DataOfs table = testing::SeqTable(".seq", {1});
  EXPECT_EQ(Run(input, table, 1, ".seq", 0), 1u);
  EXPECT_EQ(testing::ReadBytes(FileOf(".seq")), (Bytes{0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST_F(UncompressLzss, VersionFixNeedsMoreThanEightBytes) {
  const Bytes head8 = Str(std::string("pQES\0\0\0\0", 8));
  DataOfs table = testing::SeqTable(".seq", {5});
  Run(HeaderItem(head8), table, 0, ".seq", 1);
  EXPECT_EQ(testing::ReadBytes(FileOf(".seq")), head8);
  Bytes nine = HeaderItem(head8);
  nine[0] = 9;
  nine.insert(nine.end(), {0xFF, 0x30});  // a second group for the ninth literal
  Run(nine, table, 0, ".seq", 1);
  EXPECT_EQ(testing::ReadBytes(FileOf(".seq")), Str(std::string("pQES\0\0\0\x01\x30", 9)));
  Run(nine, table, 0, ".seq", 0);  // without the fix byte 7 stays
  EXPECT_EQ(testing::ReadBytes(FileOf(".seq")), Str(std::string("pQES\0\0\0\0\x30", 9)));
}

TEST_F(UncompressLzss, OtherExtensionsHandleNoItemAndTheCountSetsTheNumberWidth) {
  DataOfs table = testing::SeqTable(".seq", {5});
  EXPECT_EQ(Run(HeaderItem(seq8_), table, 0, ".sep", 0), 1u);
  EXPECT_EQ(out_, "\n");
  EXPECT_EQ(dir_.List().size(), 0u);
  EXPECT_EQ(table.seqCreated[0], 0u);
  Bytes input;
  std::vector<std::uint32_t> ofs;
  for (int k = 0; k < 10; ++k) {
    ofs.push_back(static_cast<std::uint32_t>(input.size() + 5));
    input = Cat({input, HeaderItem(seq8_)});
  }
  DataOfs ten = testing::SeqTable(".seq", ofs);
  EXPECT_EQ(Run(input, ten, 0, ".sssq", 0), 1u);
  EXPECT_TRUE(testing::fs::exists(FileOf("_01.sssq")));
  EXPECT_TRUE(testing::fs::exists(FileOf("_10.sssq")));
  EXPECT_EQ(dir_.List().size(), 10u);
}

TEST_F(UncompressLzss, ItemsTooCloseToTheStartAreSkippedButCounted) {
  // Signature at offset 3: the size field 5 bytes back lies before the input.
  const Bytes input = {0x00, 0x00, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};
  DataOfs table = testing::SeqTable(".seq", {3});
  EXPECT_EQ(Run(input, table, 0, ".seq", 0), 1u);
  EXPECT_EQ(dir_.List().size(), 0u);
  EXPECT_EQ(table.seqCreated[0], 0u);
  EXPECT_EQ(out_, "\rUncompress    1/   1\n");
  // The stream start itself before the input: skipped in scan mode too.
  DataOfs first = testing::SeqTable(".seq", {0});
  EXPECT_EQ(Run(input, first, 1, ".seq", 0), 1u);
  EXPECT_EQ(dir_.List().size(), 0u);
}

TEST_F(UncompressLzss, SizesAbove16MiBAreSkipped) {
  const Bytes input = {0x01, 0x00, 0x00, 0x01, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1,   // 16 MiB + 1
                       0x00, 0x00, 0x00, 0x01, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};  // 16 MiB
  DataOfs table = testing::SeqTable(".seq", {5, 18});
  EXPECT_EQ(Run(input, table, 0, ".seq", 0), 1u);
  EXPECT_EQ(table.seqCreated, (std::vector<std::uint32_t>{0, 1}));
  EXPECT_FALSE(testing::fs::exists(FileOf("_1.seq")));
  // The second stream runs off the input after its eight literals.
  EXPECT_EQ(testing::ReadBytes(FileOf("_2.seq")), seq8_);
  EXPECT_EQ(out_, "\rUncompress    1/   2\rUncompress    2/   2\n");
}

// Found by fuzzing: hundreds of items each claiming almost 16 MiB, as false
// signatures with garbage size fields do. Every item yields what its stream
// holds, and the whole run costs no more than the streams themselves.
TEST_F(UncompressLzss, ManyItemsClaimingTheLargestSizeYieldTheirStreams) {
  const Bytes unit = {0xFF, 0xFF, 0xFF, 0x00, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};
  Bytes input;
  std::vector<std::uint32_t> ofs;
  for (int k = 0; k < 600; ++k) {
    ofs.push_back(static_cast<std::uint32_t>(input.size() + 5));
    input.insert(input.end(), unit.begin(), unit.end());
  }
  DataOfs table = testing::SeqTable(".seq", ofs);
  EXPECT_EQ(Run(input, table, 0, ".seq", 0), 1u);
  EXPECT_EQ(dir_.List().size(), 600u);
  // The last item's stream: its flag byte FF, then eight literals, then the
  // end of the input.
  EXPECT_EQ(testing::ReadBytes(FileOf("_600.seq")), seq8_);
  // The first one runs through every later unit, which are its stream.
  const Bytes first = testing::ReadBytes(FileOf("_001.seq"));
  EXPECT_GT(first.size(), input.size() / 2);
  EXPECT_LT(first.size(), 9 * input.size());
  EXPECT_EQ(first, DecodeLzss(ByteSpan(input).subspan(4), 0x00FFFFFF, 0));
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 8), seq8_);
}

TEST_F(UncompressLzss, UnopenableOutputIsReportedAndStops) {
  DataOfs table = testing::SeqTable(".seq", {5, 5});
  EXPECT_EQ(Run(HeaderItem(seq8_), table, 0, ".seq", 0, dir_.File("no_such_dir/game.bin")), 0u);
  EXPECT_EQ(err_.rfind("[F:uncompressLzss][L:", 0), 0u) << err_;
  EXPECT_EQ(table.seqCreated, (std::vector<std::uint32_t>{0, 0}));
}

}  // namespace
}  // namespace psxdig
