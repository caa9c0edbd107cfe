// Writes seed inputs for the fuzz targets from the image generator, one folder
// per target (<folder>/<target>/seed_N). A seed is the selector byte of one of
// the target's parsers, that parser's parameter bytes, then an image.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "image_audio.h"
#include "image_banks.h"
#include "image_builder.h"
#include "image_compressed.h"
#include "image_disc.h"
#include "image_gameseq.h"
#include "image_streams.h"

namespace {

using psxdig::tools::Bytes;

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes U32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

class SeedWriter {
 public:
  explicit SeedWriter(std::string folder) : folder_(std::move(folder)) {}
  void Add(const std::string& target, std::uint8_t selector, const Bytes& params, const Bytes& image) {
    std::filesystem::create_directories(folder_ + "/" + target);
    std::ofstream out(folder_ + "/" + target + "/seed_" + std::to_string(n_++), std::ios::binary);
    const Bytes seed = Cat(Cat({selector}, params), image);
    out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
  }

 private:
  std::string folder_;
  int n_ = 0;
};

// The parsers of every target; each gets the generic seeds.
struct Parser {
  const char* target;
  std::uint8_t selector;
};
constexpr Parser kParsers[] = {{"search_fuzz", 0}, {"search_fuzz", 1}, {"search_fuzz", 2}, {"run_fuzz", 0},
                               {"run_fuzz", 1},    {"decode_fuzz", 0}, {"decode_fuzz", 1}, {"decode_fuzz", 2},
                               {"bank_fuzz", 0},   {"bank_fuzz", 1},   {"bank_fuzz", 2}};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
    return 2;
  }
  SeedWriter seeds(argv[1]);
  auto everyParser = [&](const Bytes& params, const Bytes& image) {
    for (const Parser& p : kParsers) seeds.Add(p.target, p.selector, params, image);
  };
  // Generic: each planted item of the demo image with a little room around
  // it, the whole demo image, and the game sequence images.
  std::vector<psxdig::tools::Planted> planted;
  const Bytes demo = psxdig::tools::BuildDemoImage(&planted);
  const Bytes small = {0x03, 0x00, 0x40, 0x00, 0x00, 0x00};
  for (const auto& p : planted) {
    const std::size_t from = p.ofs >= 16 ? p.ofs - 16 : 0;
    const std::size_t len = std::min<std::size_t>(demo.size() - from, p.size + 64);
    everyParser(small, Bytes(demo.begin() + from, demo.begin() + from + len));
  }
  everyParser({0x07, 0x00, 0xFF, 0x00, 0x00, 0x00}, demo);
  for (const char* name : {"sssq", "kcet", "sntp", "seqg", "seqq", "sqv", "sseq", "mix"}) {
    everyParser(small, psxdig::tools::BuildGameSeqImage(name));
  }

  // The bank parsers on the bank image of each class.
  const char* kBankKinds[] = {"vab", "vh2", "sshd", "inst"};
  for (std::uint8_t k = 0; k < 4; ++k) {
    std::vector<psxdig::tools::Planted> banks;
    const Bytes img = psxdig::tools::BuildBankImage(kBankKinds[k], &banks);
    const std::uint32_t first = banks.empty() ? 0 : banks.front().ofs;
    const Bytes none(6, 0);
    // Headers: mode (class found / this class), 3 extra offsets, offset-table
    // position and header size.
    seeds.Add("bank_fuzz", 0, Cat(Cat(Cat({0x00, 0x00}, none), U32(first)), U32(banks.empty() ? 0 : banks.front().size)),
              img);
    seeds.Add("bank_fuzz", 0, Cat(Cat(Cat({static_cast<std::uint8_t>(k + 1), 0x01}, {0x10, 0x00, 0, 0, 0, 0}), U32(0)), U32(0)),
              img);
    // VAB bodies: flags (/n, last bank), sample count and sizes, x, first body.
    for (std::uint8_t flags : {0x00, 0x01, 0x05}) {
      if (k < 2) seeds.Add("bank_fuzz", 1, Cat(Cat(Cat({flags, 0x02}, {0x00, 0x01, 0x00, 0x02, 0, 0, 0, 0}), U32(first)), U32(0)), img);
    }
    // SShd bodies: x, body size.
    if (k == 2) seeds.Add("bank_fuzz", 2, Cat(U32(first), U32(0x400)), img);
  }

  // The dec run and the decoders on the image of each release.
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
    seeds.Add("run_fuzz", 1, {k, 0x00}, dec.image);
    if (r.lzss) {
      const std::uint32_t outSize = dec.planted.empty() ? 0 : dec.planted.front().size;
      seeds.Add("decode_fuzz", 0, Cat({r.lzssFlags, r.sizeBack, r.streamBack, 0}, U32(outSize)), dec.image);
      // The first stream alone, for the decoder and the size walk.
      if (!dec.planted.empty() && dec.planted.front().ofs >= r.streamBack) {
        const auto from = dec.image.begin() + (dec.planted.front().ofs - r.streamBack);
        seeds.Add("decode_fuzz", 0, Cat({r.lzssFlags, 0, 0, 0}, U32(outSize)), Bytes(from, dec.image.end()));
      }
    } else if (std::string(r.serial) == "10105" && !dec.planted.empty()) {
      seeds.Add("decode_fuzz", 1, U32(dec.planted.front().ofs), dec.image);
    } else if (std::string(r.serial) == "00856") {
      seeds.Add("decode_fuzz", 2, {}, dec.image);  // the stream alone
    }
  }
  // image_fuzz: CUE sheets (selector 0), then a small ISO tree as it is, as
  // raw 2352 and 2336 sectors (selector 1: detected; 2: forced kind, LBA 0).
  for (const char* cue : {"FILE \"game.bin\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n"
                          "  TRACK 02 AUDIO\r\n    PREGAP 00:02:00\r\n    INDEX 01 00:02:31\r\n",
                          "FILE a.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE \"b c.bin\" BINARY\n"
                          "TRACK 02 MODE2/2336\nINDEX 00 00:00:00\nINDEX 01 00:02:00\n"}) {
    const std::string text(cue);
    seeds.Add("image_fuzz", 0, {}, Bytes(text.begin(), text.end()));
  }
  const Bytes iso = psxdig::tools::BuildSmallIso({{"A.SEQ", psxdig::tools::MakeSeq(2100, 7)},
                                                  {"DIR/B.VB", Bytes(300, 0x11)},
                                                  {"DIR/C.BIN", Bytes(50, 0x22)}});
  const Bytes images[] = {iso, psxdig::tools::WrapIso(iso), psxdig::tools::WrapIso(iso, true)};
  for (std::uint8_t k = 0; k < 3; ++k) {
    seeds.Add("image_fuzz", 1, {}, images[k]);
    seeds.Add("image_fuzz", 2, {static_cast<std::uint8_t>(k + 1), 0x00}, images[k]);
  }
  // The sector walk (selector 3) on the streams disc's first XA file as raw
  // sectors (a forced 2352 layout and the detector), its VAG files (4) and
  // one sector's sound groups in each coding (5).
  const psxdig::tools::StreamsDisc streams = psxdig::tools::BuildStreamsDisc();
  Bytes xaRaw;
  for (std::size_t k = 0; k < 12 && k < streams.xa[0].sectors.size(); ++k) {
    const auto& sector = streams.xa[0].sectors[k];
    const Bytes raw = psxdig::tools::MakeRawSector(static_cast<std::uint32_t>(k), psxdig::tools::SectorMode::kForm2,
                                                   sector.data.data(), sector.sub[2], sector.sub[0], sector.sub[1],
                                                   sector.sub[3]);
    xaRaw.insert(xaRaw.end(), raw.begin(), raw.end());
  }
  seeds.Add("image_fuzz", 3, {0x00}, xaRaw);
  seeds.Add("image_fuzz", 3, {0x03}, xaRaw);
  for (const auto& f : streams.files) {
    if (f.path.size() > 4 && f.path.compare(f.path.size() - 4, 4, ".VAG") == 0) seeds.Add("image_fuzz", 4, {0xFF, 0xFF}, f.data);
  }
  for (const auto& xa : streams.xa) {
    for (const auto& c : xa.channels) {
      for (const auto& sector : xa.sectors) {
        if (sector.sub[1] != c.channel || !(sector.sub[2] & 0x04)) continue;
        seeds.Add("image_fuzz", 5, {c.coding}, sector.data);
        break;
      }
    }
  }
  // convert_fuzz: the convert test set's sequences (selector 0) and banks
  // (selector 1, the split header and body joined into one .vab).
  const std::string set = std::string(argv[1]) + "/convert_set";
  std::filesystem::create_directories(set);
  if (!psxdig::tools::WriteConvertSet(set)) return 1;
  auto read = [&](const char* name) {
    std::ifstream in(set + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  for (const char* name : {"song.seq", "reversed.seq", "multi.sep"}) seeds.Add("convert_fuzz", 0, {}, read(name));
  for (const char* name : {"song.seq", "reversed.seq", "multi.sep"}) seeds.Add("render_fuzz", 0, {}, read(name));
  // The song's events alone: loops 2, fade 1 s, gain 0, resolution 480, tempo 500000.
  const Bytes song = read("song.seq");
  seeds.Add("render_fuzz", 1, Cat({1, 32, 0, 0xE0, 0x01}, U32(500000)), Bytes(song.begin() + 15, song.end()));
  seeds.Add("convert_fuzz", 1, {}, read("tone.vab"));
  seeds.Add("convert_fuzz", 1, {}, Cat(read("split.vh"), read("split.vb")));
  std::filesystem::remove_all(set);
  // report_fuzz: a WAV of 16-bit PCM (selector 0), names to escape (1) and a listing (2).
  auto text = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
  Bytes wav;
  for (const Bytes& part : {text("RIFF"), U32(44), text("WAVEfmt "), U32(16), Bytes{1, 0, 1, 0}, U32(44100),
                            U32(88200), Bytes{2, 0, 16, 0}, text("data"), U32(8), Bytes{0, 0, 16, 32, 240, 223, 255, 127}}) {
    wav.insert(wav.end(), part.begin(), part.end());
  }
  seeds.Add("report_fuzz", 0, {7}, wav);
  seeds.Add("report_fuzz", 1, {0}, text("<img src=x>&\"'\xFF\xC0\xAF\xED\xA0\x80 caf\xC3\xA9"));
  seeds.Add("report_fuzz", 2, {0}, text(R"({"input": "<b>", "imageSize": 100, "files": [{"discPath": "A",)"
                                        R"( "imageOffset": 0, "size": 50}], "items": [{"kind": "sequence",)"
                                        R"( "output": "A@0.seq", "imageOffset": 5, "size": 9, "pairing": "x",)"
                                        R"( "soundFont": "B.sf2"}, {"kind": "xa", "output": "X.wav",)"
                                        R"( "rendered": [{"file": "s.flac", "seconds": 2}]}]})"));
  return 0;
}
