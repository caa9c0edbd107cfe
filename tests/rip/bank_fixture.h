// Shared set-up of the bank writer tests: an image built in memory, a
// scratch folder for the written files, and the listing and error log.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image_banks.h"
#include "rip/bank_writers.h"
#include "test_util.h"

namespace psxdig {

class BankFixture : public ::testing::Test {
 protected:
  using Bytes = std::vector<std::uint8_t>;

  testing::TempDir dir;
  testing::ScratchFile listing;
  testing::ScratchFile errors;
  Bytes image;
  RunOptions options;

  std::string Path() const { return dir.File("img.bin"); }

  RipContext Context() const {
    return RipContext{Path(), ByteSpan(image), listing.get(), ErrorLog(errors.get()), options};
  }

  // Appends bytes to the image and returns their offset.
  std::uint32_t Append(const Bytes& bytes) {
    const auto at = static_cast<std::uint32_t>(image.size());
    image.insert(image.end(), bytes.begin(), bytes.end());
    return at;
  }
  std::uint32_t AppendFill(std::size_t n, std::uint8_t value = 0xAA) { return Append(Bytes(n, value)); }

  // A table holding bank headers of one class at the given offsets.
  static DataOfs BankTable(const char* ext, const std::vector<std::uint32_t>& ofs) {
    DataOfs t;
    t.vhNum = static_cast<std::uint32_t>(ofs.size());
    t.vhOfs = ofs;
    t.vhSize.assign(ofs.size(), 0);
    t.vhCreated.assign(ofs.size(), 0);
    t.vbCreated.assign(ofs.size(), 0);
    t.vhExt = ext;
    return t;
  }

  Bytes Slice(std::uint64_t ofs, std::uint64_t n) const {
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(ofs),
                 image.begin() + static_cast<std::ptrdiff_t>(ofs + n));
  }
  std::string OutName(const std::string& suffix) const { return Path() + suffix; }
  bool Exists(const std::string& suffix) const { return testing::fs::exists(OutName(suffix)); }
  Bytes Written(const std::string& suffix) const { return testing::ReadBytes(OutName(suffix)); }
  std::string Rows() const { return listing.Text(); }
  std::string ErrorLines() const { return errors.Text(); }
};

// Runs f with standard output captured and returns what it printed.
template <typename F>
std::string CaptureStdout(F&& f) {
  ::testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

}  // namespace psxdig
