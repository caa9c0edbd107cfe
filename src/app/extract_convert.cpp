// extract --convert: what extract wrote, made playable, and every sequence
// given the bank it most likely plays with.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/extract.h"
#include "convert/convert.h"
#include "convert/pairing.h"

namespace psxdig {

bool IsSequence(const ExtractedItem& item) { return item.ext == ".seq" || item.ext == ".sep"; }

std::string Stem(const std::string& output) {
  const std::size_t dot = output.find_last_of('.');
  const std::size_t slash = output.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return output;
  return output.substr(0, dot);
}

const ExtractedItem* BodyOf(const std::vector<ExtractedItem>& items, const ExtractedItem& header) {
  for (const ExtractedItem& item : items) {
    if (item.kind == std::string_view("body") && item.header == header.output) return &item;
  }
  return nullptr;
}

namespace {

std::string BaseOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes what a conversion made beside the item and notes it in the item.
std::size_t WriteConverted(const std::string& input, const std::string& folder,
                           const convert::ConvertResult& result, ExtractedItem& item) {
  std::size_t written = 0;
  const std::string stem = Stem(item.output);
  for (const convert::ConvertedFile& file : result.files) {
    std::string error;
    const std::string name = stem + file.suffix;
    if (!WriteNewFile(folder, name, file.bytes, error)) {
      std::fprintf(stderr, "psxdig extract: %s: %s\n", input.c_str(), error.c_str());
      item.convertError = error;
      continue;
    }
    item.converted.push_back(name);
    ++written;
  }
  if (!result.error.empty()) {
    std::fprintf(stderr, "psxdig extract: %s: %s: %s\n", input.c_str(), item.output.c_str(),
                 result.error.c_str());
    item.convertError = result.error;
  }
  return written;
}

}  // namespace

std::size_t ConvertExtracted(const std::string& input, const std::string& folder, ByteSpan stream,
                             bool wav, std::vector<ExtractedItem>& items, DroppedBankSelects* dropped) {
  std::size_t written = 0;
  // Banks first: a sequence's MIDI takes the pitch-bend ranges of its bank.
  std::vector<convert::PairingCandidate> candidates(items.size());
  for (std::size_t k = 0; k < items.size(); ++k) {
    ExtractedItem& item = items[k];
    if (item.output.empty() || !HasBytes(stream, item.logicalOffset, item.size)) continue;
    const ByteSpan bytes = stream.subspan(item.logicalOffset, item.size);
    if (IsSequence(item)) {
      candidates[k].sequence = true;  // converted below, once its bank is known
    } else if (item.ext == ".vh") {
      const ExtractedItem* body = BodyOf(items, item);
      if (!body || !HasBytes(stream, body->logicalOffset, body->size)) continue;  // nothing to play
      const ByteSpan bodyBytes = stream.subspan(body->logicalOffset, body->size);
      written += WriteConverted(input, folder,
                                convert::ConvertBank(bytes, bodyBytes, BaseOf(Stem(item.output)), wav),
                                item);
      candidates[k].bank = !item.converted.empty() && item.convertError.empty();
    }
    candidates[k].discPath = item.place.discPath;
    candidates[k].imageOffset = item.place.imageOffset;
  }
  const std::vector<convert::Pairing> pairs = convert::PairSequencesWithBanks(candidates);
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (!candidates[k].sequence) continue;
    ExtractedItem& item = items[k];
    const ByteSpan bytes = stream.subspan(item.logicalOffset, item.size);
    std::optional<convert::BankBends> bends;
    if (pairs[k].bank != convert::Pairing::kNone) {
      const ExtractedItem& bank = items[pairs[k].bank];
      bends = convert::ReadBankBends(stream.subspan(bank.logicalOffset, bank.size));
    }
    const convert::ConvertResult result =
        convert::ConvertSequence(bytes, bends && bends->error.empty() ? &bends->ranges : nullptr);
    written += WriteConverted(input, folder, result, item);
    if (item.converted.empty()) continue;
    if (dropped) (*dropped)[k] = result.droppedBankSelect;
    item.pairing = pairs[k].reason;
    if (pairs[k].bank != convert::Pairing::kNone) {
      item.soundFont = items[pairs[k].bank].converted.front();  // the .sf2 comes first
    }
  }
  return written;
}

}  // namespace psxdig
