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

// One scratch folder per process under /dev/shm (or the temp folder):
// outputs are named after InputPath() and must land beside it.
class ScratchFolder {
 public:
  ScratchFolder() {
    const auto shm = std::filesystem::path("/dev/shm");
    path_ = (std::filesystem::exists(shm) ? shm : std::filesystem::temp_directory_path()) /
            ("psxdig_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_, ec_); }
  std::string InputPath() const { return (path_ / "in.bin").string(); }
  // Number of entries, and bytes in the files whose names do not end in `except`.
  std::size_t Count() const { return Walk(""); }
  std::uint64_t BytesWritten(const std::string& except = "") const { return Walk(except, true); }
  void Clear() const {
    for (const auto& e : std::filesystem::directory_iterator(path_, ec_)) std::filesystem::remove_all(e.path(), ec_);
  }

 private:
  std::uint64_t Walk(const std::string& except, bool bytes = false) const {
    std::uint64_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(path_, ec_)) {
      if (!bytes) ++n;
      if (bytes && e.is_regular_file(ec_) && (except.empty() || !e.path().string().ends_with(except))) {
        n += e.file_size(ec_);
      }
    }
    return n;
  }
  std::filesystem::path path_;
  mutable std::error_code ec_;
};

inline const ScratchFolder& Scratch() {
  static const ScratchFolder folder;
  return folder;
}

}  // namespace psxdig::fuzz
