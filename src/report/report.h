// The page of an extracted disc: report.html, written from the same records
// as listing.json. One self-contained file (HTML, inline CSS, a little plain
// JavaScript that only sorts, filters and plays); the table, the disc map and
// the sounds are all in the HTML, so the page reads without scripts too.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/bytes.h"

namespace psxdig::report {

// Text from a disc (or any listing) made safe as HTML text and as a quoted
// attribute value: & < > " ' become references, bytes that are not UTF-8 and
// control characters (other than tab, CR, LF) become U+FFFD.
std::string EscapeHtml(std::string_view text);

// A file of the output folder as a relative URL: every byte but letters,
// digits, "/", "-", ".", "_", "~" and "@" percent-encoded, so no name can
// become a scheme, a query or a fragment.
std::string FileUrl(std::string_view name);

// The picture of a sound: the lowest and the highest sample value of each of
// `low.size()` equal stretches of a 16-bit PCM WAV (all channels together).
struct Waveform {
  std::vector<std::int16_t> low, high;
  std::uint32_t rate = 0;
  std::uint32_t channels = 0;
  std::uint64_t frames = 0;
  double Seconds() const { return rate ? static_cast<double>(frames) / rate : 0.0; }
};

// The waveform of a RIFF/WAVE file of 16-bit PCM in at most `points`
// stretches; false (and nothing set) for anything else. A data chunk that
// claims more than the file holds is taken as far as the file goes.
bool WaveformOfWav(ByteSpan wav, std::size_t points, Waveform& out);

// The sound files (.wav, .flac) an item of listing.json names: its output,
// its converted files and its rendered songs, in that order, each once.
std::vector<std::string> SoundFilesOf(const nlohmann::json& item);

// The whole page for a parsed listing.json; `waves` holds the waveforms of
// the WAV files it names (by name in the folder), missing ones are drawn
// without a picture. Fields the page does not know are ignored; fields of
// the wrong type are taken as absent.
std::string BuildReportHtml(const nlohmann::json& listing,
                            const std::map<std::string, Waveform>& waves);

}  // namespace psxdig::report
