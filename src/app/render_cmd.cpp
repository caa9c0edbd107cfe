#include "app/render_cmd.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/convert_cmd.h"
#include "app/flac_encode.h"
#include "convert/pcm_wav.h"
#include "convert/seq_smf.h"
#include "platform/platform.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct RenderCommand {
  std::string sequence;
  std::string bank;
  std::string outDir;
  render::RenderSettings settings;
  bool flac = false;
  bool quiet = false;
};

// "<name>: 12.3/180.0 s" on standard error, redrawn at most ten times a second.
class RenderProgress {
 public:
  RenderProgress(std::string name, bool show) : name_(std::move(name)), show_(show) {}
  ~RenderProgress() { Clear(); }
  // Takes the line away before other text is printed.
  void Clear() {
    if (drawn_) std::fprintf(stderr, "\r%-79s\r", "");
    drawn_ = false;
  }
  void Update(std::uint64_t done, std::uint64_t total) {
    if (!show_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    drawn_ = true;
    char line[160];
    std::snprintf(line, sizeof line, "%s: %.1f/%.1f s of music rendered", name_.c_str(),
                  static_cast<double>(done) / render::kRate, static_cast<double>(total) / render::kRate);
    std::fprintf(stderr, "\r%-79s", line);
    std::fflush(stderr);
  }

 private:
  std::string name_;
  bool show_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_;
};

bool IsHeaderOnly(const fs::path& path, const Bytes& bytes) {
  const std::size_t header = convert::VabHeaderSize(ByteSpan(bytes));
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return header != 0 && (ext == ".vh" || bytes.size() <= header);
}

// The bank of BANK: a .vab, or a .vh with its .vb beside it. The bank's
// spans point into `file` and `body`.
render::PlayableBank LoadBankPath(const fs::path& path, Bytes& file, Bytes& body) {
  render::PlayableBank failed;
  if (!ReadWholeFile(path, file)) {
    failed.error = "cannot read the bank";
    return failed;
  }
  if (!IsHeaderOnly(path, file)) return render::LoadBankFile(ByteSpan(file));
  if (const std::string error = convert::CheckVabHeader(ByteSpan(file)); !error.empty()) {
    failed.error = error;
    return failed;
  }
  const fs::path bodyPath = FindBody(path);
  if (bodyPath.empty()) failed.error = "no .vb body of the same name beside this header";
  if (!bodyPath.empty() && !ReadWholeFile(bodyPath, body)) failed.error = "cannot read its body " + bodyPath.string();
  if (!failed.error.empty()) return failed;
  const std::size_t headerSize = convert::VabHeaderSize(ByteSpan(file));
  return render::LoadBank(ByteSpan(file).first(headerSize), ByteSpan(body));
}

bool WriteFile(const fs::path& out, const Bytes& bytes) {
  std::ofstream stream(out, std::ios::binary);
  stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  stream.close();
  return static_cast<bool>(stream);
}

int RenderAll(const RenderCommand& cmd) {
  const fs::path seqPath(cmd.sequence);
  auto fail = [&](const std::string& input, const std::string& what) {
    std::fprintf(stderr, "psxdig render: %s: %s\n", input.c_str(), what.c_str());
    return 1;
  };
  if (cmd.flac && !FlacAvailable()) {
    return fail(cmd.sequence, "--flac: this build of psxdig has no FLAC encoder (built without libFLAC)");
  }
  Bytes seqBytes;
  if (!ReadWholeFile(seqPath, seqBytes)) return fail(cmd.sequence, "cannot read the file");
  Bytes bankFile, bankBody;
  const render::PlayableBank bank = LoadBankPath(cmd.bank, bankFile, bankBody);
  if (!bank.error.empty()) return fail(cmd.bank, bank.error);
  if (!cmd.quiet) {
    for (const std::string& w : bank.warnings) std::fprintf(stderr, "psxdig render: %s: %s\n", cmd.bank.c_str(), w.c_str());
  }
  const fs::path folder = cmd.outDir.empty() ? seqPath.parent_path() : fs::path(cmd.outDir);
  const std::string stem = seqPath.stem().string();
  RenderProgress progress(seqPath.filename().string(), !cmd.quiet && platform::IsTerminal(stderr));
  render::RenderSettings settings = cmd.settings;
  settings.progress = [&](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); };
  bool written = true;
  const std::string error = RenderSequenceFile(ByteSpan(seqBytes), bank, settings, cmd.flac, [&](RenderedFile&& f) {
    const fs::path out = folder / (stem + f.suffix);
    progress.Clear();
    for (const std::string& w : f.warnings) {
      if (!cmd.quiet) std::fprintf(stderr, "psxdig render: %s: %s\n", out.string().c_str(), w.c_str());
    }
    if (f.capped) std::fprintf(stderr, "psxdig render: %s: stopped at the 30-minute cap\n", out.string().c_str());
    if (!WriteFile(out, f.bytes)) {
      written = fail(cmd.sequence, "cannot write " + out.string()) == 0;
      return;
    }
    std::printf("%s\n", out.string().c_str());
  });
  if (!error.empty()) return fail(cmd.sequence, error);
  return written ? 0 : 1;
}

}  // namespace

