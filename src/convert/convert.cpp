#include "convert/convert.h"

#include <initializer_list>
#include <string_view>

#include "convert/adpcm.h"
#include "convert/seq_smf.h"
#include "convert/sf2.h"
#include "convert/vab.h"

namespace psxdig::convert {
namespace {

// Builds a name from its parts (appending, not operator+, which GCC 12's
// -Wrestrict misreads at -O3).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (const std::string_view part : parts) joined.append(part);
  return joined;
}

// The WAV's unity note and pitch fraction from the first tone playing the
// sample: the sample's own pitch is center - shift / 128 semitones.
void UnityPitch(const VabBank& bank, std::size_t vag, std::uint8_t& note, std::uint32_t& fraction) {
  note = 60;
  fraction = 0;
  for (const VabProgram& p : bank.programs) {
    for (const VabTone& t : p.tones) {
      if (t.vag != vag) continue;
      const std::uint8_t center = t.center > 127 ? 127 : t.center;
      const std::uint8_t shift = t.shift & 0x7F;
      note = (shift == 0 || center == 0) ? center : static_cast<std::uint8_t>(center - 1);
      fraction = (shift == 0 || center == 0) ? 0 : static_cast<std::uint32_t>(128 - shift) << 25;
      return;
    }
  }
}

}  // namespace

ItemKind IdentifyItem(ByteSpan file) {
  if (IsSequenceFile(file)) return ItemKind::kSequence;
  if (VabHeaderSize(file) != 0) return ItemKind::kBank;
  return ItemKind::kUnknown;
}

std::size_t BankHeaderSize(ByteSpan file) { return VabHeaderSize(file); }

ConvertResult ConvertSequence(ByteSpan file, const BendRanges* bends) {
  ConvertResult result;
  const SequenceFile split = SplitSequenceFile(file);
  for (const Sequence& seq : split.sequences) {
    SmfResult smf = SequenceToSmf(seq, bends);
    result.droppedBankSelect += smf.droppedBankSelect;
    if (!smf.error.empty()) {
      result.error = split.sep ? Join({"sequence ", std::to_string(seq.id), ": ", smf.error}) : smf.error;
      return result;
    }
    const std::string suffix = split.sep ? Join({"_", std::to_string(seq.id), ".mid"}) : ".mid";
    result.files.push_back({suffix, std::move(smf.smf)});
  }
  result.error = split.error;
  return result;
}

BankBends ReadBankBends(ByteSpan header) {
  BankBends bends;
  const VabBank bank = ParseVabPrograms(header);
  bends.error = bank.error;
  bends.ranges = BendRangesOf(bank);
  return bends;
}

ConvertResult ConvertBank(ByteSpan header, ByteSpan body, const std::string& bankName, bool wav) {
  ConvertResult result;
  const VabBank bank = ParseVab(header, body);
  if (!bank.error.empty()) {
    result.error = bank.error;
    return result;
  }
  std::vector<DecodedSample> samples;
  samples.reserve(bank.samples.size());
  for (const ByteSpan s : bank.samples) samples.push_back(DecodeAdpcm(s));
  if (bank.programs.empty()) {
    result.error = "no program has a tone with a sample";
  } else {
    result.files.push_back({".sf2", VabToSf2(bank, samples, bankName)});
  }
  for (std::size_t k = 0; wav && k < samples.size(); ++k) {
    std::uint8_t note = 60;
    std::uint32_t fraction = 0;
    UnityPitch(bank, k + 1, note, fraction);
    result.files.push_back(
        {Join({"_", std::to_string(k + 1), ".wav"}), SampleToWav(samples[k], kSpuRate, note, fraction)});
  }
  return result;
}

ConvertResult ConvertFile(ByteSpan file, const std::string& bankName, bool wav) {
  switch (IdentifyItem(file)) {
    case ItemKind::kSequence:
      return ConvertSequence(file);
    case ItemKind::kBank: {
      const std::size_t headerSize = BankHeaderSize(file);
      if (std::string error = CheckVabHeader(file); !error.empty()) return {{}, error};
      if (file.size() == headerSize) return {{}, "a VAB header without its body (.vb)"};
      return ConvertBank(file.first(headerSize), file.subspan(headerSize), bankName, wav);
    }
    case ItemKind::kUnknown:
      break;
  }
  return {{}, "not a SEQ, SEP or VAB file"};
}

}  // namespace psxdig::convert
