#include "image_builder.h"

#include <algorithm>

#include "image_banks.h"

#include "image_banks.h"

#include <cstdio>
#include <fstream>

namespace psxdig::tools {

std::uint8_t SafeByte(std::uint8_t b) {
  switch (b) {
    case 'p': case 'S': case 'K': case 'q': case '.': case 'I':
      return static_cast<std::uint8_t>(b ^ 0x80);
    default:
      return b;
  }
}

std::uint32_t ImageBuilder::Next() {
  // xorshift32: small, fast and the same on every platform.
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

void ImageBuilder::Pad(std::size_t n, std::uint8_t value) { bytes_.insert(bytes_.end(), n, value); }

void ImageBuilder::Filler(std::size_t n) {
  bytes_.reserve(bytes_.size() + n);
  for (std::size_t k = 0; k < n; ++k) bytes_.push_back(SafeByte(static_cast<std::uint8_t>(Next())));
}

void ImageBuilder::Align(std::size_t alignment) {
  if (bytes_.size() % alignment) Pad(alignment - bytes_.size() % alignment);
}

std::uint32_t ImageBuilder::Plant(const Bytes& item, const std::string& ext,
                                  const std::string& note, std::uint32_t reportedSize) {
  const auto ofs = static_cast<std::uint32_t>(bytes_.size());
  Raw(item);
  planted_.push_back({ext, ofs, reportedSize ? reportedSize : static_cast<std::uint32_t>(item.size()),
                      note});
  return ofs;
}

void ImageBuilder::Raw(const Bytes& bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

namespace {

// Sequence events that never contain FF 2F 00 nor "pQES": delta times and
// note events with data bytes below 0x80.
void AppendEvents(Bytes& out, std::size_t n, std::uint32_t& state) {
  for (std::size_t k = 0; k < n; ++k) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    out.push_back(static_cast<std::uint8_t>(state & 0x7F) == 'p' ? 0x10
                                                                 : static_cast<std::uint8_t>(state & 0x7F));
  }
}

Bytes SeqHeader(std::uint8_t version) {
  // "pQES", version (4 bytes, big-endian), resolution, tempo, rhythm.
  return {'p', 'Q', 'E', 'S', 0, 0, 0, version, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x04};
}

}  // namespace

Bytes MakeSeq(std::size_t eventBytes, std::uint32_t seed) {
  Bytes out = SeqHeader(1);
  std::uint32_t state = seed ? seed : 1;
  AppendEvents(out, eventBytes, state);
  out.insert(out.end(), {0x00, 0xFF, 0x2F, 0x00});
  return out;
}

Bytes MakeSep(std::size_t count, std::size_t eventBytes, std::uint32_t seed) {
  Bytes out = SeqHeader(0);
  std::uint32_t state = seed ? seed : 1;
  for (std::size_t k = 0; k < count; ++k) {
    if (k > 0) {
      // Sequence number (big-endian) and a third header byte before its events.
      out.insert(out.end(), {0x00, static_cast<std::uint8_t>(k), 0x30});
    }
    AppendEvents(out, eventBytes, state);
    if (k == 0) out.push_back(0x00);  // zero delta time before the first end marker
    out.insert(out.end(), {0xFF, 0x2F, 0x00});
  }
  return out;
}

Bytes BuildDemoImage(std::vector<Planted>* planted) {
  ImageBuilder img(2024);
  img.Pad(2048);  // an empty sector, as at the start of a disc image
  img.Filler(3000);
  img.Plant(MakeSeq(381, 11), ".seq", "sequence 1");
  img.Filler(1000);
  img.Plant(MakeSep(3, 200, 12), ".sep", "bundle of 3 sequences");
  img.Filler(1500);
  img.Plant(MakeSeq(381, 11), ".seq", "duplicate of sequence 1");
  img.Filler(700);
  img.Align(2048);
  img.Pad(2048);
  img.Plant(MakeSeq(1000, 13), ".seq", "sequence 2 (size a multiple of 4)");
  img.Filler(500);
  {
    // A sequence cut off by the start of another one: rejected by the search.
    Bytes cut = MakeSeq(100, 14);
    cut.resize(60);
    img.Plant(cut, ".seq", "rejected: no end marker before the next sequence");
  }
  img.Plant(MakeSeq(2000, 15), ".seq", "sequence 3");
  img.Filler(900);
  {
    // A compressed sequence: version bytes 4..5 not zero; skipped by the writer.
    Bytes packed = MakeSeq(300, 16);
    packed[4] = 0xEB;
    packed[5] = 0xF0;
    img.Plant(packed, ".seq", "skipped: compressed");
  }
  img.Filler(1200);
  img.Plant(MakeSeq(381, 11), ".seq", "duplicate of sequence 1");
  img.Filler(2000);
  AddVabBanks(img);
  img.Align(2048);
  if (planted) *planted = img.planted();
  return img.bytes();
}

std::vector<Planted> WriteDemoImage(const std::string& path) {
  std::vector<Planted> planted;
  const Bytes image = BuildDemoImage(&planted);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                              static_cast<std::streamsize>(image.size()));
  return planted;
}

Bytes BuildBenchImage(std::size_t megabytes) {
  ImageBuilder img(7);
  const std::size_t target = megabytes << 20;
  std::uint32_t n = 0;
  while (img.size() + (1u << 20) <= target) {
    img.Filler((1u << 20) - 4096);
    img.Plant(MakeSeq(1000 + (n % 7) * 100, 100 + n), ".seq", "");
    img.Align(2048);
    ++n;
  }
  img.Filler(target - img.size());
  return img.bytes();
}

Bytes BuildBankBenchImage(std::size_t megabytes) {
  ImageBuilder img(9);
  const std::size_t target = megabytes << 20;
  std::vector<Bytes> bodies;
  std::uint32_t n = 0;
  std::size_t bodyBytes = 0;
  for (std::size_t at = 0; at + (64u << 20) <= target; at += 64u << 20, ++n) {
    const std::vector<std::uint32_t> sizes = {4096u + 512u * n, 2048u, 8192u};
    img.Plant(MakeVabHeader(1, sizes, 50 + n), ".vh", "");
    bodies.push_back(MakeAdpcmBody(sizes, 80 + n));
    bodyBytes += bodies.back().size();
    img.Filler(std::min<std::size_t>(64u << 20, target - img.size() - bodyBytes) - 3104);
  }
  img.Filler(target - bodyBytes - img.size());
  for (const Bytes& body : bodies) img.Raw(body);
  return img.bytes();
}

}  // namespace psxdig::tools
