// Writes seed inputs for the fuzz targets from the image generator: the demo
// image and small slices of it, each behind the parameter bytes a target reads.
#include <cstdio>
#include <fstream>
#include <string>

#include "image_banks.h"
#include "image_builder.h"
#include "image_compressed.h"
#include "image_disc.h"
#include "image_gameseq.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  std::vector<psxdig::tools::Planted> planted;
  const auto image = psxdig::tools::BuildDemoImage(&planted);
  int n = 0;
  auto write = [&](const std::vector<std::uint8_t>& params, std::size_t from, std::size_t len) {
    std::ofstream out(folder + "/seed_" + std::to_string(n++), std::ios::binary);
    out.write(reinterpret_cast<const char*>(params.data()), static_cast<std::streamsize>(params.size()));
    out.write(reinterpret_cast<const char*>(image.data() + from), static_cast<std::streamsize>(len));
  };
  // Each planted item with a little room around it, then the whole image.
  for (const auto& p : planted) {
    const std::size_t from = p.ofs >= 16 ? p.ofs - 16 : 0;
    const std::size_t len = std::min<std::size_t>(image.size() - from, p.size + 64);
    write({0x03, 0x00, 0x40, 0x00, 0x00, 0x00}, from, len);
  }
  write({0x07, 0x00, 0xFF, 0x00, 0x00, 0x00}, 0, image.size());
  // The game-specific sequence images, whole.
  for (const char* name : {"sssq", "kcet", "sntp", "seqg", "seqq", "sqv", "sseq", "mix"}) {
    const auto game = psxdig::tools::BuildGameSeqImage(name);
    std::ofstream out(folder + "/seed_" + std::to_string(n++), std::ios::binary);
    static constexpr char kParams[6] = {0x03, 0x00, 0x40, 0x00, 0x00, 0x00};
    out.write(kParams, sizeof kParams);
    out.write(reinterpret_cast<const char*>(game.data()), static_cast<std::streamsize>(game.size()));
  }

  // Seeds of the bank and dec targets: a target's parameter bytes, then a
  // whole image.
  auto writeImage = [&](const std::vector<std::uint8_t>& params, const std::vector<std::uint8_t>& img) {
    std::ofstream out(folder + "/seed_" + std::to_string(n++), std::ios::binary);
    out.write(reinterpret_cast<const char*>(params.data()), static_cast<std::streamsize>(params.size()));
    out.write(reinterpret_cast<const char*>(img.data()), static_cast<std::streamsize>(img.size()));
  };
  auto u32 = [](std::uint32_t v) {
    return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                     static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  };
  auto cat = [](std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const char* kBankKinds[] = {"vab", "vh2", "sshd", "inst"};
  for (std::uint8_t k = 0; k < 4; ++k) {
    std::vector<psxdig::tools::Planted> banks;
    const auto img = psxdig::tools::BuildBankImage(kBankKinds[k], &banks);
    const std::uint32_t first = banks.empty() ? 0 : banks.front().ofs;
    // bank_headers_fuzz: mode (class found / this class), 3 extra offsets,
    // offset-table position and header size.
    const std::vector<std::uint8_t> none(6, 0);
    writeImage(cat(cat(cat({0x00, 0x00}, none), u32(first)), u32(banks.empty() ? 0 : banks.front().size)), img);
    writeImage(cat(cat(cat({static_cast<std::uint8_t>(k + 1), 0x01}, {0x10, 0x00, 0, 0, 0, 0}), u32(0)), u32(0)), img);
    // vb_search_fuzz: flags (writers on; /n, /p2), sample count and sizes, x, first body.
    if (k < 2) {
      for (std::uint8_t flags : {0x08, 0x09, 0x0A}) {
        writeImage(cat(cat(cat({flags, 0x02}, {0x00, 0x01, 0x00, 0x02, 0, 0, 0, 0}), u32(first)), u32(0)), img);
      }
    }
    // sshd_inst_body_fuzz: mode (bit 0 ".inst"), extra offsets, x, body size.
    if (k >= 2) {
      writeImage(cat(cat(cat({static_cast<std::uint8_t>(k - 2), 0x00}, none), u32(first)), u32(0x400)), img);
    }
  }
  // lzss_fuzz: flags, size and stream offsets back, output size; dec_fuzz:
  // serial choice and flags. Both on the image of each release.
  struct Release {
    const char* serial;
    std::uint8_t lzssFlags;  // match bit, size mode << 1, ".sssq" << 2, version fix << 3
    std::uint8_t sizeBack;
    std::uint8_t streamBack;
    bool lzss;
  };
  constexpr Release kReleases[] = {
      {"00348", 0x08, 5, 1, true},  {"10028", 0x00, 5, 1, true},  {"10037", 0x00, 5, 1, true},
      {"00844", 0x01, 9, 1, true},  {"10089", 0x04, 12, 8, true}, {"02804", 0x02, 5, 1, true},
      {"03425", 0x02, 5, 1, true},  {"10105", 0, 0, 0, false},    {"00856", 0, 0, 0, false},
      {"01418", 0, 0, 0, false},    {"01751", 0, 0, 0, false},    {"91180", 0, 0, 0, false},
  };
  for (std::uint8_t k = 0; k < sizeof kReleases / sizeof kReleases[0]; ++k) {
    const Release& r = kReleases[k];
    psxdig::tools::DecImage dec;
    if (!psxdig::tools::BuildDecImage(r.serial, dec)) continue;
    writeImage({k, 0x00}, dec.image);
    if (r.lzss) {
      const std::uint32_t outSize = dec.planted.empty() ? 0 : dec.planted.front().size;
      writeImage(cat({r.lzssFlags, r.sizeBack, r.streamBack, 0}, u32(outSize)), dec.image);
      // The first stream alone, for the decoder and the size walk.
      if (!dec.planted.empty() && dec.planted.front().ofs >= r.streamBack) {
        const auto from = dec.image.begin() + (dec.planted.front().ofs - r.streamBack);
        writeImage(cat({r.lzssFlags, 0, 0, 0}, u32(outSize)), std::vector<std::uint8_t>(from, dec.image.end()));
      }
    } else if (std::string(r.serial) == "10105" && !dec.planted.empty()) {
      writeImage(u32(dec.planted.front().ofs), dec.image);  // brightis_fuzz: an offset
    } else if (std::string(r.serial) == "00856") {
      writeImage({}, dec.image);  // gust_fuzz: the stream alone
    }
  }
  // image_fuzz: CUE sheets (selector 0), then a small ISO tree as it is, as
  // raw 2352 and 2336 sectors (selector 1: detected; 2: forced kind, LBA 0).
  for (const char* cue : {"FILE \"game.bin\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n"
                          "  TRACK 02 AUDIO\r\n    PREGAP 00:02:00\r\n    INDEX 01 00:02:31\r\n",
                          "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE \"b c.bin\" BINARY\n"
                          "TRACK 02 MODE2/2336\nINDEX 00 00:00:00\nINDEX 01 00:02:00\n"}) {
    const std::string text(cue);
    writeImage({0x00}, std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  const auto iso = psxdig::tools::BuildSmallIso({{"A.SEQ", psxdig::tools::MakeSeq(2100, 7)},
                                                 {"DIR/B.VB", std::vector<std::uint8_t>(300, 0x11)},
                                                 {"DIR/C.BIN", std::vector<std::uint8_t>(50, 0x22)}});
  const std::uint8_t kinds[] = {1, 2, 3};
  const std::vector<std::uint8_t> images[] = {iso, psxdig::tools::WrapIso(iso), psxdig::tools::WrapIso(iso, true)};
  for (std::size_t k = 0; k < 3; ++k) {
    writeImage({0x01}, images[k]);
    writeImage({0x02, kinds[k], 0x00}, images[k]);
  }
  return 0;
}
