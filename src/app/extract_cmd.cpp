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
#include "image/open_disc.h"
#include "platform/platform.h"
#include "rip/rip_context.h"

namespace psxdig {
namespace {

// The search's offset list; more items than this in one input are not looked for.
constexpr std::uint32_t kItemCapacity = 1000000;
// Every offset of the searched stream must sort below the list's free mark.
constexpr std::uint64_t kMaxStreamSize = 0x7F7F7F7F;

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
  bool noVag = false;
  bool noXa = false;
  bool noCdda = false;
};

enum class Outcome { kFound, kNothing, kFailed };

// One line on standard error per failure.
void Fail(const std::string& input, const std::string& what) {
  std::fprintf(stderr, "psxdig extract: %s: %s\n", input.c_str(), what.c_str());
}

std::string SystemError() { return platform::ErrorText(platform::LastErrorCode()); }

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

// What the input holds as file data: its first data track (the file itself
// when it is not a CUE sheet). A data track that cannot be read gets a line
// and `failed`; the other tracks still run.
struct DataTrack {
  ByteSpan image;
  ImageKind kind = ImageKind::kPlainFile;
  std::uint32_t firstLba = 0;
  std::uint64_t imageStart = 0;  // where `image` begins in its file
  std::string path;
  bool present = false;
  bool failed = false;
};

DataTrack PickDataTrack(const std::string& input, const OpenedDisc& disc) {
  DataTrack d;
  const DiscTrack* track = disc.dataTrack();
  if (!track) return d;
  d.path = track->path;
  if (!track->problem.empty()) {
    Fail(input, "data track " + std::to_string(track->number) + ": " + track->problem);
    d.failed = track->bytes.empty();
  }
  d.present = !d.failed;
  d.image = track->bytes;
  d.kind = track->kind;
  d.firstLba = track->lba;
  d.imageStart = track->fileOffset;
  return d;
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

Outcome ExtractOne(const std::string& input, const Settings& settings) {
  std::string error;
  OpenedDisc disc;
  if (!OpenDisc(input, disc, error)) {
    Fail(input, error);
    return Outcome::kFailed;
  }
  const DataTrack track = PickDataTrack(input, disc);
  const LogicalView view = BuildLogicalView(track.image, track.kind, track.firstLba);
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
  FolderOutput output(folder, LocatorOf(view, map, track.imageStart));
  if (track.present) RunEngine(input, folder, view, settings, output);
  ExtractSummary summary{input, track.path, ImageKindName(view.kind()), map.volumeId,
                         view.data().size(), view.damagedSectors(), view.truncatedBytes(),
                         map.problems, track.imageStart + track.image.size(),
                         ListFiles(map, view, track.imageStart), {}, XaOnIsoNote(view, map)};
  VagFinds vags;
  if (!settings.noVag) vags = ExtractVags(input, view, map, output, summary.streamProblems);

  std::vector<ExtractedItem> items = output.items();
  std::size_t converted = 0;
  DroppedBankSelects dropped;
  if (settings.convert) converted = ConvertExtracted(input, folder, view.data(), !settings.noWav, items, &dropped);
  converted += DescribeVags(input, folder, view.data(), vags, settings.convert && !settings.noWav, items);
  std::size_t rendered = 0;
  if (settings.render) {
    rendered = RenderExtracted(input, folder, view.data(), settings.renderSettings, settings.flac, items);
  }
  std::size_t xa = 0;
  if (!settings.noXa && track.present) {
    std::optional<SectorLayout> layout = Mode2Layout(view);
    if (!layout && view.kind() == ImageKind::kPlainFile) layout = DetectSectorFile(track.image);
    if (layout) {
      xa = WriteXaStreams(input, folder, track.image, track.imageStart, *layout, map, items, summary.streamProblems);
    }
  }
  const std::size_t cdda = settings.noCdda ? 0 : WriteCddaTracks(input, folder, disc, items, summary.streamProblems);

  const std::string listingJson = BuildListingJson(summary, items, dropped);
  if (!WriteListing(folder, "listing.csv", BuildListingCsv(items), error) ||
      !WriteListing(folder, "listing.json", listingJson, error) ||
      (!settings.noReport && !WriteReport(folder, listingJson, error))) {
    Fail(input, error);
    return Outcome::kFailed;
  }
  if (!settings.quiet) {
    std::printf("%s: %zu items (%zu files, %zu duplicates) in %s\n", input.c_str(), items.size(),
                output.filesWritten() + xa + cdda, items.size() - output.filesWritten() - xa - cdda,
                folder.c_str());
    std::printf("%s: %s, %s, %s, %s\n", input.c_str(),
                Plural(output.items().size() - vags.size(), "sequence or bank item", "sequence and bank items").c_str(),
                Plural(vags.size(), "VAG sample", "VAG samples").c_str(), Plural(xa, "XA stream", "XA streams").c_str(),
                Plural(cdda, "CD-DA track", "CD-DA tracks").c_str());
    if (settings.convert) std::printf("%s: %zu files converted\n", input.c_str(), converted);
    if (settings.render) std::printf("%s: %zu files rendered\n", input.c_str(), rendered);
  }
  if (output.failures() > 0) {
    Fail(input, std::to_string(output.failures()) + " items could not be written");
    return Outcome::kFailed;
  }
  if (track.failed) return Outcome::kFailed;
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
      "Also writes every VAG sample found in the file data (\"<disc path>@<offset>.vag\"), every\n"
      "XA-ADPCM stream of a raw image as a WAV (\"<disc path>@<offset>_ch<channel>.wav\") and\n"
      "every audio track of a CUE sheet as track<NN>.wav.\n"
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
  app.add_flag("--no-vag", settings.noVag, "do not look for VAG samples in the file data");
  app.add_flag("--no-xa", settings.noXa, "do not decode the XA-ADPCM audio sectors of a raw image");
  app.add_flag("--no-cdda", settings.noCdda, "do not write the audio tracks of a CUE sheet");
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
