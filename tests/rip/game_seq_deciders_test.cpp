// Where a game sequence format's item starts and how long it is, at the
// limits of its rules, on hand-built buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "rip/game_seq_writers.h"

namespace psxdig {
namespace {

using Bytes = std::vector<std::uint8_t>;

// `n` bytes of 0x11 (no marker of any format) with `text` at `at` and the
// bytes of `marks` (offset, bytes) put in.
Bytes Buf(std::size_t n, std::size_t at, const char* text, std::vector<std::pair<std::size_t, Bytes>> marks) {
  Bytes b(n, 0x11);
  std::memcpy(b.data() + at, text, std::strlen(text));
  for (const auto& [ofs, bytes] : marks) std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(ofs));
  return b;
}

TEST(GameSeqItem, LimitsOfTheSizeRules) {
  using Finder = std::optional<ItemSpan> (*)(ByteSpan, std::uint32_t);
  const Bytes eot = {0xFF, 0x2F, 0x00};
  const struct {
    Finder find;
    Bytes buf;
    std::uint32_t sig;
    std::optional<ItemSpan> item;
  } cases[] = {
      // SSsq: 12 bytes before the signature up to the end of the first FF 2F 00, at most 65538 past it.
      {FindSssqItem, Buf(65600, 12, "SSsq", {{12 + 65535, eot}}), 12, ItemSpan{0, 65550}},
      {FindSssqItem, Buf(65600, 12, "SSsq", {{12 + 65536, eot}}), 12, std::nullopt},
      // .sqv: no track words, the first marker may end at 65539 at most.
      {FindSqvItem, Buf(65600, 0, ".sqv", {{8, Bytes(8, 0)}, {65536, eot}}), 0, ItemSpan{0, 65539}},
      {FindSqvItem, Buf(65600, 0, ".sqv", {{8, Bytes(8, 0)}, {65537, eot}}), 0, std::nullopt},
      // SSEQ: up to and including the first F3, up to item offset 65535.
      {FindSseqItem, Buf(100, 4, "SSEQ", {{8, {0x28, 0, 0, 0}}, {14, {0xF3}}, {30, {0xF3}}}), 4, ItemSpan{4, 11}},
      {FindSseqItem, Buf(100, 4, "SSEQ", {}), 4, std::nullopt},
      {FindSseqItem, Buf(70000, 0, "SSEQ", {{65535, {0xF3}}}), 0, ItemSpan{0, 65536}},
      {FindSseqItem, Buf(70000, 0, "SSEQ", {{65536, {0xF3}}}), 0, std::nullopt},
  };
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    EXPECT_EQ(cases[k].find(cases[k].buf, cases[k].sig), cases[k].item) << "case " << k;
  }
}

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
