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

using testing::BankTable;
using testing::Bytes;
using testing::Capture;
using testing::Cat;

class BankFixture : public ::testing::Test {
 protected:
  testing::TempDir dir;
  testing::ScratchFile listing;
  testing::ScratchFile errors;
  Bytes image;
  RunOptions options;
  std::string out;  // standard output of the last writer run
  std::string err;  // standard error of the last writer run

  std::string Path() const { return dir.File("img.bin"); }

  RipContext Context() const {
    return RipContext{Path(), ByteSpan(image), listing.get(), ErrorLog(errors.get()), options};
  }

  // Runs a writer call, keeping what it printed, and returns its result.
  template <typename F>
  std::uint32_t Call(F&& f) {
    std::uint32_t result = 0;
    const testing::Captured c = Capture([&] { result = f(); });
    out = c.out;
    err = c.err;
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
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(ofs),
                 image.begin() + static_cast<std::ptrdiff_t>(ofs + n));
  }
  std::string OutName(const std::string& suffix) const { return Path() + suffix; }
  bool Exists(const std::string& suffix) const { return testing::fs::exists(OutName(suffix)); }
  Bytes Written(const std::string& suffix) const { return testing::ReadBytes(OutName(suffix)); }
  std::string Rows() const { return listing.Text(); }
  std::string ErrorLines() const { return errors.Text(); }
  // The report line of a failed open starts with the writer's name.
  bool Reported(const std::string& writer) const { return err.rfind("[F:" + writer + "][L:", 0) == 0; }
};

}  // namespace psxdig
