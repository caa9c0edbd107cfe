// The skeleton shared by the fuzz targets: the first input byte picks one of
// a target's parsers, the next bytes are that parser's parameters and the rest
// is the image under test. Parsers that write files get a scratch folder.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/bytes.h"

// A finding: aborts when an invariant does not hold.
#define FUZZ_CHECK(cond)      \
  do {                        \
    if (!(cond)) {            \
      __builtin_trap();       \
    }                         \
  } while (0)

namespace psxdig::fuzz {

class Params {
 public:
  Params(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint32_t U32() {
    std::uint32_t v = 0;
    const std::size_t n = size_ < 4 ? size_ : 4;
    std::memcpy(&v, data_, n);
    data_ += n;
    size_ -= n;
    return v;
  }
  std::uint8_t U8() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  std::uint32_t U16() {
    const std::uint32_t low = U8();
    return low | (U8() << 8);
  }
  ByteSpan Rest() const { return ByteSpan(data_, size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

using Parser = void (*)(Params&);

template <std::size_t N>
int Dispatch(const Parser (&parsers)[N], const std::uint8_t* data, std::size_t size) {
  Params p(data, size);
  parsers[p.U8() % N](p);
  return 0;
}

// One folder per process under /dev/shm (or the temp folder); outputs are
// named after InputPath() and must land beside it.
class ScratchFolder {
 public:
  ScratchFolder() {
    const std::filesystem::path base =
        std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    path_ = base / ("psxdig_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string InputPath() const { return (path_ / "in.bin").string(); }
  // Number of entries, and total bytes of the regular files whose names do
  // not end in `exceptSuffix`.
  std::size_t Count() const {
    std::size_t n = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(path_, ec); it != std::filesystem::directory_iterator();
         it.increment(ec)) {
      ++n;
    }
    return n;
  }
  std::uint64_t BytesWritten(const std::string& exceptSuffix = "") const {
    std::uint64_t total = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
      const std::string name = entry.path().filename().string();
      if (!exceptSuffix.empty() && name.ends_with(exceptSuffix)) continue;
      if (entry.is_regular_file(ec)) total += entry.file_size(ec);
    }
    return total;
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

inline const ScratchFolder& Scratch() {
  static const ScratchFolder folder;
  return folder;
}

}  // namespace psxdig::fuzz
