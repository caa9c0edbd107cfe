#include "image_gameseq.h"

#include <algorithm>
#include <fstream>
#include <utility>

namespace psxdig::tools {
namespace {

void PutU32(Bytes& out, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) out[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

void PutText(Bytes& out, std::size_t at, const char* text) {
  for (std::size_t k = 0; text[k]; ++k) out[at + k] = static_cast<std::uint8_t>(text[k]);
}

void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

constexpr std::uint8_t kEnd[3] = {0xFF, 0x2F, 0x00};
constexpr std::uint8_t kSntpMarker[4] = {0x00, 0x00, 0x20, 0x00};

}  // namespace

Bytes MakeGameSeqBody(std::size_t n, std::uint32_t seed) {
  Bytes out;
  out.reserve(n);
  std::uint32_t state = seed ? seed : 1;
  for (std::size_t k = 0; k < n; ++k) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    auto b = static_cast<std::uint8_t>(1 + state % 0x7F);  // 01..7F
    if (SafeByte(b) != b) b = 0x11;                         // no signature starts here
    out.push_back(b);
  }
  return out;
}

Bytes MakeSssq(std::uint32_t markerEnd, std::uint32_t seed) {
  Bytes out = MakeGameSeqBody(12, seed);
  out.insert(out.end(), {'S', 'S', 's', 'q'});
  Append(out, MakeGameSeqBody(markerEnd - 7, seed + 1));
  out.insert(out.end(), std::begin(kEnd), std::end(kEnd));
  return out;
}

Bytes MakeKcet(std::uint32_t length, std::size_t bytes, std::uint32_t seed) {
  Bytes out = MakeGameSeqBody(bytes, seed);
  PutText(out, 0, "KCET");
  PutU32(out, 4, length);
  PutText(out, 8, "TSDB");
  PutText(out, 20, "KDT2");
  PutText(out, 36, "KDT1");
  return out;
}

namespace {

std::uint32_t SntpFirstMarker(const SntpLayout& l) { return l.a + 4 + 4 * l.firstSkip; }
std::uint32_t SntpSecondMarker(const SntpLayout& l) {
  return SntpFirstMarker(l) + l.b + 4 + 4 * l.secondSkip;
}

}  // namespace

std::uint32_t SntpSize(const SntpLayout& layout) { return SntpSecondMarker(layout) + 4; }

Bytes MakeSntp(const SntpLayout& l, std::uint32_t seed) {
  const std::uint32_t x = SntpFirstMarker(l);
  const std::uint32_t second = SntpSecondMarker(l);
  Bytes out = MakeGameSeqBody(l.secondMarker ? second + 4 : second, seed);
  PutU32(out, 0, 2);
  PutU32(out, 8, l.a);
  PutText(out, 12, "SNTp");
  if (l.lengthFurtherBack) {
    PutU32(out, x - 8, l.b);
    out[x - 4] = 0x11, out[x - 3] = 0x22, out[x - 2] = 0x33, out[x - 1] = 0x44;
  } else {
    PutU32(out, x - 4, l.b);
  }
  std::copy(std::begin(kSntpMarker), std::end(kSntpMarker), out.begin() + x);
  if (l.secondMarker) std::copy(std::begin(kSntpMarker), std::end(kSntpMarker), out.begin() + second);
  return out;
}

Bytes MakeSeqg(std::uint32_t length, std::size_t bytes, std::uint32_t seed) {
  Bytes out = MakeGameSeqBody(bytes, seed);
  PutText(out, 0, "SEQG");
  PutU32(out, 4, 0);
  PutU32(out, 80, length);
  return out;
}

Bytes MakeSeqq(std::uint32_t length, std::size_t bytes, std::uint32_t seed) {
  Bytes out = MakeGameSeqBody(bytes, seed);
  PutU32(out, 0, length);
  PutText(out, 60, "qQES");
  return out;
}

Bytes MakeSqv(std::uint32_t declared, std::uint32_t present, std::size_t eventBytes,
              std::uint32_t seed) {
  Bytes out = MakeGameSeqBody(16, seed);
  PutText(out, 0, ".sqv");
  PutU32(out, 8, declared >= 2 ? 0x120 : 0);
  PutU32(out, 12, declared >= 3 ? 0x240 : 0);
  for (std::uint32_t t = 0; t < present; ++t) {
    Append(out, MakeGameSeqBody(eventBytes, seed + 1 + t));
    out.insert(out.end(), std::begin(kEnd), std::end(kEnd));
  }
  return out;
}

Bytes MakeSseq(std::size_t bodyBytes, bool closed, std::uint32_t seed) {
  Bytes out = {'S', 'S', 'E', 'Q', 0x28, 0x00, 0x00, 0x00};
  Append(out, MakeGameSeqBody(bodyBytes, seed));
  if (closed) out.push_back(0xF3);
  return out;
}

namespace {

// Plants game sequence items between stretches of filler and records what
// the rip should make of each.
class GameSeqImage {
 public:
  explicit GameSeqImage(std::uint32_t seed) : img_(seed) {
    img_.Pad(2048);
    img_.Filler(1000);
  }

