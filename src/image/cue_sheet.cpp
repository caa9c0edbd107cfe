// CUE sheets: FILE, TRACK and INDEX lines turned into tracks with the byte
// offset of each track's start inside its file.
#include <algorithm>
#include <cctype>

#include "image/disc_image.h"

namespace psxdig {

namespace {

struct TrackType {
  const char* name;
  std::uint32_t sectorSize;
  ImageKind kind;  // kPlainFile: not a data track
};

constexpr TrackType kTrackTypes[] = {
    {"AUDIO", 2352, ImageKind::kPlainFile},      {"CDG", 2448, ImageKind::kPlainFile},
    {"MODE1/2048", 2048, ImageKind::kIso2048},   {"MODE2/2048", 2048, ImageKind::kIso2048},
    {"MODE1/2352", 2352, ImageKind::kRaw2352},   {"MODE2/2352", 2352, ImageKind::kRaw2352},
    {"CDI/2352", 2352, ImageKind::kRaw2352},     {"MODE2/2336", 2336, ImageKind::kRaw2336},
    {"CDI/2336", 2336, ImageKind::kRaw2336},
};

constexpr const char* kFileTypes[] = {"BINARY", "MOTOROLA", "WAVE", "AIFF", "MP3"};
constexpr const char* kIgnored[] = {"REM",       "CATALOG",    "ISRC",       "TITLE", "PERFORMER",
                                    "SONGWRITER", "CDTEXTFILE", "FLAGS",      "ARRANGER",
                                    "COMPOSER",  "MESSAGE",    "DISC_ID",    "GENRE", "UPC_EAN"};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Splits a line into words; a double-quoted word may hold blanks.
bool SplitWords(std::string_view line, std::vector<std::string>& words) {
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
    } else if (line[i] == '"') {
      const std::size_t end = line.find('"', i + 1);
      if (end == std::string_view::npos) return false;
      words.emplace_back(line.substr(i + 1, end - i - 1));
      i = end + 1;
    } else {
      std::size_t end = i;
      while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
      words.emplace_back(line.substr(i, end - i));
      i = end;
    }
  }
  return true;
}

// A number of one to `digits` decimal digits.
bool ParseNumber(const std::string& s, std::size_t digits, std::uint32_t& out) {
  if (s.empty() || s.size() > digits) return false;
  out = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    out = out * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return true;
}

// mm:ss:ff, 75 frames a second, as a count of frames (sectors).
bool ParseTime(const std::string& s, std::uint32_t& frames) {
  const std::size_t a = s.find(':'), b = s.find(':', a == std::string::npos ? a : a + 1);
  if (a == std::string::npos || b == std::string::npos) return false;
  std::uint32_t m = 0, sec = 0, f = 0;
  if (!ParseNumber(s.substr(0, a), 3, m) || !ParseNumber(s.substr(a + 1, b - a - 1), 2, sec) ||
      !ParseNumber(s.substr(b + 1), 2, f) || sec >= 60 || f >= 75) {
    return false;
  }
  frames = (m * 60 + sec) * 75 + f;
  return true;
}

const TrackType* FindTrackType(const std::string& name) {
  for (const auto& t : kTrackTypes) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

template <std::size_t N>
bool OneOf(const std::string& word, const char* const (&list)[N]) {
  return std::any_of(std::begin(list), std::end(list), [&](const char* w) { return word == w; });
}

// A track while the sheet is read: its first INDEX and INDEX 01 in frames.
struct PendingTrack {
  CueTrack track;
  std::size_t fileIndex = 0;
  std::size_t line = 0;
  std::optional<std::uint32_t> firstIndex;
  std::optional<std::uint32_t> index01;
};

// Byte offsets inside each file: a track runs from its first INDEX to the
// next track's first INDEX in the same file, at its own sector size.
bool PlaceTracks(std::vector<PendingTrack>& pending, std::string& error) {
  for (std::size_t i = 0; i < pending.size(); ++i) {
    PendingTrack& p = pending[i];
    if (!p.index01) {
      error = "line " + std::to_string(p.line) + ": track " + std::to_string(p.track.number) +
              " has no INDEX 01";
      return false;
    }
    std::uint64_t start = std::uint64_t{*p.firstIndex} * p.track.sectorSize;
    if (i > 0 && pending[i - 1].fileIndex == p.fileIndex) {
      const PendingTrack& prev = pending[i - 1];
      if (*p.firstIndex < *prev.index01) {
        error = "line " + std::to_string(p.line) + ": track " + std::to_string(p.track.number) +
                " starts before the previous track";
        return false;
      }
      const std::uint64_t prevStart = prev.track.fileOffset - std::uint64_t{*prev.index01 - *prev.firstIndex} *
                                                                  prev.track.sectorSize;
      start = prevStart + std::uint64_t{*p.firstIndex - *prev.firstIndex} * prev.track.sectorSize;
      pending[i - 1].track.endOffset = start;
    }
    p.track.fileOffset = start + std::uint64_t{*p.index01 - *p.firstIndex} * p.track.sectorSize;
    p.track.storedPregap = *p.index01 - *p.firstIndex;
  }
  return true;
}

}  // namespace

