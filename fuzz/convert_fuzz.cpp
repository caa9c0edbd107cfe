// The converters on any bytes, either to well-formed files or to a message,
// reading only inside the input. Selector: 0 SEQ/SEP to Standard MIDI Files
// (with a bend range for one program),
// 1 a .vab to SoundFont 2 and WAV, and the ADPCM decoder (its extent and loop
// stay inside what it decoded).
#include "convert/adpcm.h"
#include "convert/convert.h"
#include "fuzz.h"

namespace {

using psxdig::fuzz::Params;

void SeqToSmf(Params& p) {
  psxdig::convert::BendRanges bends;
  bends.fill(-1);
  const std::uint8_t program = p.U8() & 0x7F;
  bends[program] = p.U8();
  const psxdig::convert::ConvertResult r = psxdig::convert::ConvertSequence(p.Rest(), &bends);
  FUZZ_CHECK(!r.error.empty() || !r.files.empty());
  for (const auto& f : r.files) {
    const auto& b = f.bytes;
    FUZZ_CHECK(b.size() >= 22 + 4 && b[0] == 'M' && b[14] == 'M');
    const std::size_t track = (std::size_t{b[18]} << 24) | (b[19] << 16) | (b[20] << 8) | b[21];
    FUZZ_CHECK(track + 22 == b.size());
    FUZZ_CHECK(b[b.size() - 3] == 0xFF && b[b.size() - 2] == 0x2F && b[b.size() - 1] == 0x00);
  }
}

void VabToSf2(Params& p) {
  const psxdig::ByteSpan input = p.Rest();
  const psxdig::convert::DecodedSample s = psxdig::convert::DecodeAdpcm(input);
  FUZZ_CHECK(s.pcm.size() <= input.size() / 16 * 28);
  FUZZ_CHECK(!s.loops || (s.loopStart < s.loopEnd && s.loopEnd == s.pcm.size()));
  if (psxdig::convert::IdentifyItem(input) != psxdig::convert::ItemKind::kBank) return;
  const psxdig::convert::BankBends bends = psxdig::convert::ReadBankBends(input);
  for (const int range : bends.ranges) FUZZ_CHECK(range >= -1 && range <= 255);
  const psxdig::convert::ConvertResult r = psxdig::convert::ConvertFile(input, "fuzz", true);
  FUZZ_CHECK(!r.error.empty() || !r.files.empty());
  for (const auto& f : r.files) {
    const auto& b = f.bytes;
    FUZZ_CHECK(b.size() >= 12 && b[0] == 'R');
    const std::size_t riff = b[4] | (b[5] << 8) | (b[6] << 16) | (std::size_t{b[7]} << 24);
    FUZZ_CHECK(riff + 8 == b.size());
  }
}

constexpr psxdig::fuzz::Parser kParsers[] = {SeqToSmf, VabToSf2};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return psxdig::fuzz::Dispatch(kParsers, data, size);
}
