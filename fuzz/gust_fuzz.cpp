// The Atelier decoder on the whole input, and uncompressGust writing it.
#include <vector>

#include "decompress/decompressors.h"
#include "fuzz_scratch.h"
#include "fuzz_util.h"

namespace {

const psxdig::fuzz::ScratchFolder& Scratch() {
  static const psxdig::fuzz::ScratchFolder folder("gust_fuzz");
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const psxdig::ByteSpan input(data, size);
  const std::vector<std::uint8_t> out = psxdig::DecodeGust(input);
  FUZZ_CHECK(out.size() <= 10 * std::uint64_t{size});
  // Input without escape codes is copied as is.
  bool plain = true;
  for (const std::uint8_t b : input) {
    plain = plain && b != 0xD0 && b != 0xD4 && b != 0xD7 && b != 0xD8 && b != 0xE2 && b != 0xE3 &&
            b != 0xE6;
  }
  if (plain) FUZZ_CHECK(out == std::vector<std::uint8_t>(input.begin(), input.end()));

  // Until the output is full each code yields at least one byte and takes at
  // most five, and only the last code's parameters can be cut off.
  FUZZ_CHECK(out.size() == 10 * std::uint64_t{size} || out.size() * 5 + 4 >= size);

  psxdig::DataOfs table;
  const auto& scratch = Scratch();
  FUZZ_CHECK(psxdig::uncompressGust(input, scratch.InputPath(), table) == 1);
  FUZZ_CHECK(scratch.Count() == 1);
  FUZZ_CHECK(scratch.BytesWritten() == out.size());
  scratch.Clear();
  return 0;
}
