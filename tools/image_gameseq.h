// Items of the game-specific sequence formats (SSsq, KCET, SNTp, SEQG, SEQq,
// .sqv, SSEQ) and small images holding them, one format per image (the rip
// writes a whole class with the writer of its first item) plus one mix.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_builder.h"

namespace psxdig::tools {

// One planted item and what the rip should make of it.
struct GameSeqPlanted {
  std::string ext;         // the item's own format (".sssq", ".kcet", ...)
  std::uint32_t sigOfs;    // offset of its signature
  std::uint32_t start;     // first byte the rip lists and writes
  std::uint32_t size;      // size the rip lists (without file padding); 0 when rejected
  std::uint32_t recorded;  // size the rip records for it; 0 when rejected
  std::string note;
};

// Bytes that never start a signature, never hold 00, F3 or FF, so that no
// end marker, no SNTp marker and no SSEQ end can appear in them.
Bytes MakeGameSeqBody(std::size_t n, std::uint32_t seed);

// 12 prefix bytes, "SSsq", events and FF 2F 00 ending `markerEnd` bytes after
// the signature (markerEnd >= 7). The item is 12 + markerEnd bytes long.
Bytes MakeSssq(std::uint32_t markerEnd, std::uint32_t seed);

// "KCET", the length field, "TSDB" at 8, "KDT2" at 20, "KDT1" at 36 and body
// bytes up to `bytes` in all (at least 40). A whole item has bytes = length + 8.
Bytes MakeKcet(std::uint32_t length, std::size_t bytes, std::uint32_t seed);

// 02 00 00 00, 4 bytes, A, "SNTp", then the first part: its first marker
// 00 00 20 00 at item offset X = A + 4 + 4 * firstSkip, the second length B in
// the 4 bytes before it (or, with `lengthFurtherBack`, in the 4 bytes before
// those, with a non-zero third byte in between), and the second marker at
// X + B + 4 + 4 * secondSkip. With `secondMarker` false the item ends before
// its second marker would stand. The whole item is that marker's end long.
struct SntpLayout {
  std::uint32_t a = 16;
  std::uint32_t firstSkip = 1;
  std::uint32_t b = 8;
  std::uint32_t secondSkip = 1;
  bool lengthFurtherBack = false;
  bool secondMarker = true;
};
Bytes MakeSntp(const SntpLayout& layout, std::uint32_t seed);
// Item size of a layout with its second marker: X + B + 4 + 4 * secondSkip + 4.
std::uint32_t SntpSize(const SntpLayout& layout);

// "SEQG", 00 00 00 00, the length field at 80..83 and body bytes up to
// `bytes` in all (at least 84). A whole item has bytes = length + 8.
Bytes MakeSeqg(std::uint32_t length, std::size_t bytes, std::uint32_t seed);

// The length field, 56 bytes, "qQES" at 60 and body bytes up to `bytes` in
// all (at least 64). A whole item has bytes = length + 60.
Bytes MakeSeqq(std::uint32_t length, std::size_t bytes, std::uint32_t seed);

// ".sqv", 4 bytes, two words that announce 1 to 3 tracks (`declared`), then
// `present` tracks of `eventBytes` events and FF 2F 00 each.
Bytes MakeSqv(std::uint32_t declared, std::uint32_t present, std::size_t eventBytes,
              std::uint32_t seed);

// "SSEQ", 28 00 00 00, `bodyBytes` bytes and, with `closed`, the end byte F3.
Bytes MakeSseq(std::size_t bodyBytes, bool closed, std::uint32_t seed);

// The image of a name: "sssq", "kcet", "sntp", "seqg", "seqq", "sqv", "sseq"
// or "mix" (a SSEQ first, then one item of every other sequence format, all
// written by the SSEQ rule); an empty image for an unknown name.
Bytes BuildGameSeqImage(const std::string& name, std::vector<GameSeqPlanted>* planted = nullptr);

// Writes the image to `path`; false for an unknown name or a failed write.
bool WriteGameSeqImage(const std::string& name, const std::string& path,
                       std::vector<GameSeqPlanted>* planted = nullptr);

}  // namespace psxdig::tools
