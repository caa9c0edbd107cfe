// A whole rip (with random switches) of the input, written into a scratch
// folder that is emptied after every run.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "fuzz_util.h"

namespace {

std::filesystem::path ScratchFolder() {
  static const std::filesystem::path folder = [] {
    const std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    auto f = base / ("psxdig_rip_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(f);
    return f;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  psxdig::fuzz::Params p(data, size);
  const std::uint8_t flags = p.U8();
  const std::uint8_t start = p.U8();
  const std::uint8_t capacity = p.U8();
  const std::filesystem::path folder = ScratchFolder();
  const std::string input = (folder / "in.bin").string();
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));

  char startText[8];
  char capacityText[8];
  std::snprintf(startText, sizeof startText, "%x", start);
  std::snprintf(capacityText, sizeof capacityText, "%u", capacity);
  std::vector<const char*> argv = {"psxdig", "rip", input.c_str(), startText, capacityText};
  if (flags & 1) argv.push_back("/c");
  if (flags & 2) argv.push_back("/p2");
  if (flags & 4) argv.push_back("/n");
  psxdig::RunMain(static_cast<int>(argv.size()), argv.data());

  // Everything psxdig wrote must lie in the input's folder.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
  return 0;
}
