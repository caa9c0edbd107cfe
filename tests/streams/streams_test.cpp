// The deciders of src/streams on small buffers: VAG headers and XA coding
// bytes (tables), a hand-made 8-bit sound group, and the real VAG fixture
// against the recording it was encoded from.
#include <gtest/gtest.h>

#include <cmath>

#include "streams/streams.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;

Bytes VagBytes(const char* magic, std::uint32_t version, std::uint32_t size, std::uint32_t rate, std::uint8_t head,
               std::size_t dataBytes) {
  Bytes b(48 + dataBytes, 0);
  std::copy_n(magic, 4, b.begin());
  for (int k = 0; k < 4; ++k) {
    b[4 + k] = static_cast<std::uint8_t>(version >> (24 - 8 * k));
    b[12 + k] = static_cast<std::uint8_t>(size >> (24 - 8 * k));
    b[16 + k] = static_cast<std::uint8_t>(rate >> (24 - 8 * k));
  }
  std::copy_n("name", 4, b.begin() + 32);
  if (dataBytes > 0) b[48] = head;
  return b;
}

TEST(Streams, VagHeadersAreTakenByTheRecognitionRules) {
  struct {
    const char* what;
    Bytes bytes;
    std::uint64_t extent;  // 0: rejected
    const char* why;
  } cases[] = {
      {"plain", VagBytes("VAGp", 0x20, 64, 44100, 0x00, 64), 112, ""},
      {"size 4 GB: cut at the data", VagBytes("VAGp", 3, 0xFFFFFFF0u, 22050, 0x4C, 64), 112, ""},
      {"rate 0", VagBytes("VAGp", 0x20, 64, 0, 0, 64), 0, "sample rate 0 Hz"},
      {"rate above 192000", VagBytes("VAGp", 0x20, 64, 192001, 0, 64), 0, "sample rate 192001"},
      {"size not whole blocks", VagBytes("VAGp", 0x20, 40, 44100, 0, 64), 0, "not a multiple of 16"},
      {"size 0", VagBytes("VAGp", 0x20, 0, 44100, 0, 64), 0, "not a multiple of 16"},
      {"version 0x100", VagBytes("VAGp", 0x100, 64, 44100, 0, 64), 0, "version 256"},
      {"filter 5", VagBytes("VAGp", 0x20, 64, 44100, 0x50, 64), 0, "first ADPCM block"},
      {"shift 13", VagBytes("VAGp", 0x20, 64, 44100, 0x0D, 64), 0, "first ADPCM block"},
      {"cut header", Bytes(40, 0), 0, "cut short"},
      {"other magic", VagBytes("pGAV", 0x20, 64, 44100, 0, 64), 0, "no VAG magic"},
  };
  std::copy_n("VAGp", 4, cases[9].bytes.begin());
  for (const auto& c : cases) {
    std::string why;
    const auto h = streams::ReadVagHeader(c.bytes, 0, c.bytes.size(), &why);
    EXPECT_EQ(h ? h->extent : 0, c.extent) << c.what;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.what << ": " << why;
    if (h) {
      EXPECT_EQ(h->name, "name");
    }
  }
  // A size field that claims more than is there: what is there is decoded.
  const Bytes big = VagBytes("VAGp", 3, 0xFFFFFFF0u, 22050, 0x4C, 64);
  const auto h = streams::ReadVagHeader(big, 0, big.size());
  ASSERT_TRUE(h);
  EXPECT_EQ(streams::DecodeVag(big, *h).left.pcm.size(), 4u * 28);
  EXPECT_EQ(streams::FindVagMagics(testing::Str("..VAGp..VAGi.VAG")), (std::vector<std::uint64_t>{2, 8}));
}

TEST(Streams, InterleavedVagLayoutIsUsedOnlyWhenSane) {
  const struct {
    std::uint32_t interleave;
    std::uint8_t channels;
    bool sane;
  } cases[] = {{0x800, 2, true}, {0x10, 1, true}, {0, 2, false}, {0x810, 2, true}, {0x801, 2, false}, {0x800, 3, false}};
  for (const auto& c : cases) {
    Bytes b = VagBytes("VAGi", 0x20, 0x1000, 44100, 0, 0x1000 + 0x800 - 48);
    for (int k = 0; k < 4; ++k) b[8 + k] = static_cast<std::uint8_t>(c.interleave >> (8 * k));
    b[0x1E] = c.channels;
    const auto h = streams::ReadVagHeader(b, 0, b.size());
    ASSERT_TRUE(h) << c.interleave;
    EXPECT_EQ(h->layoutSane, c.sane) << c.interleave << " " << int(c.channels);
    EXPECT_EQ(h->extent, 0x1800u);
    if (c.sane) {
      EXPECT_EQ(streams::DecodeVag(b, *h).channels, c.channels);
    }
  }
}

