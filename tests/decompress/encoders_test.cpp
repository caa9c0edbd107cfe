// The generator's encoders must produce streams that the decoders turn back
// into exactly the planned bytes; the end-to-end tests rely on them.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/output.h"
#include "decompress/decompressors.h"
#include "image_compressed.h"

namespace psxdig {
namespace {

using tools::Bytes;

class CompressedImages : public ::testing::TestWithParam<const char*> {};

TEST(LzssEncoderRoundTrip, StreamsDecodeToThePlainBytesAndUseReferences) {
  const Bytes plain = tools::MakeRepetitiveSeq(40, 5);
  for (std::uint32_t matchBit : {0u, 1u}) {
    tools::LzssEncoder enc(matchBit, plain.size());
    enc.Compress(plain);
    const Bytes stream = enc.Finish(false);
    EXPECT_EQ(DecodeLzss(stream, static_cast<std::uint32_t>(plain.size()), matchBit), plain);
    EXPECT_LT(stream.size(), plain.size() * 3 / 4);  // references were found
  }
}

TEST(LzssEncoderRoundTrip, TerminatedStreamsScanToAtLeastThePlainSize) {
  const Bytes plain = tools::MakeRepetitiveSeq(20, 6);
  tools::LzssEncoder enc(0, plain.size());
  enc.Compress(plain);
  const Bytes stream = enc.Finish(true);
  const std::uint64_t size = ScanLzssSize(stream);
  EXPECT_GE(size, plain.size());
  EXPECT_LT(size, plain.size() + 8);
  Bytes out = DecodeLzss(stream, static_cast<std::uint32_t>(size), 0);
  CutAtEndOfTrack(out);
  EXPECT_EQ(out, plain);
}

TEST(LzssEncoderRoundTrip, WindowArithmeticMatchesTheDecoder) {
  // Position (from - 18) mod 4096 addresses `from` for sources up to 4089 back.
  EXPECT_EQ(tools::LzssSourceOf(5000, (4000 - 18) & 0xFFF), 4000u);
  EXPECT_EQ(tools::LzssSourceOf(20, 1), 19u);
  EXPECT_EQ(tools::LzssSourceOf(20, 4078), 4096u);
}

TEST(BrightisEncoderRoundTrip, ItemsDecodeToThePlainSequence) {
  const Bytes plain = tools::MakeRepetitiveSeq(30, 7);
  Bytes input = {0x00, 15};
  const Bytes item = tools::EncodeBrightis(plain, 15);
  input.insert(input.end(), item.begin(), item.end());
  input.insert(input.end(), 50, 0x33);  // whatever follows is not decoded
  Bytes out;
  ASSERT_TRUE(DecodeBrightis(input, 2, out));
  EXPECT_EQ(out, plain);
  EXPECT_LT(item.size(), plain.size());
}

TEST(GustEncoderRoundTrip, StreamsDecodeToThePlainBytes) {
  tools::GustEncoder enc;
  enc.Compress(Bytes(600, 0));
  enc.Literals({0xD0, 0xD4, 0xD7, 0xD8, 0xE2, 0xE3, 0xE6, 0x41});
  enc.Compress(tools::MakeRepetitiveSeq(30, 8));
  EXPECT_EQ(DecodeGust(enc.stream()), enc.plain());
  EXPECT_LT(enc.stream().size(), enc.plain().size() / 2);
}

TEST_P(CompressedImages, HoldTheirItemsAtThePlantedSignatures) {
  tools::DecImage image;
  ASSERT_TRUE(tools::BuildDecImage(GetParam(), image));
  ASSERT_FALSE(image.planted.empty());
  // Every planted signature is found by the dec search, and nothing else.
  DataOfs table;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(GetDataOfs(image.image, 0, 2048, 0, table, 1, ErrorLog()), 1u);
  ::testing::internal::GetCapturedStdout();
  std::vector<std::uint32_t> planted;
  for (const auto& p : image.planted) planted.push_back(p.ofs);
  EXPECT_EQ(table.seqOfs, planted);
}

INSTANTIATE_TEST_SUITE_P(EveryRelease, CompressedImages,
                         ::testing::Values("00348", "10028", "10037", "00844", "10089", "02804",
                                           "03425", "10105", "00856", "01418", "01751", "91180"));

TEST(CompressedImagesUnknown, SerialWithoutDecompressorBuildsNothing) {
  tools::DecImage image;
  EXPECT_FALSE(tools::BuildDecImage("12345", image));
}

}  // namespace
}  // namespace psxdig
