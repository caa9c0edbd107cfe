#include <gtest/gtest.h>

#include <string>

#include "decompress/decompressors.h"
#include "test_util.h"

namespace psxdig {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class LzssDecode : public ::testing::Test {
 protected:
  // Flag bytes FF, FF, 0F with the twenty literals 0..J; the next item is a
  // back-reference (bit 4 of the third flag byte is clear).
  static Bytes TwentyLiteralsThen(std::uint8_t b0, std::uint8_t b1) {
    return Cat({{0xFF}, Str("01234567"), {0xFF}, Str("89ABCDEF"), {0x0F}, Str("GHIJ"), {b0, b1}});
  }
};

TEST_F(LzssDecode, FlagByteOfLiteralsCopiesEightBytes) {
  const Bytes eight = Str("abcdefgh");
  EXPECT_EQ(DecodeLzss(Cat({{0xFF}, eight}), 8, 0), eight);
  EXPECT_EQ(DecodeLzss(Cat({{0x00}, eight}), 8, 1), eight);
}

TEST_F(LzssDecode, NearReferenceRepeatsTheLastByte) {
  EXPECT_EQ(DecodeLzss(TwentyLiteralsThen(0x01, 0x02), 25, 0), Str("0123456789ABCDEFGHIJJJJJJ"));
}

TEST_F(LzssDecode, BlockPastTheEndGoesToTheLastBytes) {
  // from = 18, chunk 2: blocks IJ, IJ, then the third lands on the last two bytes.
  EXPECT_EQ(DecodeLzss(TwentyLiteralsThen(0x00, 0x02), 25, 0), Str("0123456789ABCDEFGHIJIJIIJ"));
}

TEST_F(LzssDecode, ReferenceIntoTheEmptyWindowGivesZeros) {
  const Bytes out = DecodeLzss(TwentyLiteralsThen(0xEE, 0xF2), 25, 0);
  EXPECT_EQ(out, Cat({Str("0123456789ABCDEFGHIJ"), Bytes(5, 0)}));
}

TEST_F(LzssDecode, FarReferenceCopiesOneBlock) {
  // 40 literals, then position (20 - 18) = 2 with length 4 copies bytes 20..23.
  Bytes stream;
  std::string text;
  for (int k = 0; k < 40; ++k) text.push_back(static_cast<char>('a' + k % 26));
  for (int g = 0; g < 5; ++g) {
    stream.push_back(0xFF);
    const std::string part = text.substr(8 * g, 8);
    stream.insert(stream.end(), part.begin(), part.end());
  }
  stream.insert(stream.end(), {0xFE, 0x02, 0x01});
  EXPECT_EQ(DecodeLzss(stream, 44, 0), Cat({Str(text), Str(text.substr(20, 4))}));
}

TEST_F(LzssDecode, StreamEndingEarlyKeepsWhatWasDecoded) {
  EXPECT_EQ(DecodeLzss(Cat({{0xFF}, Str("abc")}), 100, 0), Str("abc"));
  // A back-reference with its second byte missing ends it too.
  const Bytes cut = Cat({{0xFF}, Str("01234567"), {0xFF}, Str("89ABCDEF"), {0x0F}, Str("GHIJ"), {0x01}});
  EXPECT_EQ(DecodeLzss(cut, 25, 0), Str("0123456789ABCDEFGHIJ"));
  EXPECT_TRUE(DecodeLzss({}, 10, 0).empty());
}

TEST_F(LzssDecode, SizeZeroDecodesNothing) { EXPECT_TRUE(DecodeLzss(Str("\xFF" "abc"), 0, 0).empty()); }

TEST_F(LzssDecode, ArbitraryStreamsStayInsideTheOutput) {
  // Pseudo-random streams and sizes: the output has exactly the requested size
  // whenever the stream lasts; the sanitizers watch every access.
  std::uint32_t state = 12345;
  for (int round = 0; round < 400; ++round) {
    Bytes stream(1 + round % 97);
    for (auto& b : stream) {
      state = state * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(state >> 16);
    }
    const std::uint32_t size = (state >> 8) % 300;
    const Bytes out = DecodeLzss(stream, size, round % 2);
    EXPECT_LE(out.size(), size);
  }
  // Groups of eight references of length 10 (F7 F7): 30 groups fill 2000
  // bytes, whatever the references point at.
  const Bytes refs = Cat({{0x00}, Bytes(16, 0xF7)});
  Bytes many;
  for (int k = 0; k < 30; ++k) many.insert(many.end(), refs.begin(), refs.end());
  EXPECT_EQ(DecodeLzss(many, 2000, 0).size(), 2000u);
}

// A size field far beyond what the stream can yield (found by fuzzing: each
// such item used to allocate and clear its whole claimed size) decodes
// exactly as with a size just large enough to leave the stream's end alone.
TEST_F(LzssDecode, ClaimedSizeFarBeyondTheStreamDecodesLikeAFittingOne) {
  std::uint32_t state = 777;
  for (int round = 0; round < 200; ++round) {
    Bytes stream(1 + round * 3 % 211);
    for (auto& b : stream) {
      state = state * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(state >> 16);
    }
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

class LzssScan : public ::testing::Test {};

TEST_F(LzssScan, CountsLiteralsAndReferenceLengthsUpToTheZeroGroup) {
  const Bytes stream = Cat({{0xFF, 0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00, 0x43, 0x44}, Bytes(17, 0)});
  EXPECT_EQ(ScanLzssSize(stream), 8u);
  // One literal and seven references of lengths 3..9, then the terminator.
  Bytes mixed = {0x01, 0x41};
  for (std::uint8_t k = 0; k < 7; ++k) mixed.insert(mixed.end(), {0x00, k});
  mixed.insert(mixed.end(), 17, 0);
  EXPECT_EQ(ScanLzssSize(mixed), 1u + (3 + 4 + 5 + 6 + 7 + 8 + 9));
}

TEST_F(LzssScan, GroupCutOffByTheEndIsNotCounted) {
  const Bytes stream = Cat({{0xFF}, Str("abcdefgh"), {0xFF}, Str("abc")});
  EXPECT_EQ(ScanLzssSize(stream), 8u);
  EXPECT_EQ(ScanLzssSize({}), 0u);
}

class LzssEndOfTrackCut : public ::testing::Test {};

TEST_F(LzssEndOfTrackCut, CutsBehindTheFirstEvent) {
  Bytes out = {0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00, 0x43, 0x44};
  CutAtEndOfTrack(out);
  EXPECT_EQ(out, (Bytes{0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST_F(LzssEndOfTrackCut, EventAtTheVeryStartIsNotLookedFor) {
  Bytes out = {0xFF, 0x2F, 0x00, 0x10, 0x20};
  CutAtEndOfTrack(out);
  EXPECT_EQ(out.size(), 5u);
}

TEST_F(LzssEndOfTrackCut, LastTestedPositionIs65535) {
  Bytes out(65540, 0x10);
  out[65535] = 0xFF;
  out[65536] = 0x2F;
  out[65537] = 0x00;  // j = 65534
  CutAtEndOfTrack(out);
  EXPECT_EQ(out.size(), 65538u);
  Bytes later(65540, 0x10);
  later[65536] = 0xFF;
  later[65537] = 0x2F;
  later[65538] = 0x00;  // j = 65535: beyond the scan
  CutAtEndOfTrack(later);
  EXPECT_EQ(later.size(), 65540u);
}

// uncompressLzss writing files beside an input in a scratch folder.
class UncompressLzss : public ::testing::Test {
 protected:
  std::string Input() const { return dir_.File("game.bin"); }
  std::string FileOf(const char* suffix) const { return Input() + suffix; }

  // A table holding the given signature offsets, as the search leaves it.
  static DataOfs Table(std::vector<std::uint32_t> ofs) {
    DataOfs t;
    t.seqNum = static_cast<std::uint32_t>(ofs.size());
    t.seqOfs = ofs;
    t.seqSize.assign(ofs.size(), 0);
    t.seqCreated.assign(ofs.size(), 0);
    t.seqExt = ".seq";
    return t;
  }

  std::uint32_t Run(const Bytes& input, DataOfs& table, std::uint32_t sizeBack,
                    std::uint32_t streamBack, std::uint32_t matchBit, std::uint32_t sizeMode,
                    const char* ext, std::uint32_t versionFix) {
    ::testing::internal::CaptureStdout();
    const std::uint32_t r = uncompressLzss(input, Input(), sizeBack, streamBack, matchBit, sizeMode,
                                           ext, versionFix, table);
    out_ = ::testing::internal::GetCapturedStdout();
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

  testing::TempDir dir_;
  std::string out_;
};

TEST_F(UncompressLzss, HeaderSizeZeroWritesAnEmptyFile) {
  const Bytes input = {0, 0, 0, 0, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};
  DataOfs table = Table({5});
  EXPECT_EQ(Run(input, table, 5, 1, 0, 0, ".seq", 0), 1u);
  ASSERT_TRUE(testing::fs::exists(FileOf(".seq")));
  EXPECT_TRUE(testing::ReadBytes(FileOf(".seq")).empty());
  EXPECT_EQ(table.seqCreated[0], 1u);
  EXPECT_EQ(out_, "\rUncompress    1/   1\n");
}

TEST_F(UncompressLzss, ScanModeCutsTheOutputBehindTheEndOfTrack) {
  const Bytes input = Cat({{0xFF, 0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00, 0x43, 0x44}, Bytes(17, 0)});
  DataOfs table = Table({1});
  EXPECT_EQ(Run(input, table, 5, 1, 0, 1, ".seq", 0), 1u);
  EXPECT_EQ(testing::ReadBytes(FileOf(".seq")), (Bytes{0x41, 0x42, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST_F(UncompressLzss, VersionFixNeedsMoreThanEightBytes) {
  const Bytes eight = HeaderItem(Str(std::string("pQES\0\0\0\0", 8)));
  DataOfs table = Table({5});
  Run(eight, table, 5, 1, 0, 0, ".seq", 1);
  EXPECT_EQ(testing::ReadBytes(FileOf(".seq")), Str(std::string("pQES\0\0\0\0", 8)));

  Bytes nine = HeaderItem(Str(std::string("pQES\0\0\0\0", 8)));
  nine[0] = 9;
  nine.insert(nine.end(), {0xFF, 0x30});  // a second group for the ninth literal
  Run(nine, table, 5, 1, 0, 0, ".seq", 1);
  EXPECT_EQ(testing::ReadBytes(FileOf(".seq")), Str(std::string("pQES\0\0\0\x01\x30", 9)));

  Run(nine, table, 5, 1, 0, 0, ".seq", 0);  // without the fix byte 7 stays
  EXPECT_EQ(testing::ReadBytes(FileOf(".seq")), Str(std::string("pQES\0\0\0\0\x30", 9)));
}

TEST_F(UncompressLzss, OtherExtensionsHandleNoItem) {
  const Bytes input = HeaderItem(Str(std::string("pQES\0\0\0\x01", 8)));
  DataOfs table = Table({5});
  EXPECT_EQ(Run(input, table, 5, 1, 0, 0, ".sep", 0), 1u);
  EXPECT_EQ(out_, "\n");
  EXPECT_EQ(dir_.List().size(), 0u);
  EXPECT_EQ(table.seqCreated[0], 0u);
}

TEST_F(UncompressLzss, ItemsTooCloseToTheStartAreSkippedButCounted) {
  // Signature at offset 3: the size field 5 bytes back lies before the input.
  const Bytes input = {0x00, 0x00, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};
  DataOfs table = Table({3});
  EXPECT_EQ(Run(input, table, 5, 1, 0, 0, ".seq", 0), 1u);
  EXPECT_EQ(dir_.List().size(), 0u);
  EXPECT_EQ(table.seqCreated[0], 0u);
  EXPECT_EQ(out_, "\rUncompress    1/   1\n");
  // The stream start itself before the input: skipped in scan mode too.
  DataOfs first = Table({0});
  EXPECT_EQ(Run(input, first, 5, 1, 0, 1, ".seq", 0), 1u);
  EXPECT_EQ(dir_.List().size(), 0u);
}

TEST_F(UncompressLzss, SizesAbove16MiBAreSkipped) {
  Bytes input = {0x01, 0x00, 0x00, 0x01, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};  // 16 MiB + 1
  Bytes exact = {0x00, 0x00, 0x00, 0x01, 0xFF, 'p', 'Q', 'E', 'S', 0, 0, 0, 1};  // 16 MiB
  DataOfs table = Table({5, 18});
  input.insert(input.end(), exact.begin(), exact.end());
  EXPECT_EQ(Run(input, table, 5, 1, 0, 0, ".seq", 0), 1u);
  EXPECT_EQ(table.seqCreated, (std::vector<std::uint32_t>{0, 1}));
  EXPECT_FALSE(testing::fs::exists(FileOf("_1.seq")));
  // The second stream runs off the input after its eight literals.
  EXPECT_EQ(testing::ReadBytes(FileOf("_2.seq")), Str(std::string("pQES\0\0\0\x01", 8)));
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
  DataOfs table = Table(ofs);
  EXPECT_EQ(Run(input, table, 5, 1, 0, 0, ".seq", 0), 1u);
  EXPECT_EQ(dir_.List().size(), 600u);
  // The last item's stream: its flag byte FF, then eight literals, then the
  // end of the input.
  EXPECT_EQ(testing::ReadBytes(FileOf("_600.seq")), Str(std::string("pQES\0\0\0\x01", 8)));
  // The first one runs through every later unit, which are its stream.
  const Bytes first = testing::ReadBytes(FileOf("_001.seq"));
  EXPECT_GT(first.size(), input.size() / 2);
  EXPECT_LT(first.size(), 9 * input.size());
  EXPECT_EQ(first, DecodeLzss(ByteSpan(input).subspan(4), 0x00FFFFFF, 0));
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 8), Str(std::string("pQES\0\0\0\x01", 8)));
}

TEST_F(UncompressLzss, ItemsAreNumberedByTheClassCount) {
  Bytes input;
  std::vector<std::uint32_t> ofs;
  for (int k = 0; k < 10; ++k) {
    const Bytes item = HeaderItem(Str(std::string("pQES\0\0\0\x01", 8)));
    ofs.push_back(static_cast<std::uint32_t>(input.size() + 5));
    input.insert(input.end(), item.begin(), item.end());
  }
  DataOfs table = Table(ofs);
  EXPECT_EQ(Run(input, table, 5, 1, 0, 0, ".sssq", 0), 1u);
  EXPECT_TRUE(testing::fs::exists(FileOf("_01.sssq")));
  EXPECT_TRUE(testing::fs::exists(FileOf("_10.sssq")));
  EXPECT_EQ(dir_.List().size(), 10u);
}

TEST_F(UncompressLzss, UnopenableOutputIsReportedAndStops) {
  const Bytes input = HeaderItem(Str(std::string("pQES\0\0\0\x01", 8)));
  DataOfs table = Table({5, 5});
  const std::string missing = dir_.File("no_such_dir/game.bin");
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  const std::uint32_t r = uncompressLzss(input, missing, 5, 1, 0, 0, ".seq", 0, table);
  ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(err.rfind("[F:uncompressLzss][L:", 0), 0u) << err;
  EXPECT_EQ(table.seqCreated, (std::vector<std::uint32_t>{0, 0}));
}

}  // namespace
}  // namespace psxdig
