// psxdig extract: for each input (a disc image, a CUE sheet or any file), the
// search and the writers of a rip over the stream of the disc's file data,
// with every item written into the input's own output folder and named by
// where it lies on the disc.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/extract.h"
#include "app/flac_encode.h"
#include "app/progress.h"
#include "app/report_cmd.h"
#include "core/mapped_input.h"
#include "image/disc_image.h"
#include "platform/platform.h"
#include "rip/rip_context.h"

namespace psxdig {
namespace {

// The search's offset list; more items than this in one input are not looked for.
constexpr std::uint32_t kItemCapacity = 1000000;
// Every offset of the searched stream must sort below the list's free mark.
constexpr std::uint64_t kMaxStreamSize = 0x7F7F7F7F;
constexpr std::uint64_t kMaxCueSize = 1 << 20;

struct Settings {
  std::string outDir = ".";
  bool quiet = false;
  bool bodiesBackToBack = false;
  bool noZeroBlock = false;
  bool convert = false;
  bool noWav = false;
  bool noReport = false;
  bool render = false;
  bool flac = false;
  render::RenderSettings renderSettings;
};

enum class Outcome { kFound, kNothing, kFailed };

// One line on standard error per failure.
void Fail(const std::string& input, const std::string& what) {
  std::fprintf(stderr, "psxdig extract: %s: %s\n", input.c_str(), what.c_str());
}

std::string SystemError() { return platform::ErrorText(platform::LastErrorCode()); }

// Maps (or reads) the whole file into `input`.
bool ReadWholeFile(const std::string& path, std::uint64_t limit, MappedInput& input,
                   std::string& error) {
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

// The file to scan, as loaded: the whole file, or a CUE sheet's track.
struct LoadedImage {
  std::string path;
  MappedInput file;
  ByteSpan image;
  std::uint64_t imageStart = 0;  // where `image` begins in the file
  ImageKind kind = ImageKind::kPlainFile;
  std::uint32_t firstLba = 0;
};

bool EndsWithCue(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext == ".cue";
}

// Disc address of a track's first sector: the sectors of the files the
// sheet names before the track's own file, plus the track's start in it.
std::uint32_t TrackLba(const CueSheet& sheet, const CueTrack& track, const std::string& folder) {
  std::uint64_t sectors = track.fileOffset / track.sectorSize;
  std::string counted;
  for (const CueTrack& t : sheet.tracks) {
    if (t.file == track.file) break;
    if (t.file == counted || t.sectorSize == 0) continue;
    counted = t.file;
    std::string path;
    if (!platform::JoinPath(folder, t.file, path)) continue;
    FilePtr f(std::fopen(path.c_str(), "rb"));
    const std::int64_t size = f ? platform::FileSize(f.get()) : -1;
    if (size > 0) sectors += static_cast<std::uint64_t>(size) / t.sectorSize;
  }
  return static_cast<std::uint32_t>(sectors);
}

bool LoadCue(const std::string& cuePath, LoadedImage& out, std::string& error) {
  MappedInput text;
  if (!ReadWholeFile(cuePath, kMaxCueSize, text, error)) return false;
  std::string why;
  const std::string_view sheetText(reinterpret_cast<const char*>(text.bytes().data()),
                                   text.bytes().size());
  const auto sheet = ParseCue(sheetText, why);
  if (!sheet) {
    error = "bad CUE sheet: " + why;
    return false;
  }
  const CueTrack* track = FirstDataTrack(*sheet);
  if (!track) {
    error = "the CUE sheet has no data track";
    return false;
  }
  out.kind = TrackImageKind(*track);
  if (out.kind == ImageKind::kPlainFile || track->sectorSize == 0) {
    error = "unsupported data track type in the CUE sheet: " + track->type;
    return false;
  }
  const std::string folder = platform::FolderName(cuePath);
  if (!platform::JoinPath(folder, track->file, out.path) || track->file.empty()) {
    error = "bad file name in the CUE sheet: " + track->file;
    return false;
  }
  if (!track->file.empty() && track->file[0] == '/') out.path = track->file;
  if (!ReadWholeFile(out.path, ~std::uint64_t{0}, out.file, error)) return false;
  out.image = TrackBytes(out.file.bytes(), *track);
  if (!out.image.empty()) {
    out.imageStart = static_cast<std::uint64_t>(out.image.data() - out.file.bytes().data());
  }
  out.firstLba = TrackLba(*sheet, *track, folder);
  return true;
}

bool LoadInput(const std::string& input, LoadedImage& out, std::string& error) {
  if (EndsWithCue(input)) return LoadCue(input, out, error);
  out.path = input;
  if (!ReadWholeFile(input, ~std::uint64_t{0}, out.file, error)) return false;
  out.image = out.file.bytes();
  out.kind = DetectImageKind(out.image);
  return true;
}

// "<out>/<input name>.psxdig" (<out> made when missing), made here or found
// empty: psxdig never writes into a folder that holds anything already.
bool PrepareFolder(const std::string& outDir, const std::string& input, std::string& folder,
                   std::string& error) {
  if (!platform::IsDirectory(outDir) && !platform::MakeDirectory(outDir)) {
    error = "cannot make folder " + outDir + ": " + SystemError();
    return false;
  }
  if (!platform::JoinPath(outDir, platform::BaseName(input) + ".psxdig", folder)) {
    error = "output folder name too long";
    return false;
  }
  if (platform::IsDirectory(folder)) {
    if (platform::IsEmptyDirectory(folder)) return true;
    error = "output folder " + folder +
            " is not empty (psxdig writes only into a new or empty one)";
    return false;
  }
  if (!platform::MakeDirectory(folder)) {
    error = "cannot make output folder " + folder + ": " + SystemError();
    return false;
  }
  return true;
}

// Image offsets are given in the image file, a CUE track's start included.
ItemLocator LocatorOf(const LogicalView& view, const FileMap& map, std::uint64_t imageStart) {
  return [&view, &map, imageStart](std::uint64_t ofs, std::uint64_t size) {
    ItemPlace place;
    place.imageOffset = imageStart + view.ImageOffset(ofs);
    if (map.files.empty()) return place;
    auto locate = [&](std::uint64_t at) {
      return map.Locate(view.Lba(at), static_cast<std::uint32_t>(at % 2048));
    };
    const DiscLocation first = locate(ofs);
    if (first.file) {
      place.discPath = first.file->path;
      place.offsetInFile = first.offsetInFile;
    }
    place.straddles = size > 1 && locate(ofs + size - 1).file != first.file;
    return place;
  };
}

// The files of the disc where they lie in the image file (a CUE track's
// start included), for the page's disc map.
std::vector<ListedFile> ListFiles(const FileMap& map, const LogicalView& view, std::uint64_t imageStart) {
  std::vector<ListedFile> files;
  const std::uint32_t sectorSize = SectorSize(view.kind());
  for (const DiscFile& file : map.files) {
    if (file.lba < view.firstLba() || sectorSize == 0) continue;
    files.push_back({file.path, imageStart + std::uint64_t{file.lba - view.firstLba()} * sectorSize, file.size});
  }
  return files;
}

// A listing file, created new.
bool WriteListing(const std::string& folder, const char* name, const std::string& text,
                  std::string& error) {
  const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  return WriteNewFile(folder, name, bytes, error);
}

// The search and the writers over the stream, into `output`. The side logs
// keep the rip's names, inside the folder: "<input name>_Error.txt" (removed
// when empty) and "<input name>_VagOfs.txt".
void RunEngine(const std::string& input, const std::string& folder, const LogicalView& view,
               const Settings& settings, FolderOutput& output) {
  std::string base;
  platform::JoinPath(folder, platform::BaseName(input), base);
  std::string logName;
  FilePtr logFile = OpenOutputFile(base, &logName, nullptr, "_Error.txt", "w", 0, 0);
  RipContext ctx{base, view.data(), nullptr, ErrorLog(logFile.get()), RunOptions{}, &output};
  ctx.options.runMode = kRunExtract;
  ctx.options.maxSearchFileNum = kItemCapacity;
  ctx.options.vbSearchPattern = settings.bodiesBackToBack ? 1 : 0;
  ctx.options.vbHeadZeroCheck = settings.noZeroBlock ? 0 : 1;

  const bool show = !settings.quiet && platform::IsTerminal(stderr);
  ProgressLine progress(platform::BaseName(input), view.data().size(), show);
  DataOfs table;
  const bool searched =
      GetDataOfs(ctx.input, 0, kItemCapacity, 1, table, kRunExtract, ctx.log) != 0;
  progress.ScanDone();
  if (searched) WriteFoundItems(ctx, table);
  progress.Stop();
  const std::int32_t logSize = GetStreamSize(logFile.get());
  logFile.reset();
  if (logSize == 0 && !logName.empty()) platform::RemoveFile(logName);
}

Outcome ExtractOne(const std::string& input, const Settings& settings) {
  std::string error;
  LoadedImage loaded;
  if (!LoadInput(input, loaded, error)) {
    Fail(input, error);
    return Outcome::kFailed;
  }
  const LogicalView view = BuildLogicalView(loaded.image, loaded.kind, loaded.firstLba);
  if (view.data().size() >= kMaxStreamSize) {
    Fail(input, "too large to search");
    return Outcome::kFailed;
  }
  const FileMap map = view.kind() == ImageKind::kPlainFile ? FileMap{} : ReadFileMap(view);
  std::string folder;
  if (!PrepareFolder(settings.outDir, input, folder, error)) {
    Fail(input, error);
    return Outcome::kFailed;
  }
  FolderOutput output(folder, LocatorOf(view, map, loaded.imageStart));
  RunEngine(input, folder, view, settings, output);

  std::vector<ExtractedItem> items = output.items();
  std::size_t converted = 0;
  DroppedBankSelects dropped;
  if (settings.convert) converted = ConvertExtracted(input, folder, view.data(), !settings.noWav, items, &dropped);
  std::size_t rendered = 0;
  if (settings.render) {
    rendered = RenderExtracted(input, folder, view.data(), settings.renderSettings, settings.flac, items);
  }

  ExtractSummary summary{input, loaded.path, ImageKindName(view.kind()), map.volumeId,
                         view.data().size(), view.damagedSectors(), view.truncatedBytes(),
                         map.problems, loaded.file.bytes().size(),
                         ListFiles(map, view, loaded.imageStart)};
  const std::string listingJson = BuildListingJson(summary, items, dropped);
  if (!WriteListing(folder, "listing.csv", BuildListingCsv(items), error) ||
      !WriteListing(folder, "listing.json", listingJson, error) ||
      (!settings.noReport && !WriteReport(folder, listingJson, error))) {
    Fail(input, error);
    return Outcome::kFailed;
  }
  if (!settings.quiet) {
    std::printf("%s: %zu items (%zu files, %zu duplicates) in %s\n", input.c_str(), items.size(),
                output.filesWritten(), items.size() - output.filesWritten(), folder.c_str());
    if (settings.convert) std::printf("%s: %zu files converted\n", input.c_str(), converted);
    if (settings.render) std::printf("%s: %zu files rendered\n", input.c_str(), rendered);
  }
  if (output.failures() > 0) {
    Fail(input, std::to_string(output.failures()) + " items could not be written");
    return Outcome::kFailed;
  }
  return !items.empty() ? Outcome::kFound : Outcome::kNothing;
}

}  // namespace

bool WriteNewFile(const std::string& folder, const std::string& name, ByteSpan bytes,
                  std::string& error) {
  std::string path;
  FilePtr out(platform::JoinPath(folder, name, path) ? platform::CreateNewFile(path) : nullptr);
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size() ||
      std::fclose(out.release()) != 0) {
    error = "cannot write " + name + ": " + SystemError();
    return false;
  }
  return true;
}

int RunExtract(int argc, const char* const* argv) {
  CLI::App app{
      "Finds the music of PlayStation discs (sequences, sound banks and their bodies) in disc\n"
      "images (raw .bin, .iso, CUE sheets) or any data file, and writes every item into one\n"
      "folder per input, <input name>.psxdig/, named by where it lies on the disc\n"
      "(\"SOUND/BGM.DAT@1a800.seq\", or \"@<hex image offset>.seq\" outside any file), with\n"
      "listing.csv, listing.json and report.html (a page to look and listen). Byte-identical\n"
      "items are written once.\n"
      "Exit code: 0 when anything was found, 1 when nothing was, 2 on bad usage or failure.",
      "psxdig extract"};
  // GNU-style options everywhere: "/x" is a path, never an option, on Windows too.
  app.allow_windows_style_options(false);
  Settings settings;
  std::vector<std::string> inputs;
  app.add_option("IMAGE", inputs, "disc image, CUE sheet or data file")->required();
  app.add_option("-o,--output", settings.outDir,
                 "folder in which the <input name>.psxdig folders are made (default: current)");
  app.add_flag("-q,--quiet", settings.quiet, "no progress line and no summary");
  app.add_flag("--bodies-back-to-back", settings.bodiesBackToBack,
               "VAB bodies stand one after another (vb, vb, ...), not each after its header");
  app.add_flag("--no-zero-block", settings.noZeroBlock,
               "a VAB body need not begin with 16 zero bytes");
  app.add_flag("--convert", settings.convert,
               "also convert every sequence to MIDI and every VAB bank with its body to a\n"
               "SoundFont 2 (and WAVs), pairing each sequence with a bank in listing.json");
  app.add_flag("--no-wav", settings.noWav, "with --convert: no WAV files for the samples");
  app.add_flag("--render", settings.render,
               "also play every sequence with the bank it is paired with (a VAB header with its\n"
               "body) as the console does, into <item name>.wav beside it (psxdig render --help)");
  app.add_flag("--flac", settings.flac, "with --render: FLAC instead of WAV");
  app.add_option("--loops", settings.renderSettings.loops,
                 "with --render: passes of a loop that repeats forever (default 2)")
      ->check(CLI::Range(1, 1000));
  app.add_option("--fade", settings.renderSettings.fadeSeconds,
                 "with --render: seconds of fade-out after the last pass (default 10)")
      ->check(CLI::Range(0.0, 600.0));
  app.add_option("--gain", settings.renderSettings.gainDb, "with --render: output gain in dB (default 0)")
      ->check(CLI::Range(-96.0, 48.0));
  app.add_flag("--no-report", settings.noReport, "write no report.html");
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (settings.flac && !FlacAvailable()) {
    std::fprintf(stderr, "psxdig extract: --flac: this build of psxdig has no FLAC encoder (built without libFLAC)\n");
    return 2;
  }
  bool anyFound = false;
  bool anyFailed = false;
  for (const std::string& input : inputs) {
    const Outcome outcome = ExtractOne(input, settings);
    anyFound = anyFound || outcome == Outcome::kFound;
    anyFailed = anyFailed || outcome == Outcome::kFailed;
  }
  return anyFailed ? 2 : anyFound ? 0 : 1;
}

}  // namespace psxdig
