// extract --render: every sequence played with the bank it is paired with,
// into audio files beside it.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/extract.h"
#include "app/render_cmd.h"
#include "convert/pairing.h"

namespace psxdig {
namespace {

// Sequences and the VAB headers that have a body, as pairing candidates.
std::vector<convert::PairingCandidate> RenderCandidates(ByteSpan stream, const std::vector<ExtractedItem>& items) {
  std::vector<convert::PairingCandidate> candidates(items.size());
  for (std::size_t k = 0; k < items.size(); ++k) {
    const ExtractedItem& item = items[k];
    if (item.output.empty() || !HasBytes(stream, item.logicalOffset, item.size)) continue;
    if (IsSequence(item)) {
      candidates[k].sequence = true;
    } else if (item.ext == ".vh") {
      const ExtractedItem* body = BodyOf(items, item);
      candidates[k].bank = body && HasBytes(stream, body->logicalOffset, body->size);
    }
    candidates[k].discPath = item.place.discPath;
    candidates[k].imageOffset = item.place.imageOffset;
  }
  return candidates;
}

render::PlayableBank BankOf(ByteSpan stream, const std::vector<ExtractedItem>& items, const ExtractedItem& header) {
  const ExtractedItem* body = BodyOf(items, header);
  return render::LoadBank(stream.subspan(header.logicalOffset, header.size),
                          stream.subspan(body->logicalOffset, body->size));
}

}  // namespace

std::size_t RenderExtracted(const std::string& input, const std::string& folder, ByteSpan stream,
                            const render::RenderSettings& settings, bool flac, std::vector<ExtractedItem>& items) {
  const std::vector<convert::PairingCandidate> candidates = RenderCandidates(stream, items);
  const std::vector<convert::Pairing> pairs = convert::PairSequencesWithBanks(candidates);
  std::map<std::size_t, render::PlayableBank> banks;
  std::size_t written = 0;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (!candidates[k].sequence) continue;
    ExtractedItem& item = items[k];
    if (pairs[k].bank == convert::Pairing::kNone) {
      item.renderError = std::string("no bank to play it with: ") + pairs[k].reason;
      continue;
    }
    const ExtractedItem& header = items[pairs[k].bank];
    auto bank = banks.find(pairs[k].bank);
    if (bank == banks.end()) bank = banks.emplace(pairs[k].bank, BankOf(stream, items, header)).first;
    item.renderBank = header.output;
    const std::string stem = Stem(item.output);
    const std::string error = RenderSequenceFile(
        stream.subspan(item.logicalOffset, item.size), bank->second, settings, flac, [&](RenderedFile&& f) {
          std::string why;
          if (!WriteNewFile(folder, stem + f.suffix, f.bytes, why)) {
            std::fprintf(stderr, "psxdig extract: %s: %s\n", input.c_str(), why.c_str());
            item.renderError = why;
            return;
          }
          item.rendered.push_back({stem + f.suffix, f.seconds, f.capped});
          ++written;
        });
    if (!error.empty()) {
      std::fprintf(stderr, "psxdig extract: %s: %s: %s\n", input.c_str(), item.output.c_str(), error.c_str());
      item.renderError = error;
    }
  }
  return written;
}

}  // namespace psxdig
