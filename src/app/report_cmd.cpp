// psxdig report: the page of an extracted folder, from its listing.json.
#include "app/report_cmd.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/mapped_input.h"
#include "core/output.h"
#include "platform/platform.h"
#include "report/report.h"

namespace psxdig {
namespace {

constexpr std::size_t kWavePoints = 240;
constexpr std::uint64_t kMaxListingSize = std::uint64_t{1} << 30;

std::string SystemError() { return platform::ErrorText(platform::LastErrorCode()); }

// A name the listing gives stays inside the folder: no absolute path, no "..".
bool StaysInFolder(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\' || name.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = std::min(name.find_first_of("/\\", start), name.size());
    if (name.compare(start, end - start, "..") == 0 && end - start == 2) return false;
    start = end + 1;
  }
  return true;
}

// Maps a file of the folder; false when it cannot be read.
bool MapFolderFile(const std::string& folder, const std::string& name, std::uint64_t limit,
                   MappedInput& out) {
  std::string path;
  if (!platform::JoinPath(folder, name, path) || platform::IsDirectory(path)) return false;
  FilePtr in(std::fopen(path.c_str(), "rb"));
  const std::int64_t size = in ? platform::FileSize(in.get()) : -1;
  return size >= 0 && static_cast<std::uint64_t>(size) <= limit &&
         out.Load(in.get(), static_cast<std::uint64_t>(size));
}

// The pictures of the WAV files the listing names and the folder holds.
std::map<std::string, report::Waveform> ReadWaveforms(const std::string& folder, const nlohmann::json& listing) {
  std::map<std::string, report::Waveform> waves;
  const auto items = listing.find("items");
  if (items == listing.end() || !items->is_array()) return waves;
  for (const nlohmann::json& item : *items) {
    for (const std::string& name : report::SoundFilesOf(item)) {
      if (waves.count(name) || !StaysInFolder(name)) continue;
      if (name.size() < 4 || (name.compare(name.size() - 4, 4, ".wav") && name.compare(name.size() - 4, 4, ".WAV"))) {
        continue;
      }
      MappedInput wav;
      report::Waveform wave;
      if (MapFolderFile(folder, name, ~std::uint64_t{0}, wav) && report::WaveformOfWav(wav.bytes(), kWavePoints, wave)) {
        waves.emplace(name, std::move(wave));
      }
    }
  }
  return waves;
}

// Writes the page beside itself first, then moves it over an older one.
bool WritePage(const std::string& folder, const std::string& page, std::string& error) {
  std::string path, temporary;
  if (!platform::JoinPath(folder, "report.html", path) ||
      !platform::JoinPath(folder, "report.html.part", temporary)) {
    error = "folder name too long";
    return false;
  }
  FilePtr out(std::fopen(temporary.c_str(), "wb"));
  const bool written = out && std::fwrite(page.data(), 1, page.size(), out.get()) == page.size() &&
                       std::fclose(out.release()) == 0;
  if (!written || !platform::MoveReplacing(temporary, path)) {
    error = "cannot write report.html: " + SystemError();
    platform::RemoveFile(temporary);
    return false;
  }
  return true;
}

// One folder; false after reporting a failure.
bool ReportFolder(const std::string& folder) {
  std::string error;
  MappedInput listing;
  if (!MapFolderFile(folder, "listing.json", kMaxListingSize, listing)) {
    std::fprintf(stderr, "psxdig report: %s: cannot read listing.json: %s\n", folder.c_str(),
                 SystemError().c_str());
    return false;
  }
  const std::string text(reinterpret_cast<const char*>(listing.bytes().data()), listing.bytes().size());
  std::string page;
  if (!WriteReport(folder, text, error) || !platform::JoinPath(folder, "report.html", page)) {
    std::fprintf(stderr, "psxdig report: %s: %s\n", folder.c_str(), error.c_str());
    return false;
  }
  std::printf("%s\n", page.c_str());
  return true;
}

}  // namespace

bool WriteReport(const std::string& folder, const std::string& listingText, std::string& error) {
  const nlohmann::json listing = nlohmann::json::parse(listingText, nullptr, false);
  if (listing.is_discarded() || !listing.is_object()) {
    error = "listing.json is not a listing (not a JSON object)";
    return false;
  }
  return WritePage(folder, report::BuildReportHtml(listing, ReadWaveforms(folder, listing)), error);
}

int RunReport(int argc, const char* const* argv) {
  CLI::App app{
      "Writes report.html into each folder made by psxdig extract, from its listing.json: the\n"
      "disc map, the table of items (sortable, filterable), a player and a picture for every\n"
      "WAV and a player for every FLAC the folder holds, links to the MIDI and SoundFont files.\n"
      "The page needs no network and opens from the file system. A page already there is replaced.\n"
      "Exit code: 0 when every page was written, 1 when any failed, 2 on bad usage.",
      "psxdig report"};
  // GNU-style options everywhere: "/x" is a path, never an option, on Windows too.
  app.allow_windows_style_options(false);
  std::vector<std::string> folders;
  app.add_option("FOLDER", folders, "folder made by psxdig extract (holding listing.json)")->required();
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  bool allWritten = true;
  for (const std::string& folder : folders) allWritten = ReportFolder(folder) && allWritten;
  return allWritten ? 0 : 1;
}

}  // namespace psxdig
