// The generator's encoders must produce streams that the decoders turn back
// into exactly the planned bytes; the end-to-end tests rely on them.
#include <gtest/gtest.h>

#include "decompress/decompressors.h"
#include "image_compressed.h"

namespace psxdig {
namespace {

using tools::Bytes;

TEST(EncoderRoundTrip, LzssStreamsDecodeAndScanToThePlainBytes) {
  const Bytes plain = tools::MakeRepetitiveSeq(40, 5);
  for (std::uint32_t matchBit : {0u, 1u}) {
    tools::LzssEncoder enc(matchBit, plain.size());
    enc.Compress(plain);
    const Bytes stream = enc.Finish(false);
    EXPECT_EQ(DecodeLzss(stream, static_cast<std::uint32_t>(plain.size()), matchBit), plain);
    EXPECT_LT(stream.size(), plain.size() * 3 / 4);  // references were found
  }
  // A terminated stream scans to at least the plain size and cuts back to it.
  const Bytes short20 = tools::MakeRepetitiveSeq(20, 6);
  tools::LzssEncoder enc(0, short20.size());
  enc.Compress(short20);
  const Bytes stream = enc.Finish(true);
  const std::uint64_t size = ScanLzssSize(stream);
  EXPECT_GE(size, short20.size());
  EXPECT_LT(size, short20.size() + 8);
  Bytes out = DecodeLzss(stream, static_cast<std::uint32_t>(size), 0);
  CutAtEndOfTrack(out);
  EXPECT_EQ(out, short20);
}

TEST(EncoderRoundTrip, BrightisAndGustStreamsDecodeToThePlainBytes) {
  const Bytes plain = tools::MakeRepetitiveSeq(30, 7);
  Bytes input = {0x00, 15};
  const Bytes item = tools::EncodeBrightis(plain, 15);
  input.insert(input.end(), item.begin(), item.end());
  input.insert(input.end(), 50, 0x33);  // whatever follows is not decoded
  Bytes out;
  ASSERT_TRUE(DecodeBrightis(input, 2, out));
  EXPECT_EQ(out, plain);
  EXPECT_LT(item.size(), plain.size());

  tools::GustEncoder enc;
  enc.Compress(Bytes(600, 0));
  enc.Literals({0xD0, 0xD4, 0xD7, 0xD8, 0xE2, 0xE3, 0xE6, 0x41});
  enc.Compress(tools::MakeRepetitiveSeq(30, 8));
  EXPECT_EQ(DecodeGust(enc.stream()), enc.plain());
  EXPECT_LT(enc.stream().size(), enc.plain().size() / 2);
}

}  // namespace
}  // namespace psxdig
