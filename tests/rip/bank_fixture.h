// Shared set-up of the bank writer tests: an image built in memory, a
// scratch folder for the written files, and the listing and error log.
#pragma once

#include <gtest/gtest.h>

#include "image_banks.h"
#include "rip/bank_writers.h"
#include "test_util.h"

namespace psxdig {

using testing::BankTable;
using testing::Bytes;
using testing::Cat;

class BankFixture : public ::testing::Test {
 protected:
  testing::TempDir dir;
  testing::ScratchFile listing, errors;
  Bytes image;
  std::string out;  // standard output of the last writer run

  RipContext Context() const {
    return RipContext{dir.File("img.bin"), ByteSpan(image), listing.get(), ErrorLog(errors.get()), RunOptions{}};
  }
  // Runs a writer call, keeping what it printed, and returns its result.
  template <typename F>
  std::uint32_t Call(F&& f) {
    std::uint32_t result = 0;
    out = testing::Capture([&] { result = f(); }).out;
    return result;
  }
  // Appends bytes to the image and returns their offset.
  std::uint32_t Append(const Bytes& bytes) {
    const auto at = static_cast<std::uint32_t>(image.size());
    image.insert(image.end(), bytes.begin(), bytes.end());
    return at;
  }
  std::uint32_t AppendFill(std::size_t n, std::uint8_t value = 0xAA) { return Append(Bytes(n, value)); }
  Bytes Slice(std::uint64_t ofs, std::uint64_t n) const {
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(ofs), image.begin() + static_cast<std::ptrdiff_t>(ofs + n));
  }
  std::string OutName(const std::string& suffix) const { return dir.File("img.bin") + suffix; }
  bool Exists(const std::string& suffix) const { return testing::fs::exists(OutName(suffix)); }
  Bytes Written(const std::string& suffix) const { return testing::ReadBytes(OutName(suffix)); }
  std::string Rows() const { return listing.Text(); }
  std::string ErrorLines() const { return errors.Text(); }
};

}  // namespace psxdig
