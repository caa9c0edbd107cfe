// Banks made ready to play.
#include "render/render.h"

namespace psxdig::render {

PlayableBank LoadBank(ByteSpan header, ByteSpan body) {
  PlayableBank bank;
  bank.programOf.fill(-1);
  bank.vab = convert::ParseVab(header, body, convert::BodyCheck::kLenient);
  if (!bank.vab.error.empty()) {
    bank.error = bank.vab.error;
    return bank;
  }
  for (std::size_t k = 0; k < bank.vab.programs.size(); ++k) {
    bank.programOf[bank.vab.programs[k].number & 0x7F] = static_cast<std::int16_t>(k);
  }
  for (const ByteSpan s : bank.vab.samples) {
    bank.samples.push_back({s.data(), static_cast<std::uint32_t>(s.size() / 16)});
  }
  if (bank.vab.bodyMissing > 0) {
    bank.warnings.push_back("the body is " + std::to_string(bank.vab.bodyMissing) +
                            " bytes shorter than its samples: the samples past its end are cut");
  }
  if (bank.vab.tonesWithoutSample > 0) {
    bank.warnings.push_back(std::to_string(bank.vab.tonesWithoutSample) +
                            " tones name a sample the bank does not have: they are silent");
  }
  return bank;
}

PlayableBank LoadBankFile(ByteSpan file) {
  const std::size_t headerSize = convert::VabHeaderSize(file);
  if (headerSize == 0) {
    PlayableBank bank;
    bank.error = "not a VAB bank";
    return bank;
  }
  if (const std::string error = convert::CheckVabHeader(file); !error.empty()) {
    PlayableBank bank;
    bank.error = error;
    return bank;
  }
  return LoadBank(file.first(headerSize), file.subspan(headerSize));
}

}  // namespace psxdig::render
