#include "image_bench.h"

#include <algorithm>

#include "image_banks.h"
#include "image_compressed.h"

namespace psxdig::tools {
namespace {

// Bytes of every value, as packed or compressed game data holds them.
void Packed(ImageBuilder& img, std::size_t n) {
  Bytes bytes(n);
  for (std::size_t k = 0; k < n; k += 4) {
    const std::uint32_t r = img.Next();
    for (std::size_t j = 0; j < 4 && k + j < n; ++j) bytes[k + j] = static_cast<std::uint8_t>(r >> (8 * j));
  }
  img.Raw(bytes);
}

// Sectors that are partly data and partly zero padding.
void PaddedSectors(ImageBuilder& img, std::size_t sectors) {
  for (std::size_t k = 0; k < sectors; ++k) {
    const std::size_t data = 1024 + img.Next() % 1025;
    Packed(img, data);
    img.Pad(2048 - data);
  }
}

// Samples of a streamed sound, each opening with a zero block.
void AdpcmStream(ImageBuilder& img, std::size_t bytes) {
  std::vector<std::uint32_t> sizes;
  for (std::size_t total = 0; total < bytes;) {
    sizes.push_back(16 * (64 + img.Next() % 960));
    total += sizes.back();
  }
  img.Raw(MakeAdpcmBody(sizes, img.Next()));
}

// One file of disc-like data other than a sound bank or a sequence, of at
// most about `room` bytes.
void DataFile(ImageBuilder& img, std::uint32_t pick, std::size_t room) {
  const std::size_t size = std::min<std::size_t>(room, (16u << 10) + img.Next() % (2u << 20));
  if (pick < 55) {
    Packed(img, size);
  } else if (pick < 75) {
    PaddedSectors(img, size / 2048);
  } else if (pick < 90) {
    AdpcmStream(img, size > (16u << 10) ? size - (16u << 10) : 0);
  } else {
    img.Pad(size / 8);
  }
}

std::vector<std::uint32_t> SampleSizes(ImageBuilder& img, std::size_t count) {
  std::vector<std::uint32_t> sizes;
  for (std::size_t k = 0; k < count; ++k) sizes.push_back(16 * (8 + img.Next() % 1000));
  return sizes;
}

}  // namespace

Bytes BuildMixedBenchImage(std::size_t megabytes) {
  ImageBuilder img(512);
  const std::size_t target = megabytes << 20;
  std::uint32_t n = 0;
  while (img.size() + (3u << 20) < target) {
    const std::uint32_t pick = img.Next() % 100;
    if (pick < 8) {
      img.Plant(n % 3 ? MakeSeq(2000 + img.Next() % 20000, n + 1) : MakeSep(4, 3000, n + 1),
                n % 3 ? ".seq" : ".sep", "");
    } else if (pick < 14) {
      const auto sizes = SampleSizes(img, 4 + img.Next() % 28);
      img.Plant(MakeVabHeader(static_cast<std::uint16_t>(1 + img.Next() % 8), sizes, n + 1), ".vh", "");
      img.Plant(MakeAdpcmBody(sizes, n + 7), ".vb", "");
    } else {
      DataFile(img, img.Next() % 100, std::size_t{2} << 20);
    }
    img.Align(2048);
    ++n;
  }
  Packed(img, target - img.size());
  return img.bytes();
}

Bytes BuildAbsentBodiesImage(std::size_t megabytes, std::size_t headers, std::size_t slots) {
  ImageBuilder img(64);
  const std::size_t target = megabytes << 20;
  const std::size_t slotBytes = target / std::max<std::size_t>(slots, 1);
  for (std::size_t k = 0; k < slots; ++k) {
    const std::vector<std::uint32_t> sizes = {4096u + 512u * static_cast<std::uint32_t>(k), 2048u, 8192u};
    const Bytes header = MakeVabHeader(1, sizes, 50 + static_cast<std::uint32_t>(k));
    if (k < headers) {
      img.Plant(header, ".vh", "body absent");
    } else {
      ImageBuilder other(1000 + static_cast<std::uint32_t>(k));  // leaves img's numbers as they are
      Packed(other, header.size());
      img.Raw(other.bytes());
    }
    const std::size_t slotEnd = std::min(target, (k + 1) * slotBytes) & ~std::size_t{2047};
    while (img.size() + 8192 < slotEnd) {
      DataFile(img, img.Next() % 100, slotEnd - img.size() - 4096);
      img.Align(2048);
    }
    if (img.size() < slotEnd) Packed(img, slotEnd - img.size());
  }
  if (img.size() < target) Packed(img, target - img.size());
  return img.bytes();
}

Bytes BuildDecBenchImage(const std::string& serial, std::size_t megabytes, std::size_t copies) {
  DecImage dec;
  if (!BuildDecImage(serial, dec)) return {};
  ImageBuilder img(256);
  const std::size_t target = megabytes << 20;
  copies = std::min({copies, std::size_t{600}, target / (dec.image.size() + 4096)});
  const std::size_t gap = copies ? target / copies - dec.image.size() : target;
  for (std::size_t k = 0; k < copies; ++k) {
    img.Raw(dec.image);
    Packed(img, gap);
  }
  if (img.size() < target) Packed(img, target - img.size());
  return img.bytes();
}

}  // namespace psxdig::tools