std::optional<CueSheet> ParseCue(std::string_view text, std::string& error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<PendingTrack> pending;
  std::string file;
  std::size_t files = 0;
  std::size_t lineNo = 0;
  auto fail = [&](const std::string& what) {
    error = "line " + std::to_string(lineNo) + ": " + what;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++lineNo;
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<std::string> w;
    if (!SplitWords(line, w)) return fail("unclosed quote");
    if (w.empty()) continue;
    const std::string cmd = Upper(w[0]);
    if (OneOf(cmd, kIgnored)) continue;
    if (cmd == "FILE") {
      if (w.size() < 3) return fail("FILE needs a name and a type");
      if (!OneOf(Upper(w.back()), kFileTypes)) return fail("unknown file type " + w.back());
      file = w[1];
      for (std::size_t k = 2; k + 1 < w.size(); ++k) file += " " + w[k];  // unquoted name with blanks
      ++files;
    } else if (cmd == "TRACK") {
      std::uint32_t number = 0;
      if (w.size() != 3 || !ParseNumber(w[1], 2, number) || number == 0) return fail("TRACK needs a number and a type");
      if (files == 0) return fail("TRACK before any FILE");
      const TrackType* type = FindTrackType(Upper(w[2]));
      if (!type) return fail("unknown track type " + w[2]);
      PendingTrack p;
      p.track = {file, number, type->name, type->sectorSize, type->kind != ImageKind::kPlainFile, 0, {}, 0, 0};
      p.fileIndex = files;
      p.line = lineNo;
      pending.push_back(std::move(p));
    } else if (cmd == "INDEX") {
      std::uint32_t number = 0, frames = 0;
      if (w.size() != 3 || !ParseNumber(w[1], 2, number) || !ParseTime(w[2], frames)) {
        return fail("INDEX needs a number and a time mm:ss:ff");
      }
      if (pending.empty()) return fail("INDEX before any TRACK");
      PendingTrack& p = pending.back();
      if (p.firstIndex && frames < *p.firstIndex) return fail("INDEX goes back in time");
      if (!p.firstIndex) p.firstIndex = frames;
      if (number == 1) p.index01 = frames;
    } else if (cmd == "PREGAP" || cmd == "POSTGAP") {
      std::uint32_t frames = 0;
      if (w.size() != 2 || !ParseTime(w[1], frames)) return fail(cmd + " needs a time mm:ss:ff");
      if (pending.empty()) return fail(cmd + " before any TRACK");
      if (cmd == "PREGAP") pending.back().track.pregap = frames;
    } else {
      return fail("unknown command " + w[0]);
    }
  }
  if (pending.empty()) {
    error = "no TRACK in the sheet";
    return std::nullopt;
  }
  if (!PlaceTracks(pending, error)) return std::nullopt;
  CueSheet sheet;
  for (auto& p : pending) sheet.tracks.push_back(std::move(p.track));
  return sheet;
}

const CueTrack* FirstDataTrack(const CueSheet& sheet) {
  for (const auto& t : sheet.tracks) {
    if (t.data) return &t;
  }
  return nullptr;
}

ImageKind TrackImageKind(const CueTrack& track) {
  const TrackType* type = FindTrackType(track.type);
  return type ? type->kind : ImageKind::kPlainFile;
}

ByteSpan TrackBytes(ByteSpan file, const CueTrack& track) {
  const std::uint64_t begin = std::min<std::uint64_t>(track.fileOffset, file.size());
  const std::uint64_t end = std::clamp<std::uint64_t>(track.endOffset.value_or(file.size()), begin, file.size());
  return file.subspan(begin, end - begin);
}

}  // namespace psxdig
