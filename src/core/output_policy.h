// Where the items that the writers keep go, how they are named and how they
// are listed. The rip command writes numbered files beside the input with a
// CSV row each; the extract command writes into an output folder, names each
// item by where it came from and lists it with its origin.
#pragma once

#include <cstdint>

#include "core/bytes.h"

namespace psxdig {

// One item a writer keeps: `size` bytes of `input` from `ofs`, followed by
// `padding` zero bytes.
struct ItemToWrite {
  ByteSpan input;
  const char* ext = "";        // ".seq", ".vh", ".vb", ...
  std::uint32_t index = 0;     // the item's index in its class (a body: its bank's)
  std::uint32_t count = 0;     // items of the class
  std::uint64_t ofs = 0;
  std::uint64_t size = 0;
  std::uint32_t padding = 0;
  std::uint32_t seqValue = 0;  // sequences behind the first one of a SEP
  bool listed = true;          // false for the fixed regions that have no listing row
  bool trailingBlockEnd = false;  // a body taken only by the wider end test of extract
};

class OutputPolicy {
 public:
  virtual ~OutputPolicy() = default;
  // Lists the item and writes its file. False when the file cannot be
  // written; platform::LastErrorCode() then tells why.
  virtual bool WriteItem(const ItemToWrite& item) = 0;
};

}  // namespace psxdig
