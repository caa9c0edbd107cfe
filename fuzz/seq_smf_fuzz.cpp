// SEQ and SEP files to Standard MIDI Files: any input either converts to
// well-formed files or stops with a message, reading only inside the input.
#include "convert/convert.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const psxdig::convert::ConvertResult r = psxdig::convert::ConvertSequence(psxdig::ByteSpan(data, size));
  FUZZ_CHECK(!r.error.empty() || !r.files.empty());
  for (const auto& f : r.files) {
    const auto& b = f.bytes;
    FUZZ_CHECK(b.size() >= 22 + 4 && b[0] == 'M' && b[14] == 'M');
    const std::size_t track = (std::size_t{b[18]} << 24) | (b[19] << 16) | (b[20] << 8) | b[21];
    FUZZ_CHECK(track + 22 == b.size());
    FUZZ_CHECK(b[b.size() - 3] == 0xFF && b[b.size() - 2] == 0x2F && b[b.size() - 1] == 0x00);
  }
  return 0;
}
