// The three decompressors of the dec command. Each is a pure decoder (the
// compressed bytes in, the decoded bytes out, every read and write inside
// its buffers) and a loop that writes one numbered file per item found by
// the search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "search/data_ofs.h"

namespace psxdig {

// ---- LZSS (4096-byte window, 12-bit positions, lengths 3..18) ----

// Largest uncompressed size an LZSS item may claim; larger items are skipped.
inline constexpr std::uint32_t kMaxLzssSize = 16u << 20;

// Decodes `stream` into a zero-filled output of `size` bytes. A flag bit
// equal to `matchBit` marks a two-byte back-reference, the other value a
// literal. Decoding ends when the output is full; a stream that ends first
// leaves the output cut to the bytes decoded so far. Throws std::bad_alloc
// when the output cannot be had.
std::vector<std::uint8_t> DecodeLzss(ByteSpan stream, std::uint32_t size, std::uint32_t matchBit);

// The uncompressed size of an LZSS stream found by walking its groups (a set
// flag bit is a literal, a clear one a back-reference) up to a group of 17
// zero bytes. A group cut off by the end of the stream ends the walk.
std::uint64_t ScanLzssSize(ByteSpan stream);

// Cuts `out` right behind its first end-of-track event FF 2F 00 (looked for
// at positions 1..65535); leaves it whole when there is none.
void CutAtEndOfTrack(std::vector<std::uint8_t>& out);

// Writes every item of the class named by `ext` (".seq" or ".sssq"). The
// stream starts streamBack bytes before each signature; in size mode 0 the
// 32-bit uncompressed size lies sizeBack bytes before it, in size mode 1 it is
// found by ScanLzssSize and the output is cut behind its end-of-track event.
// versionFix 1 sets byte 7 of every output longer than 8 bytes to 1.
// Returns 0 when an output file cannot be opened, else 1.
std::uint32_t uncompressLzss(ByteSpan input, const std::string& inputPath, std::uint32_t sizeBack,
                             std::uint32_t streamBack, std::uint32_t matchBit,
                             std::uint32_t sizeMode, const char* ext, std::uint32_t versionFix,
                             DataOfs& table);

// ---- Brightis ----

// Decodes the item whose signature stands at `ofs`: the plain head (its
// length in the two bytes before the signature), then literals,
// back-references and literal runs up to the first 00 FF 2F 00 behind the
// signature, or up to the next item's signature at `nextOfs` when that comes
// first (a sequence never runs into the next one; 0 or an offset not after
// `ofs`: no next item). Returns false (and nothing) when fewer than two bytes
// stand before the signature. Throws std::bad_alloc when the output cannot be
// had.
bool DecodeBrightis(ByteSpan input, std::uint32_t ofs, std::vector<std::uint8_t>& out,
                    std::uint32_t nextOfs = 0);

// Writes one ".seq" per item. Returns 0 when an output file cannot be opened
// or an output cannot be allocated, else 1.
std::uint32_t uncompressBrightis(ByteSpan input, const std::string& inputPath, DataOfs& table);

// ---- Atelier ----

// Decodes the whole input as one stream of literals and escape codes
// D0..E6. The output never grows beyond ten times the input's length.
// Throws std::bad_alloc when the output cannot be had.
std::vector<std::uint8_t> DecodeGust(ByteSpan input);

// Writes the decoded input to one ".dec" file. Returns 0 when the output
// cannot be allocated or its file cannot be opened, else 1.
std::uint32_t uncompressGust(ByteSpan input, const std::string& inputPath, DataOfs& table);

}  // namespace psxdig