std::string RenderSequenceFile(ByteSpan file, const render::PlayableBank& bank, const render::RenderSettings& settings,
                               bool flac, const std::function<void(RenderedFile&&)>& take) {
  const convert::SequenceFile split = convert::SplitSequenceFile(file);
  const char* ext = flac ? ".flac" : ".wav";
  for (const convert::Sequence& seq : split.sequences) {
    render::RenderedSong song = render::RenderSequence(seq, bank, settings);
    const std::string which = split.sep ? "sequence " + std::to_string(seq.id) + ": " : "";
    if (!song.error.empty()) return which + song.error;
    RenderedFile f;
    f.suffix = (split.sep ? "_" + std::to_string(seq.id) : std::string()) + ext;
    f.sequenceId = seq.id;
    f.seconds = song.seconds();
    f.capped = song.capped;
    f.warnings = std::move(song.warnings);
    std::string error;
    if (!flac) {
      f.bytes = convert::PcmToWav(song.pcm, render::kRate, 2);
    } else if (!EncodeFlac(song.pcm, f.bytes, error)) {
      return which + error;
    }
    take(std::move(f));
  }
  return split.error;
}

int RunRender(int argc, const char* const* argv) {
  CLI::App app{"Plays a PlayStation sequence (.seq, or each sequence of a .sep) with its sound bank (.vab,\n"
               "or .vh with the .vb of the same name beside it) as the console plays it, into a 16-bit\n"
               "stereo 44100 Hz WAV: <name>.wav (a SEP: <name>_<sequence id>.wav). A loop that repeats\n"
               "forever plays --loops times, then once more while fading out. Renders stop at 30 minutes.\n"
               "Exit code: 0 when every sequence was rendered, 1 when any failed, 2 on bad usage.",
               "psxdig render"};
  // GNU-style options everywhere: "/x" is a path, never an option, on Windows too.
  app.allow_windows_style_options(false);
  RenderCommand cmd;
  app.add_option("SEQUENCE", cmd.sequence, "Sequence to play (.seq, .sep)")->required();
  app.add_option("BANK", cmd.bank, "Its sound bank (.vab, or .vh with its .vb)")->required();
  app.add_option("-o,--output", cmd.outDir, "Folder for the output files (default: beside the sequence)");
  app.add_option("--loops", cmd.settings.loops, "Passes of a loop that repeats forever (default 2)")
      ->check(CLI::Range(1, 1000));
  app.add_option("--fade", cmd.settings.fadeSeconds, "Seconds of fade-out after the last pass (default 10)")
      ->check(CLI::Range(0.0, 600.0));
  app.add_option("--gain", cmd.settings.gainDb, "Output gain in dB (default 0)")->check(CLI::Range(-96.0, 48.0));
  app.add_flag("--flac", cmd.flac, "Write FLAC instead of WAV");
  app.add_flag("-q,--quiet", cmd.quiet, "No progress line and no warnings");
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (!cmd.outDir.empty()) {
    std::error_code ec;
    fs::create_directories(cmd.outDir, ec);
    if (!fs::is_directory(cmd.outDir, ec)) {
      std::fprintf(stderr, "psxdig render: cannot create the output folder %s\n", cmd.outDir.c_str());
      return 1;
    }
  }
  return RenderAll(cmd);
}

}  // namespace psxdig
