#include "image_compressed.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace psxdig::tools {

// ---------------------------------------------------------------- LZSS

namespace {

constexpr std::size_t kLzssMinMatch = 3;
constexpr std::size_t kLzssMaxMatch = 18;
constexpr std::size_t kLzssMaxDistance = 4089;  // farther sources map elsewhere in the window

// Byte `at` of the output when `pending` is being appended behind `done`.
std::uint8_t OutputAt(const Bytes& done, const Bytes& pending, std::size_t pendingFrom,
                      std::size_t at) {
  return at < done.size() ? done[at] : pending[pendingFrom + (at - done.size())];
}

}  // namespace

std::uint32_t LzssSourceOf(std::uint32_t outPos, std::uint32_t position) {
  std::uint32_t base = (outPos - position - 12u) & ~0xFFFu;
  if (static_cast<std::int32_t>(base) < 0) base = 0;
  return position + 18u + base;
}

void LzssEncoder::StartItem(bool reference) {
  if (itemsInGroup_ == 8) {
    flagAt_ = stream_.size();
    stream_.push_back(matchBit_ ? 0x00 : 0xFF);  // every item a literal until told otherwise
    itemsInGroup_ = 0;
  }
  if (reference) {
    const auto bit = static_cast<std::uint8_t>(1u << itemsInGroup_);
    if (matchBit_) {
      stream_[flagAt_] |= bit;
    } else {
      stream_[flagAt_] &= static_cast<std::uint8_t>(~bit);
    }
  }
  ++itemsInGroup_;
}

void LzssEncoder::Literal(std::uint8_t b) {
  StartItem(false);
  stream_.push_back(b);
  plain_.push_back(b);
}

void LzssEncoder::Literals(const Bytes& bytes) {
  for (const std::uint8_t b : bytes) Literal(b);
}

void LzssEncoder::RawReference(std::uint8_t b0, std::uint8_t b1, const Bytes& yields) {
  StartItem(true);
  stream_.push_back(b0);
  stream_.push_back(b1);
  plain_.insert(plain_.end(), yields.begin(), yields.end());
}

void LzssEncoder::Compress(const Bytes& bytes) {
  std::size_t k = 0;
  while (k < bytes.size()) {
    const std::size_t i = plain_.size();
    const std::size_t maxLen = std::min(kLzssMaxMatch, bytes.size() - k);
    std::size_t bestLen = 0;
    std::size_t bestFrom = 0;
    for (std::size_t d = 1; maxLen >= kLzssMinMatch && d <= kLzssMaxDistance && d <= i; ++d) {
      const std::size_t from = i - d;
      if (from < 18) break;  // the first 18 output bytes lie outside every window
      const auto position = static_cast<std::uint32_t>((from - 18) & 0xFFF);
      if (LzssSourceOf(static_cast<std::uint32_t>(i), position) != from) continue;
      std::size_t len = 0;
      while (len < maxLen && OutputAt(plain_, bytes, k, from + len) == bytes[k + len]) ++len;
      // The decoder copies blocks of min(d, len) bytes; none may end past the output.
      while (len >= kLzssMinMatch) {
        const std::size_t chunk = std::min(d, len);
        bool fits = true;
        for (std::size_t copied = 0; copied < len; copied += chunk) {
          if (i + copied + chunk > outputSize_) fits = false;
        }
        if (fits) break;
        --len;
      }
      if (len >= kLzssMinMatch && len > bestLen) {
        bestLen = len;
        bestFrom = from;
      }
    }
    if (bestLen == 0) {
      Literal(bytes[k]);
      ++k;
      continue;
    }
    const auto position = static_cast<std::uint32_t>((bestFrom - 18) & 0xFFF);
    RawReference(static_cast<std::uint8_t>(position & 0xFF),
                 static_cast<std::uint8_t>(((position >> 8) << 4) | (bestLen - kLzssMinMatch)),
                 Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(k),
                       bytes.begin() + static_cast<std::ptrdiff_t>(k + bestLen)));
    k += bestLen;
  }
}

Bytes LzssEncoder::Finish(bool terminated) {
  if (terminated) {
    while (itemsInGroup_ < 8) Literal(0);
    stream_.insert(stream_.end(), 17, 0);
  }
  return stream_;
}

