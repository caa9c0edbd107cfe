// The page's parsers on any bytes. Selector: 0 the waveform of a WAV (every
// stretch's low at most its high), 1 escaping (the result is UTF-8 with no
// markup character left, a file URL no scheme, query or fragment), 2 a whole
// page from a listing.json (one script element, whatever the listing holds).
#include <string>

#include "fuzz.h"
#include "report/report.h"

namespace {

// True when `text` is well-formed UTF-8 (EscapeHtml's own check on itself
// would prove nothing: this one is written differently, by code point ranges).
bool IsUtf8(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || at + n > text.size()) return false;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(text[at + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    at += n;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  switch (data[0] % 3) {
    case 0: {
      psxdig::report::Waveform wave;
      if (psxdig::report::WaveformOfWav(psxdig::ByteSpan(data + 2, size - 2), 1 + data[1], wave)) {
        FUZZ_CHECK(wave.low.size() == wave.high.size() && wave.low.size() <= 1u + data[1]);
        for (std::size_t k = 0; k < wave.low.size(); ++k) FUZZ_CHECK(wave.low[k] <= wave.high[k]);
      }
      break;
    }
    case 1: {
      const std::string html = psxdig::report::EscapeHtml(text);
      FUZZ_CHECK(IsUtf8(html) && html.find_first_of("<>\"'") == std::string::npos);
      FUZZ_CHECK(psxdig::report::FileUrl(text).find_first_of(":?#<>\"' ") == std::string::npos);
      break;
    }
    default: {
      const nlohmann::json listing = nlohmann::json::parse(text, nullptr, false);
      if (listing.is_discarded()) break;
      const std::string page = psxdig::report::BuildReportHtml(listing, {});
      FUZZ_CHECK(page.find("<script") == page.rfind("<script") && page.find("<script") != std::string::npos);
      break;
    }
  }
  return 0;
}
