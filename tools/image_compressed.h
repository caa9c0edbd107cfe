// Compressed sequence data for the dec command: encoders that produce
// streams the three decompressors turn back into known bytes, and images
// holding such items for each supported release.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_builder.h"

namespace psxdig::tools {

// Builds an LZSS stream item by item. References are checked against the
// decoder's window arithmetic: only sources that it maps back to the same
// output position, and copies that never spill past the end of an output of
// `outputSize` bytes, are used.
class LzssEncoder {
 public:
  LzssEncoder(std::uint32_t matchBit, std::size_t outputSize)
      : matchBit_(matchBit), outputSize_(outputSize) {}

  void Literal(std::uint8_t b);
  void Literals(const Bytes& bytes);
  // A back-reference stored as b0 b1, whose decoded bytes the caller gives.
  void RawReference(std::uint8_t b0, std::uint8_t b1, const Bytes& yields);
  // Appends `bytes`, as back-references wherever a match of 3 or more bytes
  // is found in the output so far, else as literals.
  void Compress(const Bytes& bytes);
  // Closes the stream. With `terminated` (streams whose size is found by
  // walking them; match bit 0) the last group is filled up with zero literals
  // and a group of 17 zero bytes follows.
  Bytes Finish(bool terminated);

  const Bytes& plain() const { return plain_; }  // what the decoder yields

 private:
  void StartItem(bool reference);

  std::uint32_t matchBit_;
  std::size_t outputSize_;
  Bytes stream_;
  Bytes plain_;
  std::size_t flagAt_ = 0;
  unsigned itemsInGroup_ = 8;
};

// The output position that the LZSS decoder copies from for a reference of
// window position `position` met at output position `outPos`.
std::uint32_t LzssSourceOf(std::uint32_t outPos, std::uint32_t position);

// A Brightis item from its signature on: the plain head of `head` bytes of
// `plain`, then codes for the rest. `plain` must end with 00 FF 2F 00 and
// contain no other 00 FF 2F 00. Throws std::logic_error for a plain that
// these simple codes cannot carry.
Bytes EncodeBrightis(const Bytes& plain, std::size_t head);

// Builds an Atelier stream.
class GustEncoder {
 public:
  // Appends bytes as literals (code bytes escaped with D0).
  void Literals(const Bytes& bytes);
  // Appends bytes with back-references and repeats where they pay.
  void Compress(const Bytes& bytes);
  const Bytes& stream() const { return stream_; }
  const Bytes& plain() const { return plain_; }

 private:
  void Literal(std::uint8_t b);
  Bytes stream_;
  Bytes plain_;
};

// A sequence whose events repeat, so that compressors find matches: "pQES",
// version 00 00 00 01, the 15-byte header, `bars` bars of events (no byte
// above 0x7F), then 00 FF 2F 00.
Bytes MakeRepetitiveSeq(std::size_t bars, std::uint32_t seed);

// An image for the dec command of the release with this five-digit serial.
struct DecImage {
  Bytes image;
  std::vector<Planted> planted;  // compressed items: signature offset, decoded size
  std::vector<Bytes> outputs;    // expected file contents in file order
  std::string ext;               // extension of the written files
};

// False for a serial without a decompressor.
bool BuildDecImage(const std::string& serial, DecImage& out);

// Writes the image for `serial` to `path`; false for an unknown serial.
bool WriteDecImage(const std::string& serial, const std::string& path, DecImage* out = nullptr);

// The serial of the README's dec example.
inline constexpr const char* kDecDemoSerial = "10037";

}  // namespace psxdig::tools
