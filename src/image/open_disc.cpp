// Opening an input as a disc: the CUE sheet, its track files, and each
// track's bytes and disc address.
#include "image/open_disc.h"

#include <cstdio>
#include <map>

#include "core/output.h"
#include "platform/platform.h"

namespace psxdig {
namespace {

constexpr std::uint64_t kMaxCueSize = 1 << 20;

std::string SystemError() { return platform::ErrorText(platform::LastErrorCode()); }

// Maps (or reads) the whole file into `input`.
bool MapWholeFile(const std::string& path, std::uint64_t limit, MappedInput& input, std::string& error) {
  FilePtr in(std::fopen(path.c_str(), "rb"));
  if (in && platform::IsDirectory(path)) {
    in.reset();
    platform::SetLastError(platform::Failure::kIsDirectory);
  }
  const std::int64_t size = in ? platform::FileSize(in.get()) : -1;
  if (size < 0) {
    error = "cannot read " + path + ": " + SystemError();
    return false;
  }
  if (static_cast<std::uint64_t>(size) > limit) {
    error = "too large to search: " + path;
    return false;
  }
  if (!input.Load(in.get(), static_cast<std::uint64_t>(size))) {
    error = "cannot read " + path + ": " + SystemError();
    return false;
  }
  return true;
}

bool EndsWithCue(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext == ".cue";
}

// The track files of a sheet, each mapped once; null for a file that
// cannot be read (its error kept).
class TrackFiles {
 public:
  TrackFiles(std::string folder, OpenedDisc& disc) : folder_(std::move(folder)), disc_(disc) {}
  const MappedInput* Get(const std::string& name, std::string& path, std::string& error) {
    if (!platform::JoinPath(folder_, name, path) || name.empty()) {
      error = "bad file name in the CUE sheet: " + name;
      return nullptr;
    }
    if (name[0] == '/') path = name;
    auto it = opened_.find(path);
    if (it == opened_.end()) {
      auto file = std::make_unique<MappedInput>();
      std::string why;
      const bool ok = MapWholeFile(path, ~std::uint64_t{0}, *file, why);
      it = opened_.emplace(path, Entry{ok ? file.get() : nullptr, why}).first;
      if (ok) disc_.files.push_back(std::move(file));
    }
    error = it->second.error;
    return it->second.file;
  }

 private:
  struct Entry {
    const MappedInput* file;
    std::string error;
  };
  std::string folder_;
  OpenedDisc& disc_;
  std::map<std::string, Entry> opened_;
};

// Disc address of each track's INDEX 01: the sectors of the files named
// before the track's own file, its place inside its file, and every PREGAP
// the files do not hold up to it.
std::vector<std::uint32_t> TrackAddresses(const CueSheet& sheet, const std::vector<std::uint64_t>& fileSizes) {
  std::vector<std::uint32_t> lbas;
  std::uint64_t before = 0;  // sectors of the earlier files
  std::uint64_t gaps = 0;
  for (std::size_t k = 0; k < sheet.tracks.size(); ++k) {
    const CueTrack& t = sheet.tracks[k];
    if (k > 0 && t.file != sheet.tracks[k - 1].file) {
      // The file before ends: its sectors at the size of its first track.
      std::size_t first = k - 1;
      while (first > 0 && sheet.tracks[first - 1].file == sheet.tracks[k - 1].file) --first;
      before += fileSizes[k - 1] / sheet.tracks[first].sectorSize;
    }
    gaps += t.pregap;
    lbas.push_back(static_cast<std::uint32_t>(before + gaps + t.fileOffset / t.sectorSize));
  }
  return lbas;
}

void PlaceTrack(const CueTrack& t, const MappedInput& file, DiscTrack& track) {
  const ByteSpan whole = file.bytes();
  track.bytes = TrackBytes(whole, t);
  track.fileOffset = std::min<std::uint64_t>(t.fileOffset, whole.size());
  if (t.fileOffset > whole.size()) {
    track.problem = "its file holds " + std::to_string(whole.size()) + " bytes but INDEX 01 lies at byte " +
                    std::to_string(t.fileOffset);
  } else if (t.endOffset && *t.endOffset > whole.size()) {
    track.missingBytes = *t.endOffset - std::max<std::uint64_t>(whole.size(), t.fileOffset);
    track.problem = "its file ends " + std::to_string(track.missingBytes) + " bytes before the track does";
  }
}

bool OpenSheet(const std::string& cuePath, OpenedDisc& disc, std::string& error) {
  MappedInput text;
  if (!MapWholeFile(cuePath, kMaxCueSize, text, error)) return false;
  std::string why;
  const auto sheet = ParseCue(std::string_view(reinterpret_cast<const char*>(text.bytes().data()), text.bytes().size()), why);
  if (!sheet) {
    error = "bad CUE sheet: " + why;
    return false;
  }
  disc.fromSheet = true;
  TrackFiles files(platform::FolderName(cuePath), disc);
  std::vector<std::uint64_t> sizes;
  for (const CueTrack& t : sheet->tracks) {
    DiscTrack track;
    track.number = t.number;
    track.data = t.data;
    track.kind = TrackImageKind(t);
    std::string fileError;
    const MappedInput* file = files.Get(t.file, track.path, fileError);
    sizes.push_back(file ? file->bytes().size() : 0);
    if (!file) {
      track.problem = fileError;
    } else if (t.data && track.kind == ImageKind::kPlainFile) {
      track.problem = "unsupported data track type " + t.type;
    } else {
      PlaceTrack(t, *file, track);
    }
    disc.tracks.push_back(std::move(track));
  }
  const std::vector<std::uint32_t> lbas = TrackAddresses(*sheet, sizes);
  for (std::size_t k = 0; k < lbas.size(); ++k) disc.tracks[k].lba = lbas[k];
  return true;
}

std::string Msf(std::uint64_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", static_cast<unsigned>(frames / 4500),
                static_cast<unsigned>(frames / 75 % 60), static_cast<unsigned>(frames % 75));
  return text;
}

}  // namespace

const DiscTrack* OpenedDisc::dataTrack() const {
  for (const DiscTrack& t : tracks) {
    if (t.data) return &t;
  }
  return nullptr;
}

bool OpenDisc(const std::string& input, OpenedDisc& disc, std::string& error) {
  if (EndsWithCue(input)) return OpenSheet(input, disc, error);
  auto file = std::make_unique<MappedInput>();
  if (!MapWholeFile(input, ~std::uint64_t{0}, *file, error)) return false;
  DiscTrack track;
  track.path = input;
  track.bytes = file->bytes();
  track.kind = DetectImageKind(track.bytes);
  disc.files.push_back(std::move(file));
  disc.tracks.push_back(std::move(track));
  return true;
}

std::string MsfText(std::uint64_t lba) { return Msf(lba + 150); }
std::string DurationText(std::uint64_t sectors) { return Msf(sectors); }

}  // namespace psxdig
