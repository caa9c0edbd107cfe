// Where each game sequence format's item starts and how long it is, on
// hand-built buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "rip/game_seq_writers.h"

namespace psxdig {
namespace {

// A buffer of `n` bytes of 0x11 (no marker of any format) with fields put in.
class Buf {
 public:
  explicit Buf(std::size_t n) : bytes_(n, 0x11) {}
  Buf& Text(std::size_t at, const char* text) {
    std::memcpy(bytes_.data() + at, text, std::strlen(text));
    return *this;
  }
  Buf& U32(std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes_[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    return *this;
  }
  Buf& Raw(std::size_t at, std::vector<std::uint8_t> v) {
    std::copy(v.begin(), v.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
    return *this;
  }
  Buf& EndOfTrack(std::size_t at) { return Raw(at, {0xFF, 0x2F, 0x00}); }
  Buf& SntpMarker(std::size_t at) { return Raw(at, {0x00, 0x00, 0x20, 0x00}); }
  ByteSpan span() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

using Span = std::optional<ItemSpan>;
Span At(std::uint32_t start, std::uint32_t size) { return ItemSpan{start, size}; }

// ---- SSsq: 12 bytes before the signature up to the end of FF 2F 00 ----

// "SSsq" at offset 12, FF 2F 00 ending `markerEnd` bytes after it.
Buf SssqWithMarkerEnd(std::size_t markerEnd) {
  Buf b(12 + markerEnd + 16);
  return b.Text(12, "SSsq").EndOfTrack(12 + markerEnd - 3);
}

TEST(SssqItem, SizeRunsToTheFirstMarkerEndUpTo65538) {
  EXPECT_EQ(FindSssqItem(SssqWithMarkerEnd(40).span(), 12), At(0, 52));
  EXPECT_EQ(FindSssqItem(SssqWithMarkerEnd(41).span(), 12), At(0, 53));
  EXPECT_EQ(FindSssqItem(SssqWithMarkerEnd(65538).span(), 12), At(0, 65550));
  EXPECT_EQ(FindSssqItem(SssqWithMarkerEnd(65539).span(), 12), std::nullopt);
  Buf b = SssqWithMarkerEnd(300);
  b.EndOfTrack(16);  // the first marker wins and may follow the signature at once
  EXPECT_EQ(FindSssqItem(b.span(), 12), At(0, 19));
}

TEST(SssqItem, RejectedWithoutRoomForItsPrefixOrWithACutMarker) {
  Buf near(60);
  near.Text(11, "SSsq").EndOfTrack(40);
  EXPECT_EQ(FindSssqItem(near.span(), 11), std::nullopt);
  Buf cut(42);  // FF 2F at 40..41, its 00 would lie past the end
  cut.Text(12, "SSsq").Raw(40, {0xFF, 0x2F});
  EXPECT_EQ(FindSssqItem(cut.span(), 12), std::nullopt);
}

// ---- KCET: the length at bytes 4..7 plus 8 ----

TEST(KcetItem, LengthPlusEightUpToTheEndOfTheInput) {
  auto find = [](std::uint32_t length, std::size_t bufferSize) {
    Buf b(bufferSize);
    b.Text(20, "KCET").U32(24, length);
    return FindKcetItem(b.span(), 20);
  };
  EXPECT_EQ(find(100, 20 + 108), At(20, 108));
  EXPECT_EQ(find(100, 20 + 107), std::nullopt);
  EXPECT_EQ(find(0, 200), std::nullopt);  // length 0, or one that would wrap
  EXPECT_EQ(find(0xFFFFFFFF, 200), std::nullopt);
  EXPECT_EQ(find(0xFFFFFFF8, 200), std::nullopt);
  Buf b(26);  // the length field lies past the end
  b.Text(20, "KCET");
  EXPECT_EQ(FindKcetItem(b.span(), 20), std::nullopt);
}

// ---- SNTp: a walk over two 00 00 20 00 markers on a 4-byte grid ----

class SntpItem : public ::testing::Test {
 protected:
  // Item at `start`: 02 00 00 00, A at 8..11, "SNTp" at 12..15.
  static Buf Item(std::size_t start, std::uint32_t a, std::size_t n = 128) {
    Buf b(start + n);
    b.U32(start, 2).U32(start + 8, a).Text(start + 12, "SNTp");
    return b;
  }
};

TEST_F(SntpItem, WalkWithAOf16GivesSize44AndPassesOverMarkersOffTheGrid) {
  Buf a = Item(100, 16);
  a.U32(120, 8).SntpMarker(124).SntpMarker(140);
  EXPECT_EQ(FindSntpItem(a.span(), 112), At(100, 44));
  Buf b = Item(0, 16);
  b.SntpMarker(22).U32(28, 4).SntpMarker(32);  // grid 20, 24, 28, 32: X = 32
  b.SntpMarker(42).SntpMarker(48);             // grid 40, 44, 48: second marker at 48
  EXPECT_EQ(FindSntpItem(b.span(), 12), At(0, 52));
}

TEST_F(SntpItem, ThirdByteNotZeroTakesTheLengthFourBytesFurtherBack) {
  Buf b = Item(0, 16);
  b.U32(20, 8).Raw(24, {0x05, 0x00, 0x01, 0x00}).SntpMarker(28).SntpMarker(40);
  EXPECT_EQ(FindSntpItem(b.span(), 12), At(0, 44));
  // Only the third byte counts: 04 01 00 00 is itself the length 260.
  Buf c = Item(0, 16, 400);
  c.U32(20, 8).Raw(24, {0x04, 0x01, 0x00, 0x00}).SntpMarker(28).SntpMarker(28 + 260 + 4);
  EXPECT_EQ(FindSntpItem(c.span(), 12), At(0, 28 + 260 + 8));
}

TEST_F(SntpItem, LengthFurtherBackMayLieBeforeTheItemButNotBeforeTheInput) {
  // A = 0: the first marker is at item offset 4, and item byte 2 is not 0,
  // so the length stands 4 bytes before the item.
  Buf inside = Item(4, 0);
  inside.U32(0, 8).Raw(4, {0x02, 0x00, 0x07, 0x00}).SntpMarker(8).SntpMarker(4 + 16);
  EXPECT_EQ(FindSntpItem(inside.span(), 16), At(4, 20));
  Buf outside = Item(0, 0);
  outside.Raw(0, {0x02, 0x00, 0x07, 0x00}).SntpMarker(4).SntpMarker(16);
  EXPECT_EQ(FindSntpItem(outside.span(), 12), std::nullopt);
}

TEST_F(SntpItem, MissingMarkersAndHugeFieldsAreRejected) {
  Buf noFirst = Item(0, 16);
  EXPECT_EQ(FindSntpItem(noFirst.span(), 12), std::nullopt);
  Buf noSecond = Item(0, 16);
  noSecond.U32(20, 8).SntpMarker(24);
  EXPECT_EQ(FindSntpItem(noSecond.span(), 12), std::nullopt);
  Buf hugeA = Item(0, 0xFFFFFFF0);
  hugeA.SntpMarker(20);
  EXPECT_EQ(FindSntpItem(hugeA.span(), 12), std::nullopt);
  Buf hugeB = Item(0, 16);
  hugeB.U32(20, 0xFFFFFFF0).SntpMarker(24).SntpMarker(40);
  EXPECT_EQ(FindSntpItem(hugeB.span(), 12), std::nullopt);
  EXPECT_EQ(FindSntpItem(Item(0, 16).span(), 11), std::nullopt);
}

// ---- SEQG: 8 plus the length at bytes 80..83 ----

TEST(SeqgItem, LengthAtByte80PlusEightWhateverItHolds) {
  Buf b(10 + 84);
  b.Text(10, "SEQG").U32(14, 0).U32(90, 76);
  EXPECT_EQ(FindSeqgItem(b.span(), 10), At(10, 84));
  b.U32(90, 0);
  EXPECT_EQ(FindSeqgItem(b.span(), 10), At(10, 8));
  b.U32(90, 77);
  EXPECT_EQ(FindSeqgItem(b.span(), 10), std::nullopt);
  b.U32(90, 0xFFFFFFFF);
  EXPECT_EQ(FindSeqgItem(b.span(), 10), std::nullopt);
  EXPECT_EQ(FindSeqgItem(b.span(), 11), std::nullopt);  // length field past the end
}

// ---- SEQq: 60 bytes before the signature plus the length at item bytes 0..3 ----

TEST(SeqqItem, LengthOf1000GivesA1060ByteItemSixtyBytesBefore) {
  Buf b(200 + 1060);
  b.U32(200, 1000).Text(260, "qQES");
  EXPECT_EQ(FindSeqqItem(b.span(), 260), At(200, 1060));
  b.U32(200, 1001);
  EXPECT_EQ(FindSeqqItem(b.span(), 260), std::nullopt);
  b.U32(200, 0xFFFFFFFF);
  EXPECT_EQ(FindSeqqItem(b.span(), 260), std::nullopt);
  Buf near(200);  // a signature closer than sixty bytes to the start
  near.U32(0, 8).Text(60, "qQES");
  EXPECT_EQ(FindSeqqItem(near.span(), 60), At(0, 68));
  EXPECT_EQ(FindSeqqItem(near.span(), 59), std::nullopt);
}

// ---- .sqv: up to the end of the N-th FF 2F 00 ----

class SqvItem : public ::testing::Test {
 protected:
  // ".sqv" at 0 with the two track words and markers ending at 30, 50 and 70.
  static Buf Item(std::uint32_t word8, std::uint32_t word12) {
    Buf b(100);
    b.Text(0, ".sqv").U32(8, word8).U32(12, word12);
    return b.EndOfTrack(27).EndOfTrack(47).EndOfTrack(67);
  }
};

TEST_F(SqvItem, TrackWordsChooseTheMarkerThatEndsTheItem) {
  EXPECT_EQ(FindSqvItem(Item(0, 0).span(), 0), At(0, 30));
  EXPECT_EQ(FindSqvItem(Item(5, 0).span(), 0), At(0, 50));
  EXPECT_EQ(FindSqvItem(Item(0, 5).span(), 0), At(0, 50));
  EXPECT_EQ(FindSqvItem(Item(5, 0x100).span(), 0), At(0, 70));
}

TEST_F(SqvItem, FewerMarkersThanTracksAShortHeaderOrAMarkerPast65535IsRejected) {
  Buf b(60);
  b.Text(0, ".sqv").U32(8, 1).U32(12, 1).EndOfTrack(27).EndOfTrack(47);
  EXPECT_EQ(FindSqvItem(b.span(), 0), std::nullopt);
  Buf shortHeader(15);
  shortHeader.Text(0, ".sqv").EndOfTrack(5);
  EXPECT_EQ(FindSqvItem(shortHeader.span(), 0), std::nullopt);
  Buf last(65600);
  last.Text(0, ".sqv").U32(8, 0).U32(12, 0).EndOfTrack(65536);
  EXPECT_EQ(FindSqvItem(last.span(), 0), At(0, 65539));
  Buf beyond(65600);
  beyond.Text(0, ".sqv").U32(8, 0).U32(12, 0).EndOfTrack(65537);
  EXPECT_EQ(FindSqvItem(beyond.span(), 0), std::nullopt);
}

// ---- SSEQ: up to and including the first F3 ----

TEST(SseqItem, RunsToTheFirstF3UpToItemOffset65535) {
  Buf b(100);
  b.Text(4, "SSEQ").Raw(8, {0x28, 0, 0, 0}).Raw(14, {0xF3}).Raw(30, {0xF3});
  EXPECT_EQ(FindSseqItem(b.span(), 4), At(4, 11));
  Buf none(100);
  none.Text(4, "SSEQ");
  EXPECT_EQ(FindSseqItem(none.span(), 4), std::nullopt);
  Buf last(70000);
  last.Text(0, "SSEQ").Raw(65535, {0xF3});
  EXPECT_EQ(FindSseqItem(last.span(), 0), At(0, 65536));
  Buf beyond(70000);
  beyond.Text(0, "SSEQ").Raw(65536, {0xF3});
  EXPECT_EQ(FindSseqItem(beyond.span(), 0), std::nullopt);
}

// ---- SEQq's fixed bank bodies ----

TEST(SeqqBodyRegions, ChosenByTheFileNameExtensionCaseSensitivelyAndCutToTheInput) {
  const auto q41 = GetSeqqBodyRegions("/iso/disc.Q41", 0x20000000);
  EXPECT_EQ(q41.first, (BodyRegion{216330604, 240848}));
  EXPECT_EQ(q41.second, (BodyRegion{216574152, 192048}));
  const auto q71 = GetSeqqBodyRegions("disc.Q71", 0x20000000);
  EXPECT_EQ(q71.first, (BodyRegion{300618060, 314000}));
  EXPECT_EQ(q71.second, (BodyRegion{300935132, 113552}));
  for (const char* other : {"/iso/disc.q41", "/iso.Q41/disc", "/iso/disc.Q41.bak", "Q41"}) {
    const auto r = GetSeqqBodyRegions(other, 0x20000000);
    EXPECT_EQ(r.first, BodyRegion{}) << other;
    EXPECT_EQ(r.second, BodyRegion{}) << other;
  }
  const auto partFirst = GetSeqqBodyRegions("a.Q41", 216330604 + 100);
  EXPECT_EQ(partFirst.first, (BodyRegion{216330604, 100}));
  EXPECT_EQ(partFirst.second, BodyRegion{});
  const auto partSecond = GetSeqqBodyRegions("a.Q41", 216574152 + 5);
  EXPECT_EQ(partSecond.first, (BodyRegion{216330604, 240848}));
  EXPECT_EQ(partSecond.second, (BodyRegion{216574152, 5}));
  const auto small = GetSeqqBodyRegions("a.Q71", 4096);
  EXPECT_EQ(small.first, BodyRegion{});
  EXPECT_EQ(small.second, BodyRegion{});
}

}  // namespace
}  // namespace psxdig