// ---------------------------------------------------------------- Brightis

namespace {

constexpr std::size_t kBrightisMaxDistance = 0x1FFF;
constexpr std::size_t kBrightisMaxLength = 7 + 3 * 31;
constexpr std::size_t kBrightisMaxRun = 0xFFF;

// Longest earlier copy of plain[i..] (4 bytes or more) that stops before the
// final end marker, or 0.
std::size_t BrightisMatch(const Bytes& plain, std::size_t i, std::size_t& distance) {
  const std::size_t end = plain.size() - 4;  // 00 FF 2F 00 must stay in a plain run
  if (i >= end) return 0;
  const std::size_t maxLen = std::min(kBrightisMaxLength, end - i);
  std::size_t best = 0;
  for (std::size_t d = 1; d < i && d <= kBrightisMaxDistance; ++d) {
    std::size_t len = 0;
    while (len < maxLen && plain[i - d + len] == plain[i + len]) ++len;
    if (len >= 4 && len > best) {
      best = len;
      distance = d;
    }
  }
  return best;
}

}  // namespace

Bytes EncodeBrightis(const Bytes& plain, std::size_t head) {
  static constexpr std::uint8_t kMarker[4] = {0x00, 0xFF, 0x2F, 0x00};
  if (plain.size() < head + 4 || !std::equal(kMarker, kMarker + 4, plain.end() - 4)) {
    throw std::logic_error("Brightis plain must end with 00 FF 2F 00");
  }
  Bytes out(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(head));
  std::size_t i = head;
  while (i < plain.size()) {
    std::size_t d = 0;
    const std::size_t len = BrightisMatch(plain, i, d);
    if (len == 0) {
      // Before the first back-reference plain bytes can only be single codes.
      const std::uint8_t b = plain[i];
      const bool endCode = i + 4 <= plain.size() && b == 0 && plain[i + 1] == 0 &&
                           plain[i + 2] == 0 && plain[i + 3] == 0;
      if (b >= 0x80 || endCode) throw std::logic_error("Brightis plain needs a run here");
      out.push_back(b);
      ++i;
      continue;
    }
    const unsigned lengthCode = len >= 7 ? 3 : static_cast<unsigned>(len - 4);
    out.push_back(static_cast<std::uint8_t>(0x80 | (lengthCode << 5) | (d >> 8)));
    out.push_back(static_cast<std::uint8_t>(d & 0xFF));
    for (std::size_t rest = len >= 7 ? len - 7 : 0; rest > 0;) {
      const std::size_t e = std::min<std::size_t>(31, rest);
      out.push_back(static_cast<std::uint8_t>(0x60 + e));
      rest -= e;
    }
    i += len;
    // The plain bytes up to the next match go into a run behind the reference.
    std::size_t j = i;
    std::size_t unused = 0;
    while (j < plain.size() && BrightisMatch(plain, j, unused) == 0) ++j;
    const std::size_t run = j - i;
    if (run > kBrightisMaxRun) throw std::logic_error("Brightis run too long");
    if (run > 31) {
      out.push_back(static_cast<std::uint8_t>(0x20 | (run >> 8)));
      out.push_back(static_cast<std::uint8_t>(run & 0xFF));
    } else if (run > 0) {
      out.push_back(static_cast<std::uint8_t>(run));
    }
    out.insert(out.end(), plain.begin() + static_cast<std::ptrdiff_t>(i),
               plain.begin() + static_cast<std::ptrdiff_t>(j));
    i = j;
  }
  // The decoder stops at the first end marker: it must be the last one.
  const auto marker = std::search(out.begin() + 1, out.end(), kMarker, kMarker + 4);
  if (marker != out.end() - 4) throw std::logic_error("Brightis codes hold an early end marker");
  return out;
}

// ---------------------------------------------------------------- Atelier

namespace {

bool IsGustCode(std::uint8_t b) {
  return b == 0xD0 || b == 0xD4 || b == 0xD7 || b == 0xD8 || b == 0xE2 || b == 0xE3 || b == 0xE6;
}

constexpr std::size_t kGustSearchDistance = 4096;  // E6 reaches farther; the generator does not

}  // namespace

