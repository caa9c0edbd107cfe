// Builds synthetic disc images for the demo, the tests and the benchmarks:
// padding sectors, filler that can never start a signature, and items of
// the supported formats planted at known offsets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace psxdig::tools {

using Bytes = std::vector<std::uint8_t>;

// One planted item, as the image builder reports it.
struct Planted {
  std::string ext;    // extension psxdig gives the item (".seq", ".sep", ...)
  std::uint32_t ofs;  // offset of its signature
  std::uint32_t size; // bytes of the item (without file padding)
  std::string note;   // what the item is for (e.g. "duplicate of 1", "rejected")
};

class ImageBuilder {
 public:
  explicit ImageBuilder(std::uint32_t seed = 1) : state_(seed ? seed : 1) {}

  // Appends n bytes of a single value (zero padding sectors by default).
  void Pad(std::size_t n, std::uint8_t value = 0);
  // Appends n pseudo-random bytes from which no signature can start.
  void Filler(std::size_t n);
  // Pads with zero bytes up to the next multiple of `alignment`.
  void Align(std::size_t alignment);
  // Appends raw bytes and records them as a planted item.
  std::uint32_t Plant(const Bytes& item, const std::string& ext, const std::string& note,
                      std::uint32_t reportedSize = 0);
  // Appends raw bytes without recording them.
  void Raw(const Bytes& bytes);

  std::size_t size() const { return bytes_.size(); }
  const Bytes& bytes() const { return bytes_; }
  const std::vector<Planted>& planted() const { return planted_; }

  // Deterministic pseudo-random numbers for item contents.
  std::uint32_t Next();

 private:
  Bytes bytes_;
  std::vector<Planted> planted_;
  std::uint32_t state_;
};

// A byte that cannot start any signature psxdig looks for.
std::uint8_t SafeByte(std::uint8_t b);

// A single sequence: "pQES", version 00 00 00 01, the rest of the 15-byte
// header, `eventBytes` bytes of events (no end marker among them) and
// 00 FF 2F 00. Its size is 15 + eventBytes + 4.
Bytes MakeSeq(std::size_t eventBytes, std::uint32_t seed);

// A bundle of `count` sequences numbered 0..count-1 (version 00 00 00 00).
// `eventBytes` bytes of events per sequence.
Bytes MakeSep(std::size_t count, std::size_t eventBytes, std::uint32_t seed);

// Writes the demo image to `path` and returns the planted items.
std::vector<Planted> WriteDemoImage(const std::string& path);

// The demo image in memory.
Bytes BuildDemoImage(std::vector<Planted>* planted = nullptr);

// A large image for benchmarks: filler with items sprinkled every ~1 MiB.
Bytes BuildBenchImage(std::size_t megabytes);

// A large image for the bank body search: a VAB header every 64 MiB and all
// their bodies at the very end, so that every body search walks the image.
Bytes BuildBankBenchImage(std::size_t megabytes);

}  // namespace psxdig::tools
