// The Gust decoder and uncompressGust.
#include <gtest/gtest.h>

#include "decompress/decompressors.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;

TEST(GustDecode, EscapeTripleAndShortReference) {
  const Bytes in = {0x41, 0x42, 0x43, 0xD0, 0xD7, 0xD4, 0x31, 0x32, 0x33, 0x00, 0xE3, 0x02, 0x00};
  const Bytes expected = {0x41, 0x42, 0x43, 0xD7, 0x31, 0x32, 0x33, 0x31,
                          0x32, 0x33, 0x31, 0x32, 0x33, 0x31};
  EXPECT_EQ(DecodeGust(in), expected);
  // A copy from before the start writes zeros; D4 skips its fourth parameter.
  EXPECT_EQ(DecodeGust(Bytes{0xD7, 0x00}), Bytes(3, 0));
  EXPECT_EQ(DecodeGust(Bytes{0x41, 0x42, 0xE6, 0x00, 0x00, 0x00}), (Bytes{0x41, 0x42, 0, 0, 0, 0, 0}));
  EXPECT_EQ(DecodeGust(Bytes{0xD4, 0x61, 0x62, 0x63, 0x64, 0x65}),
            (Bytes{0x61, 0x62, 0x63, 0x61, 0x62, 0x63, 0x65}));
}

TEST(GustDecode, FixedSixteenBitAndOverlappingDistances) {
  Bytes in;
  for (std::uint8_t k = 0; k < 17; ++k) in.push_back(static_cast<std::uint8_t>(0x40 + k));
  Bytes base = in;
  auto run = [&](std::uint8_t code, std::size_t distance) {
    Bytes input = base;
    input.insert(input.end(), {code, 0x00});
    Bytes expected = base;
    for (int k = 0; k < 3; ++k) expected.push_back(expected[expected.size() - distance]);
    EXPECT_EQ(DecodeGust(input), expected) << std::hex << int{code};
  };
  run(0xD7, 16);
  run(0xD8, 17);
  run(0xE2, 15);
  in.assign(300, 0x11);
  in[0] = 0x22;  // 300 bytes back from the end of the literals
  in.insert(in.end(), {0xE6, 0x27, 0x01, 0x00});  // d = 0x127 + 5 = 300, length 5
  const Bytes out = DecodeGust(in);
  ASSERT_EQ(out.size(), 305u);
  EXPECT_EQ(out[300], 0x22);
  EXPECT_EQ(out[304], 0x11);
  EXPECT_EQ(DecodeGust(Bytes{0x41, 0x42, 0x43, 0x44, 0xE3, 0x00, 0x06}),
            (Bytes{0x41, 0x42, 0x43, 0x44, 0x41, 0x42, 0x43, 0x44, 0x41, 0x42, 0x43, 0x44, 0x41, 0x42}));
}

TEST(GustDecode, PlainInputIsCopiedAndCodesCutOffByTheEndProduceNothing) {
  const Bytes in = {0x00, 0x10, 0xD1, 0xE7, 0xFF, 0x70};
  EXPECT_EQ(DecodeGust(in), in);
  EXPECT_TRUE(DecodeGust({}).empty());
  EXPECT_EQ(DecodeGust(Bytes{0x41, 0xE3, 0x02}), (Bytes{0x41}));
  EXPECT_EQ(DecodeGust(Bytes{0x41, 0xD4, 0x61, 0x62, 0x63}), (Bytes{0x41}));
  EXPECT_EQ(DecodeGust(Bytes{0x41, 0xE6, 0x00, 0x00}), (Bytes{0x41}));
  EXPECT_EQ(DecodeGust(Bytes{0x41, 0xD0}), (Bytes{0x41}));
}

TEST(GustDecode, OutputStopsAtTenTimesTheInput) {
  // Three input bytes: at most 30 output bytes of the 1 + 258 asked for.
  const Bytes out = DecodeGust(Bytes{0x41, 0xD7, 0xFF});
  ASSERT_EQ(out.size(), 30u);
  EXPECT_EQ(out[0], 0x41);
  EXPECT_EQ(out[29], 0x00);
}

TEST(GustDecode, ArbitraryInputsStayInsideTheirBuffers) {
  std::uint32_t state = 4242;
  for (int round = 0; round < 500; ++round) {
    Bytes in(round % 80);
    for (auto& b : in) {
      state = state * 1103515245u + 12345u;
      // Mostly code bytes, to exercise every code near the end of the input.
      b = static_cast<std::uint8_t>((state >> 16) % 3 ? 0xD0 + (state >> 20) % 0x17 : state >> 24);
    }
    EXPECT_LE(DecodeGust(in).size(), 10 * in.size());
  }
}

TEST(UncompressGust, WritesOneDecFileNamedByTheItemCountOrReportsAFailedOpen) {
  testing::TempDir dir;
  const Bytes in = {0x41, 0xD4, 0x31, 0x32, 0x33, 0x00};
  DataOfs one = testing::SeqTable(".seq", {0});
  DataOfs two = testing::SeqTable(".seq", {0, 0});
  const testing::Captured c = testing::Capture([&] {
    EXPECT_EQ(uncompressGust(in, dir.File("a.bin"), one), 1u);
    EXPECT_EQ(uncompressGust(in, dir.File("b.bin"), two), 1u);
    EXPECT_EQ(uncompressGust(Bytes{0x41}, dir.File("missing/x.bin"), one), 0u);
  });
  EXPECT_EQ(c.out, "");  // no progress line
  EXPECT_EQ(c.err.rfind("[F:uncompressGust][L:", 0), 0u);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.bin.dec", "b.bin_1.dec"}));
  EXPECT_EQ(testing::ReadBytes(dir.File("a.bin.dec")), (Bytes{0x41, 0x31, 0x32, 0x33, 0x31, 0x32, 0x33}));
  EXPECT_EQ(two.seqCreated, (std::vector<std::uint32_t>{0, 0}));
}

}  // namespace
}  // namespace psxdig