  // An item whose signature lies `prefix` bytes into it; listed as
  // `size` bytes from `listedFrom` bytes into it (size 0: rejected).
  void Item(const Bytes& item, const std::string& ext, std::uint32_t prefix, std::uint32_t size,
            std::uint32_t recorded, const std::string& note, std::uint32_t listedFrom = 0) {
    const auto start = static_cast<std::uint32_t>(img_.size());
    img_.Raw(item);
    planted_.push_back({ext, start + prefix, start + listedFrom, size, recorded, note});
  }
  // A written item recorded with its listed size.
  void Written(const Bytes& item, const std::string& ext, std::uint32_t prefix,
               std::uint32_t size, const std::string& note) {
    Item(item, ext, prefix, size, size, note);
  }
  void Rejected(const Bytes& item, const std::string& ext, std::uint32_t prefix,
                const std::string& note) {
    Item(item, ext, prefix, 0, 0, "rejected: " + note);
  }

  ImageBuilder& builder() { return img_; }
  void Gap() { img_.Filler(700); }
  // Zero bytes to the end: no marker of any format follows the last item.
  Bytes Finish(std::vector<GameSeqPlanted>* planted) {
    img_.Pad(256);
    if (planted) *planted = planted_;
    return img_.bytes();
  }

 private:
  ImageBuilder img_;
  std::vector<GameSeqPlanted> planted_;
};

Bytes BuildSssqImage(std::vector<GameSeqPlanted>* planted) {
  GameSeqImage g(301);
  g.Written(MakeSssq(40, 1), ".sssq", 12, 52, "marker ends 40 after the signature: no padding");
  g.Gap();
  g.Written(MakeSssq(41, 2), ".sssq", 12, 53, "marker ends 41 after the signature: 3 bytes of padding");
  g.Gap();
  g.Rejected(MakeSssq(65539, 3), ".sssq", 12, "marker ends 65,539 after the signature");
  g.Gap();
  g.Written(MakeSssq(65538, 4), ".sssq", 12, 65550, "marker ends at the last place tested");
  g.Gap();
  g.Written(MakeSssq(1000, 5), ".sssq", 12, 1012, "");
  g.Gap();
  Bytes open = MakeSssq(60, 6);
  open.resize(open.size() - 3);
  g.Rejected(open, ".sssq", 12, "no end marker before the end of the image");
  return g.Finish(planted);
}

Bytes BuildKcetImage(std::vector<GameSeqPlanted>* planted) {
  GameSeqImage g(302);
  g.Written(MakeKcet(100, 108, 1), ".kcet", 0, 108, "length 100");
  g.Gap();
  g.Rejected(MakeKcet(0, 40, 2), ".kcet", 0, "length 0");
  g.Gap();
  g.Written(MakeKcet(1001, 1009, 3), ".kcet", 0, 1009, "size not a multiple of 4, no padding");
  g.Gap();
  g.Rejected(MakeKcet(5000, 200, 4), ".kcet", 0, "length runs past the end of the image");
  return g.Finish(planted);
}

Bytes BuildSntpImage(std::vector<GameSeqPlanted>* planted) {
  GameSeqImage g(303);
  const SntpLayout simple;  // A = 16, markers at 24 and 40
  g.Written(MakeSntp(simple, 1), ".sntp", 12, SntpSize(simple), "A = 16, size 44");
  g.Gap();
  SntpLayout back;
  back.a = 32, back.firstSkip = 2, back.b = 100, back.secondSkip = 3, back.lengthFurtherBack = true;
  g.Written(MakeSntp(back, 2), ".sntp", 12, SntpSize(back), "second length 8 bytes before the marker");
  g.Gap();
  SntpLayout large;
  large.a = 400, large.firstSkip = 0, large.b = 1200, large.secondSkip = 0;
  g.Written(MakeSntp(large, 3), ".sntp", 12, SntpSize(large), "");
  g.Gap();
  SntpLayout open;
  open.secondMarker = false;
  g.Rejected(MakeSntp(open, 4), ".sntp", 12, "no second marker before the end of the image");
  return g.Finish(planted);
}

Bytes BuildSeqgImage(std::vector<GameSeqPlanted>* planted) {
  GameSeqImage g(304);
  g.Written(MakeSeqg(76, 84, 1), ".seqg", 0, 84, "length field is the last field");
  g.Gap();
  g.Written(MakeSeqg(493, 501, 2), ".seqg", 0, 501, "size not a multiple of 4, no padding");
  g.Gap();
  g.Written(MakeSeqg(2000, 2008, 3), ".seqg", 0, 2008, "");
  g.Gap();
  g.Rejected(MakeSeqg(100000, 300, 4), ".seqg", 0, "length runs past the end of the image");
  return g.Finish(planted);
}

Bytes BuildSeqqImage(std::vector<GameSeqPlanted>* planted) {
  GameSeqImage g(305);
  g.Item(MakeSeqq(1000, 1060, 1), ".seqq", 60, 1060, 1000, "length 1,000: 1,060 bytes listed");
  g.Gap();
  g.Item(MakeSeqq(37, 97, 2), ".seqq", 60, 97, 37, "size not a multiple of 4, no padding");
  g.Gap();
  g.Item(MakeSeqq(4, 64, 3), ".seqq", 60, 64, 4, "");
  g.Gap();
  g.Rejected(MakeSeqq(50000, 200, 4), ".seqq", 60, "length runs past the end of the image");
  return g.Finish(planted);
}

Bytes BuildSqvImage(std::vector<GameSeqPlanted>* planted) {
  GameSeqImage g(306);
  g.Written(MakeSqv(1, 1, 20, 1), ".sqv", 0, 16 + 23, "one track");
  g.Gap();
  g.Written(MakeSqv(3, 4, 30, 2), ".sqv", 0, 16 + 3 * 33, "three tracks announced, four present");
  g.Gap();
  g.Written(MakeSqv(2, 2, 100, 3), ".sqv", 0, 16 + 2 * 103, "two tracks");
  g.Gap();
  g.Rejected(MakeSqv(3, 2, 40, 4), ".sqv", 0, "three tracks announced, two present");
  return g.Finish(planted);
}

Bytes BuildSseqImage(std::vector<GameSeqPlanted>* planted) {
  GameSeqImage g(307);
  g.Written(MakeSseq(2, true, 1), ".sseq", 0, 11, "end byte at 10: written as 12 bytes");
  g.Gap();
  g.Written(MakeSseq(500, true, 2), ".sseq", 0, 509, "");
  g.Gap();
  g.Written(MakeSseq(3000, true, 3), ".sseq", 0, 3009, "");
  g.Gap();
  g.Rejected(MakeSseq(100, false, 4), ".sseq", 0, "no end byte before the end of the image");
  return g.Finish(planted);
}

// The first item is a SSEQ, so every item is written by the SSEQ rule: from
// its signature up to the first F3. Each other item is followed by a short
// tail that ends in F3.
Bytes BuildMixImage(std::vector<GameSeqPlanted>* planted) {
  GameSeqImage g(308);
  const Bytes tail = {0x21, 0x22, 0x23, 0x24, 0x25, 0xF3};
  const auto tailSize = static_cast<std::uint32_t>(tail.size());
  const auto other = [&](const Bytes& item, const std::string& ext, std::uint32_t prefix) {
    const auto size = static_cast<std::uint32_t>(item.size()) - prefix + tailSize;
    g.Item(item, ext, prefix, size, size, "written as .sseq up to the F3 behind it", prefix);
    g.builder().Raw(tail);
    g.Gap();
  };
  g.Written(MakeSseq(40, true, 1), ".sseq", 0, 49, "first item: its rule handles the class");
  g.Gap();
  other(MakeKcet(100, 108, 2), ".kcet", 0);
  other(MakeSssq(60, 3), ".sssq", 12);
  other(MakeSntp(SntpLayout{}, 4), ".sntp", 12);
  other(MakeSeqg(92, 100, 5), ".seqg", 0);
  other(MakeSeqq(100, 160, 6), ".seqq", 60);
  other(MakeSqv(2, 2, 10, 7), ".sqv", 0);
  other(MakeSeq(50, 8), ".seq", 0);
  g.Written(MakeSseq(7, true, 9), ".sseq", 0, 16, "");
  return g.Finish(planted);
}

using ImageFn = Bytes (*)(std::vector<GameSeqPlanted>*);

ImageFn FindImage(const std::string& name) {
  static const std::pair<const char*, ImageFn> kImages[] = {
      {"sssq", BuildSssqImage}, {"kcet", BuildKcetImage}, {"sntp", BuildSntpImage},
      {"seqg", BuildSeqgImage}, {"seqq", BuildSeqqImage}, {"sqv", BuildSqvImage},
      {"sseq", BuildSseqImage}, {"mix", BuildMixImage},
  };
  for (const auto& [n, fn] : kImages) {
    if (name == n) return fn;
  }
  return nullptr;
}

}  // namespace

Bytes BuildGameSeqImage(const std::string& name, std::vector<GameSeqPlanted>* planted) {
  const ImageFn fn = FindImage(name);
  if (!fn) {
    if (planted) planted->clear();
    return {};
  }
  return fn(planted);
}

bool WriteGameSeqImage(const std::string& name, const std::string& path,
                       std::vector<GameSeqPlanted>* planted) {
  if (!FindImage(name)) return false;
  const Bytes image = BuildGameSeqImage(name, planted);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}

}  // namespace psxdig::tools
