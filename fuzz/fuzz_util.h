// Small helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace psxdig::fuzz {

// Takes the first bytes of the fuzzer's input as parameters; the rest is the
// image under test.
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
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace psxdig::fuzz

// A fuzz target's check: aborts (a finding) when an invariant does not hold.
#define FUZZ_CHECK(cond)                                                    \
  do {                                                                      \
    if (!(cond)) {                                                          \
      __builtin_trap();                                                     \
    }                                                                       \
  } while (0)