void GustEncoder::Literal(std::uint8_t b) {
  if (IsGustCode(b)) stream_.push_back(0xD0);
  stream_.push_back(b);
  plain_.push_back(b);
}

void GustEncoder::Literals(const Bytes& bytes) {
  for (const std::uint8_t b : bytes) Literal(b);
}

void GustEncoder::Compress(const Bytes& bytes) {
  std::size_t k = 0;
  while (k < bytes.size()) {
    const std::size_t i = plain_.size();
    const std::size_t left = bytes.size() - k;
    // Best code: gain = bytes produced minus stream bytes spent.
    long bestGain = 0;
    Bytes bestCode;
    std::size_t bestLen = 0;
    if (left >= 6 && std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(k),
                                bytes.begin() + static_cast<std::ptrdiff_t>(k + 3),
                                bytes.begin() + static_cast<std::ptrdiff_t>(k + 3))) {
      bestGain = 1;
      bestCode = {0xD4, bytes[k], bytes[k + 1], bytes[k + 2], 0x00};
      bestLen = 6;
    }
    for (std::size_t d = 1; d <= i && d <= kGustSearchDistance; ++d) {
      std::size_t len = 0;
      while (len < left && len < 260 && OutputAt(plain_, bytes, k, i - d + len) == bytes[k + len]) {
        ++len;
      }
      Bytes code;
      std::size_t used = 0;
      if ((d == 15 || d == 16 || d == 17) && len >= 3) {
        used = std::min<std::size_t>(len, 258);
        code = {static_cast<std::uint8_t>(d == 15 ? 0xE2 : d == 16 ? 0xD7 : 0xD8),
                static_cast<std::uint8_t>(used - 3)};
      } else if (d >= 4 && d <= 259 && len >= 4) {
        used = std::min<std::size_t>(len, 259);
        code = {0xE3, static_cast<std::uint8_t>(d - 4), static_cast<std::uint8_t>(used - 4)};
      } else if (d >= 5 && len >= 5) {
        used = std::min<std::size_t>(len, 260);
        code = {0xE6, static_cast<std::uint8_t>((d - 5) & 0xFF),
                static_cast<std::uint8_t>((d - 5) >> 8), static_cast<std::uint8_t>(used - 5)};
      }
      const long gain = static_cast<long>(used) - static_cast<long>(code.size());
      if (!code.empty() && gain > bestGain) {
        bestGain = gain;
        bestCode = code;
        bestLen = used;
      }
    }
    if (bestLen == 0) {
      Literal(bytes[k]);
      ++k;
      continue;
    }
    stream_.insert(stream_.end(), bestCode.begin(), bestCode.end());
    plain_.insert(plain_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(k),
                  bytes.begin() + static_cast<std::ptrdiff_t>(k + bestLen));
    k += bestLen;
  }
}

// ---------------------------------------------------------------- images

Bytes MakeRepetitiveSeq(std::size_t bars, std::uint32_t seed) {
  Bytes out = {'p', 'Q', 'E', 'S', 0, 0, 0, 1, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x04};
  std::uint32_t state = seed ? seed : 1;
  auto next = [&state]() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  // Event bytes 01..3F (no '.'), so no signature, no end marker and no run of
  // zero bytes can arise from them.
  auto eventByte = [&next]() {
    const auto b = static_cast<std::uint8_t>(1 + next() % 0x3F);
    return b == '.' ? std::uint8_t{0x2D} : b;
  };
  Bytes motif(24);
  for (std::size_t b = 0; b < bars; ++b) {
    if (b % 4 == 0) {
      for (auto& m : motif) m = eventByte();
    }
    Bytes bar = motif;
    bar[next() % bar.size()] = eventByte();  // small variations between repeats
    out.insert(out.end(), bar.begin(), bar.end());
  }
  out.insert(out.end(), {0x00, 0xFF, 0x2F, 0x00});
  return out;
}

