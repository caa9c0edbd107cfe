// VAB records to SoundFont 2 and WAV, and the ADPCM decoder on any bytes:
// the input is taken as a .vab; the decoder's extent and loop stay inside
// what it decoded.
#include "convert/adpcm.h"
#include "convert/convert.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const psxdig::ByteSpan input(data, size);
  const psxdig::convert::DecodedSample s = psxdig::convert::DecodeAdpcm(input);
  FUZZ_CHECK(s.pcm.size() <= size / 16 * 28);
  FUZZ_CHECK(!s.loops || (s.loopStart < s.loopEnd && s.loopEnd == s.pcm.size()));
  if (psxdig::convert::IdentifyItem(input) != psxdig::convert::ItemKind::kBank) return 0;
  const psxdig::convert::ConvertResult r = psxdig::convert::ConvertFile(input, "fuzz", true);
  FUZZ_CHECK(!r.error.empty() || !r.files.empty());
  for (const auto& f : r.files) {
    const auto& b = f.bytes;
    FUZZ_CHECK(b.size() >= 12 && b[0] == 'R');
    const std::size_t riff = b[4] | (b[5] << 8) | (b[6] << 16) | (std::size_t{b[7]} << 24);
    FUZZ_CHECK(riff + 8 == b.size());
  }
  return 0;
}
