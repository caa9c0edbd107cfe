// How long a SEQ or SEP item is, at every offset of the input.
#include "fuzz_util.h"
#include "rip/rip_context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const psxdig::ByteSpan input(data, size);
  for (std::uint32_t ofs = 0; ofs < size; ofs += 1 + ofs / 64) {
    const psxdig::SeqExtent item = psxdig::MeasureSeqItem(input, ofs);
    if (item.verdict == psxdig::SeqExtent::kFound) {
      FUZZ_CHECK(item.size >= 19 && item.size <= size - ofs);
      FUZZ_CHECK(item.furtherCount <= 15);
      FUZZ_CHECK(item.sep || item.furtherCount == 0);
    }
  }
  return 0;
}