TEST(Streams, XaCodingBytes) {
  const struct {
    std::uint8_t byte;
    std::uint32_t channels, rate, bits;  // channels 0: reserved values
    std::uint32_t perSector;
  } cases[] = {{0x00, 1, 37800, 4, 4032}, {0x01, 2, 37800, 4, 2016}, {0x04, 1, 18900, 4, 4032},
               {0x10, 1, 37800, 8, 2016}, {0x15, 2, 18900, 8, 1008}, {0x41, 2, 37800, 4, 2016},
               {0x02, 0, 0, 0, 0},        {0x03, 0, 0, 0, 0},        {0x08, 0, 0, 0, 0},
               {0x20, 0, 0, 0, 0},        {0x30, 0, 0, 0, 0},        {0x80, 0, 0, 0, 0}};
  for (const auto& c : cases) {
    const auto coding = streams::ReadXaCoding(c.byte);
    ASSERT_EQ(coding.has_value(), c.channels != 0) << int(c.byte);
    if (!coding) continue;
    EXPECT_EQ(coding->channels, c.channels);
    EXPECT_EQ(coding->rate, c.rate);
    EXPECT_EQ(coding->bits, c.bits);
    EXPECT_EQ(coding->SamplesPerSector(), c.perSector);
  }
}

// 8-bit sound groups whose samples are known: filter 0 and shift 0 give
// byte * 256; filter 1 on zero data halves nothing but carries the history.
TEST(Streams, EightBitSoundGroupsDecodeUnitByUnit) {
  Bytes sector(2304, 0);
  for (int u = 0; u < 4; ++u) {
    for (int j = 0; j < 28; ++j) sector[16 + 4 * j + u] = static_cast<std::uint8_t>(j - 10 * u);
  }
  streams::XaHistory mono, stereo;
  std::vector<std::int16_t> m, s;
  streams::DecodeXaSector(sector, *streams::ReadXaCoding(0x10), mono, m);
  streams::DecodeXaSector(sector, *streams::ReadXaCoding(0x11), stereo, s);
  ASSERT_EQ(m.size(), 18u * 112);
  ASSERT_EQ(s.size(), 18u * 112);
  for (int u = 0; u < 4; ++u) {
    for (int j = 0; j < 28; ++j) {
      const int v = static_cast<std::int8_t>(j - 10 * u) * 256;
      EXPECT_EQ(m[u * 28 + j], v);
      EXPECT_EQ(s[(u / 2) * 56 + 2 * j + (u & 1)], v);  // even units left, odd right
    }
  }
  // Group 1 is all zero with filter 1: each sample is 60/64 of the one before.
  EXPECT_EQ(m[112], 0);  // parameter byte 0: filter 0
  sector[128 + 4] = 0x10;
  m.clear();
  streams::XaHistory again;
  streams::DecodeXaSector(sector, *streams::ReadXaCoding(0x10), again, m);
  const int last = 27 * 256 - 30 * 256;  // unit 3's last sample of group 0
  EXPECT_EQ(m[112], (last * 60 + 32) >> 6);
  EXPECT_EQ(m[113], (m[112] * 60 + 32) >> 6);
  std::vector<std::int16_t> none;
  streams::DecodeXaSector(ByteSpan(sector).first(2303), *streams::ReadXaCoding(0), again, none);
  EXPECT_TRUE(none.empty());
}

// The real sample against the recording it was encoded from.
TEST(Streams, RealVagResemblesItsRecording) {
  const Bytes vag = testing::ReadBytes(PSXDIG_FIXTURES "/TRAYCL.VAG");
  const Bytes wav = testing::ReadBytes(PSXDIG_FIXTURES "/TRAYCL.wav");
  if (vag.empty() || wav.size() < 44) GTEST_SKIP() << "../shared/fixtures missing";
  const auto h = streams::ReadVagHeader(vag, 0, vag.size());
  ASSERT_TRUE(h);
  EXPECT_EQ(h->rate, 44100u);
  const std::vector<std::int16_t> ours = streams::DecodeVag(vag, *h).left.pcm;
  std::vector<double> x, y;
  const std::size_t end = std::min<std::size_t>(wav.size(), 44 + ReadU32LE(wav, 40));  // the data chunk
  for (std::size_t k = 44; k + 1 < end && (k - 44) / 2 + 28 < ours.size(); k += 2) {
    y.push_back(static_cast<std::int16_t>(wav[k] | wav[k + 1] << 8));
    x.push_back(ours[(k - 44) / 2 + 28]);  // past the leading zero block
  }
  ASSERT_GT(x.size(), 14000u);
  double mx = 0, my = 0, sxy = 0, sxx = 0, syy = 0;
  for (std::size_t k = 0; k < x.size(); ++k) mx += x[k] / x.size(), my += y[k] / y.size();
  for (std::size_t k = 0; k < x.size(); ++k) {
    sxy += (x[k] - mx) * (y[k] - my), sxx += (x[k] - mx) * (x[k] - mx), syy += (y[k] - my) * (y[k] - my);
  }
  // 0.99892 measured (ffmpeg's own decode: 0.99888): the encoding's loss.
  EXPECT_GE(sxy / std::sqrt(sxx * syy), 0.9985);
}

}  // namespace
}  // namespace psxdig
