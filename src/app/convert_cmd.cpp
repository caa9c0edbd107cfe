#include "app/convert_cmd.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "convert/convert.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct ConvertSettings {
  std::vector<std::string> files;
  std::string outDir;
  std::string bank;  // the bank the sequences play with (--bank)
  bool noWav = false;
  // Read from `bank`: the pitch-bend range of each of its programs.
  std::optional<convert::BendRanges> bends;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool HeaderAmongInputs(const fs::path& body, const std::vector<std::string>& inputs) {
  for (const std::string& other : inputs) {
    const fs::path p(other);
    if (Lower(p.extension().string()) == ".vh" && p.parent_path() == body.parent_path() &&
        p.stem() == body.stem()) {
      return true;
    }
  }
  return false;
}

convert::ConvertResult ConvertOne(const fs::path& path, const Bytes& bytes, const ConvertSettings& settings) {
  const ByteSpan file(bytes);
  const std::string name = path.stem().string();
  const std::size_t headerSize = convert::BankHeaderSize(file);
  if (convert::IdentifyItem(file) == convert::ItemKind::kSequence) {
    return convert::ConvertSequence(file, settings.bends ? &*settings.bends : nullptr);
  }
  if (convert::IdentifyItem(file) != convert::ItemKind::kBank || bytes.size() != headerSize) {
    return convert::ConvertFile(file, name, !settings.noWav);
  }
  const fs::path bodyPath = FindBody(path);
  Bytes body;
  if (bodyPath.empty()) return {{}, "no .vb body of the same name beside this header"};
  if (!ReadWholeFile(bodyPath, body)) return {{}, "cannot read its body " + bodyPath.string()};
  return convert::ConvertBank(file, ByteSpan(body), name, !settings.noWav);
}

// Writes what one input gave; false after reporting a failure.
bool WriteOutputs(const std::string& input, const fs::path& folder, const std::string& stem,
                  const std::vector<convert::ConvertedFile>& files) {
  for (const convert::ConvertedFile& f : files) {
    const fs::path out = folder / (stem + f.suffix);
    std::ofstream stream(out, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(f.bytes.data()), static_cast<std::streamsize>(f.bytes.size()));
    stream.close();
    if (!stream) {
      std::fprintf(stderr, "psxdig convert: %s: cannot write %s\n", input.c_str(), out.string().c_str());
      return false;
    }
    std::printf("%s\n", out.string().c_str());
  }
  return true;
}

// Converts one input; false after reporting a failure.
bool ConvertInput(const std::string& input, const ConvertSettings& settings) {
  const fs::path path(input);
  auto fail = [&](const std::string& what) {
    std::fprintf(stderr, "psxdig convert: %s: %s\n", input.c_str(), what.c_str());
    return false;
  };
  if (Lower(path.extension().string()) == ".vb") {
    if (HeaderAmongInputs(path, settings.files)) return true;  // converted with its .vh
    return fail("a bank body alone: convert its .vh header");
  }
  Bytes bytes;
  if (!ReadWholeFile(path, bytes)) return fail("cannot read the file");
  const convert::ConvertResult result = ConvertOne(path, bytes, settings);
  const fs::path folder = settings.outDir.empty() ? path.parent_path() : fs::path(settings.outDir);
  const bool written = WriteOutputs(input, folder, path.stem().string(), result.files);
  if (!result.error.empty()) return fail(result.error);
  return written;
}

}  // namespace

bool ReadWholeFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

fs::path FindBody(const fs::path& header) {
  const std::string ext = header.extension().string();
  const bool upper = ext.size() == 3 && ext[1] == 'V';
  const char* const candidates[2] = {upper ? ".VB" : ".vb", upper ? ".vb" : ".VB"};
  for (const char* candidate : candidates) {
    fs::path body = header;
    body.replace_extension(candidate);
    std::error_code ec;
    if (fs::is_regular_file(body, ec)) return body;
  }
  return {};
}

int RunConvert(int argc, const char* const* argv) {
  CLI::App app{"Converts PlayStation sequences (.seq, .sep) to Standard MIDI Files and sound banks\n"
               "(.vab, or .vh with the .vb of the same name) to a SoundFont 2 and one WAV per sample.",
               "psxdig convert"};
  // GNU-style options everywhere: "/x" is a path, never an option, on Windows too.
  app.allow_windows_style_options(false);
  ConvertSettings settings;
  app.add_option("FILE", settings.files, "Files to convert")->required();
  app.add_option("-o,--output", settings.outDir, "Folder for the output files (default: beside each input)");
  app.add_flag("--no-wav", settings.noWav, "Write no WAV files for the samples of a bank");
  app.add_option("--bank", settings.bank,
                 "The bank (.vab or .vh) the sequences play with: their MIDI files get its pitch-bend ranges");
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (!settings.outDir.empty()) {
    std::error_code ec;
    fs::create_directories(settings.outDir, ec);
    if (!fs::is_directory(settings.outDir, ec)) {
      std::fprintf(stderr, "psxdig convert: cannot create the output folder %s\n", settings.outDir.c_str());
      return 1;
    }
  }
  if (!settings.bank.empty()) {
    Bytes header;
    if (!ReadWholeFile(settings.bank, header)) {
      std::fprintf(stderr, "psxdig convert: %s: cannot read the bank\n", settings.bank.c_str());
      return 1;
    }
    convert::BankBends bends = convert::ReadBankBends(ByteSpan(header));
    if (!bends.error.empty()) {
      std::fprintf(stderr, "psxdig convert: %s: %s\n", settings.bank.c_str(), bends.error.c_str());
      return 1;
    }
    settings.bends = bends.ranges;
  }
  bool allConverted = true;
  for (const std::string& input : settings.files) allConverted = ConvertInput(input, settings) && allConverted;
  return allConverted ? 0 : 1;
}

}  // namespace psxdig
