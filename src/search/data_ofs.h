// The search table: what the data search found, handed to every writer, the
// body search, the duplicate check and the decompressors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"

namespace psxdig {

struct DataOfs {
  std::uint32_t seqNum = 0;  // sequence-class items found
  std::uint32_t vhNum = 0;   // bank-header-class items found (CreateVh may lower it)
  std::vector<std::uint32_t> seqOfs;      // signature offsets, ascending
  std::vector<std::uint32_t> vhOfs;       // signature offsets, ascending
  std::vector<std::uint32_t> seqSize;     // size written by the sequence writer (no padding)
  std::vector<std::uint32_t> vhSize;      // size written by the bank header writer
  std::vector<std::uint32_t> seqCreated;  // 1 once the item's file is written
  std::vector<std::uint32_t> vhCreated;   // 1 once the header's file is written
  std::vector<std::uint32_t> vbCreated;   // 1 once the bank body's ".vb" is written
  std::string seqExt;  // extension of the sequence class (first item found)
  std::string vhExt;   // extension of the bank-header class (first item found)
};

enum class FormatClass { kNone, kSequence, kBankHeader };

// What the signature recognition found at one offset.
struct Identified {
  FormatClass cls = FormatClass::kNone;
  const char* ext = "";  // ".seq", ".sep", ... ".vh", ".vh2", ".sshd", ".inst"
};

// Recognises the signature of a supported format at `off`. runMode 1 (dec)
// recognises the compressed and plain sequence signatures only, 2 (extract)
// the rip set and its widened forms, every other value the rip set. Reads
// only bytes inside `input`.
Identified IdentifyData(ByteSpan input, std::uint32_t off, std::uint32_t runMode);

// How an item of the extract search at `off` was recognised: "reversed
// magic" for a sequence whose magic reads "SEQp", "VAB version 5" for a VAB
// header recognised by its version alone, "signature" for everything else.
const char* RecognisedAs(ByteSpan input, std::uint64_t off);

class ErrorLog;

// Walks the input from startOfs, records every accepted signature and fills
// the table (counts, ascending offsets, zeroed result arrays, one extension
// per class). With validate = 1 ".seq" and ".vh" hits are checked and the
// scan skips over accepted items. Returns 1 (0 only when memory runs out).
std::uint32_t GetDataOfs(ByteSpan input, std::uint32_t startOfs, std::uint32_t capacity,
                         std::uint32_t validate, DataOfs& table, std::uint32_t runMode,
                         const ErrorLog& log);

// True when the two bytes at `off` are the first two of some signature;
// IdentifyData finds nothing anywhere else.
bool CanStartSignature(ByteSpan input, std::uint64_t off);
// The first offset at or after `from` at which a signature can start, or the
// input size when there is none. `wide` lets it use AVX2 where the processor
// has it (false: SSE2 and plain code only, for the tests).
std::uint64_t NextSignatureStart(ByteSpan input, std::uint64_t from, bool wide = true);

// Ascending order of unsigned 32-bit offsets.
bool CompareOfs(std::uint32_t a, std::uint32_t b);

}  // namespace psxdig
