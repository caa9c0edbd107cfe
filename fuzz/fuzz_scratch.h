// A scratch folder for fuzz targets whose code under test writes files: one
// per process under /dev/shm (or the temp folder), emptied after every input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace psxdig::fuzz {

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& target) {
    const std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    path_ = base / ("psxdig_" + target + "_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Path of the (not necessarily existing) input file: outputs are named
  // after it and must land beside it.
  std::string InputPath() const { return (path_ / "in.bin").string(); }

  // Total bytes of the regular files in the folder other than `except`.
  std::uint64_t BytesWritten(const std::string& exceptSuffix = "") const {
    std::uint64_t total = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
      const std::string name = entry.path().filename().string();
      if (!exceptSuffix.empty() && name.size() >= exceptSuffix.size() &&
          name.compare(name.size() - exceptSuffix.size(), exceptSuffix.size(), exceptSuffix) == 0) {
        continue;
      }
      if (entry.is_regular_file(ec)) total += entry.file_size(ec);
    }
    return total;
  }

  std::size_t Count() const {
    std::size_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(path_, ec);
         it != std::filesystem::directory_iterator(); it.increment(ec)) {
      ++n;
    }
    return n;
  }

  void Clear() const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
      std::filesystem::remove_all(entry.path(), ec);
    }
  }

 private:
  std::filesystem::path path_;
};

}  // namespace psxdig::fuzz