namespace {

Bytes LittleEndian32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

enum class LzssHead { kPlain, kVersionZero, kPackedVersion, kPackedSssq };

struct LzssRelease {
  const char* serial;
  std::uint32_t sizeBack;
  std::uint32_t streamBack;
  std::uint32_t matchBit;
  std::uint32_t sizeMode;
  LzssHead head;
  const char* ext;
};

// How each LZSS release's items look around the signature the search finds.
constexpr LzssRelease kLzssReleases[] = {
    {"00348", 5, 1, 0, 0, LzssHead::kVersionZero, ".seq"},
    {"10028", 5, 1, 0, 0, LzssHead::kPlain, ".seq"},
    {"10037", 5, 1, 0, 0, LzssHead::kPlain, ".seq"},
    {"00844", 9, 1, 1, 0, LzssHead::kPlain, ".seq"},
    {"10089", 12, 8, 0, 0, LzssHead::kPackedSssq, ".sssq"},
    {"02804", 5, 1, 0, 1, LzssHead::kPackedVersion, ".seq"},
    {"03425", 5, 1, 0, 1, LzssHead::kPackedVersion, ".seq"},
};

struct LzssItem {
  Bytes prefix;    // the bytes before the signature
  Bytes rest;      // from the signature on
  Bytes expected;  // what psxdig writes for it
};

LzssItem MakeLzssItem(const LzssRelease& r, std::size_t bars, std::uint32_t seed) {
  Bytes plain = MakeRepetitiveSeq(bars, seed);
  Bytes expected = plain;
  std::size_t literalHead = 8;
  if (r.head == LzssHead::kVersionZero) {
    // Stored with version 0, which the decompressor sets back to 1.
    plain[7] = 0;
    plain[8] = 0x00;
    plain[9] = 0x30;
    expected = plain;
    expected[7] = 1;
  } else if (r.head == LzssHead::kPackedVersion) {
    plain[8] = 0xFF;
    expected = plain;
  } else if (r.head == LzssHead::kPackedSssq) {
    const Bytes events(plain.begin() + 15, plain.end());
    plain = {0x01, 0x00, 0x10, 0x00, 0x20, 0x00, 0x06, 0, 0, 0, 0, 0, 0,
             0x73, 0x71, 0x00, 0x00, 0x78, 0x00, 0x01, 0, 0, 0};
    plain.insert(plain.end(), events.begin(), events.end());
    expected = plain;
  }
  const bool scanned = r.sizeMode == 1;
  LzssEncoder enc(r.matchBit, plain.size());
  switch (r.head) {
    case LzssHead::kPlain:
      enc.Literals(Bytes(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(literalHead)));
      break;
    case LzssHead::kVersionZero:
      // "pQES", four zero bytes from the empty window, then 00 30.
      enc.Literals({'p', 'Q', 'E', 'S'});
      enc.RawReference(0x0A, 0x01, {0, 0, 0, 0});
      enc.Literals({0x00, 0x30});
      literalHead = 10;
      break;
    case LzssHead::kPackedVersion:
      // "pQES", three zero bytes from the empty window, then 01 FF.
      enc.Literals({'p', 'Q', 'E', 'S'});
      enc.RawReference(0xEB, 0xF0, {0, 0, 0});
      enc.Literals({0x01, 0xFF});
      literalHead = 9;
      break;
    case LzssHead::kPackedSssq:
      // Seven literals and six zero bytes from the empty window (53 53), then
      // a group of seven literals "sq" 00 00 ... and three more zero bytes.
      enc.Literals(Bytes(plain.begin(), plain.begin() + 7));
      enc.RawReference(0x53, 0x53, {0, 0, 0, 0, 0, 0});
      enc.Literals(Bytes(plain.begin() + 13, plain.begin() + 20));
      enc.RawReference(0x53, 0x50, {0, 0, 0});
      literalHead = 23;
      break;
  }
  enc.Compress(Bytes(plain.begin() + static_cast<std::ptrdiff_t>(literalHead), plain.end()));
  const Bytes stream = enc.Finish(scanned);

  LzssItem item;
  if (!scanned) {
    item.prefix = LittleEndian32(static_cast<std::uint32_t>(plain.size()));
    item.prefix.resize(item.prefix.size() + (r.sizeBack - 4 - r.streamBack), 0);
  }
  item.prefix.insert(item.prefix.end(), stream.begin(), stream.begin() + r.streamBack);
  item.rest.assign(stream.begin() + r.streamBack, stream.end());
  item.expected = expected;
  return item;
}

void BuildLzssImage(const LzssRelease& r, DecImage& out) {
  ImageBuilder img(5150);
  img.Pad(2048);
  img.Filler(1000);
  const LzssItem a = MakeLzssItem(r, 12, 21);
  const LzssItem b = MakeLzssItem(r, 30, 22);
  const LzssItem* order[] = {&a, &b, &a};
  const char* notes[] = {"compressed sequence 1", "compressed sequence 2", "duplicate of 1"};
  for (int k = 0; k < 3; ++k) {
    img.Raw(order[k]->prefix);
    img.Plant(order[k]->rest, r.ext, notes[k], static_cast<std::uint32_t>(order[k]->expected.size()));
    out.outputs.push_back(order[k]->expected);
    img.Filler(700 + 300 * k);
  }
  img.Align(2048);
  out.image = img.bytes();
  out.planted = img.planted();
  out.ext = r.ext;
}

void BuildBrightisImage(DecImage& out) {
  ImageBuilder img(10105);
  img.Pad(2048);
  img.Filler(900);
  constexpr std::size_t kHead = 15;  // the sequence header stays plain
  const Bytes seqA = MakeRepetitiveSeq(10, 31);
  const Bytes seqB = MakeRepetitiveSeq(40, 32);
  const Bytes* order[] = {&seqA, &seqB, &seqA};
  const char* notes[] = {"compressed sequence 1", "compressed sequence 2", "duplicate of 1"};
  for (int k = 0; k < 3; ++k) {
    img.Raw({static_cast<std::uint8_t>(kHead >> 8), static_cast<std::uint8_t>(kHead & 0xFF)});
    img.Plant(EncodeBrightis(*order[k], kHead), ".seq", notes[k],
              static_cast<std::uint32_t>(order[k]->size()));
    out.outputs.push_back(*order[k]);
    img.Filler(600 + 200 * k);
  }
  img.Align(2048);
  out.image = img.bytes();
  out.planted = img.planted();
  out.ext = ".seq";
}

void BuildGustImage(DecImage& out) {
  GustEncoder enc;
  ImageBuilder filler(856);
  filler.Filler(3000);
  const Bytes& noise = filler.bytes();
  enc.Compress(Bytes(2048, 0));
  enc.Literals(Bytes(noise.begin(), noise.begin() + 1000));
  for (std::uint32_t k = 0; k < 2; ++k) {
    const Bytes seq = MakeRepetitiveSeq(16 + 8 * k, 41 + k);
    const auto ofs = static_cast<std::uint32_t>(enc.stream().size());
    enc.Literals(Bytes(seq.begin(), seq.begin() + 8));  // the signature stays readable
    enc.Compress(Bytes(seq.begin() + 8, seq.end()));
    out.planted.push_back({".seq", ofs, static_cast<std::uint32_t>(seq.size()),
                           "sequence inside the stream"});
    enc.Literals(Bytes(noise.begin() + 1000 + 900 * k, noise.begin() + 1900 + 900 * k));
  }
  enc.Compress(Bytes(500, 0));
  out.image = enc.stream();
  out.outputs = {enc.plain()};
  out.ext = ".dec";
}

}  // namespace

bool BuildDecImage(const std::string& serial, DecImage& out) {
  out = DecImage{};
  for (const auto& r : kLzssReleases) {
    if (serial == r.serial) {
      BuildLzssImage(r, out);
      return true;
    }
  }
  if (serial == "10105") {
    BuildBrightisImage(out);
    return true;
  }
  if (serial == "00856" || serial == "01418" || serial == "01751" || serial == "91180") {
    BuildGustImage(out);
    return true;
  }
  return false;
}

bool WriteDecImage(const std::string& serial, const std::string& path, DecImage* out) {
  DecImage image;
  if (!BuildDecImage(serial, image)) return false;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.image.data()),
             static_cast<std::streamsize>(image.image.size()));
  if (out) *out = std::move(image);
  return true;
}

}  // namespace psxdig::tools
