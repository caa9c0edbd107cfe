// Helpers shared by the tests: scratch folders, running the built programs,
// reading files back, capturing output, and byte buffers and search tables.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "search/data_ofs.h"

namespace psxdig::testing {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts);
inline Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
// Copies `bytes` into `b` at `at`, growing `b` with 0x11 filler as needed.
void Put(Bytes& b, std::size_t at, const Bytes& bytes);
// `n` pseudo-random bytes; `state` carries on from call to call.
Bytes RandomBytes(std::uint32_t& state, std::size_t n);

// A search table of one class holding the given signature offsets, as the
// data search leaves it.
DataOfs SeqTable(const std::string& ext, const std::vector<std::uint32_t>& ofs);
DataOfs BankTable(const std::string& ext, const std::vector<std::uint32_t>& ofs);

// What a call printed to standard output and standard error.
struct Captured {
  std::string out, err;
};
template <typename F>
Captured Capture(F&& f) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  f();
  std::fflush(stdout);
  Captured c{::testing::internal::GetCapturedStdout(), ""};
  c.err = ::testing::internal::GetCapturedStderr();
  return c;
}

// A fresh, empty folder under the system's temp folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const fs::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Names of all entries directly in the folder, sorted.
  std::vector<std::string> List() const;

 private:
  fs::path path_;
};

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};
// Runs a program with the given arguments, each passed as is.
RunResult Run(const std::string& program, const std::vector<std::string>& args);
inline RunResult RunPsxdig(const std::vector<std::string>& args) { return Run(PSXDIG_BINARY, args); }
inline RunResult RunMkimage(const std::vector<std::string>& args) { return Run(PSXDIG_MKIMAGE, args); }

// The cause of a failed system call: its POSIX code and text, and the code
// Windows gives for it there (with the system's own text).
struct SystemError {
  int posixCode;
  const char* posixText;
  unsigned windowsCode;
};
// The report line of a failed system call in `function` (any source line),
// as a regular expression for this platform.
std::string ReportPattern(const std::string& function, const SystemError& error);
// `text` with the characters that mean something in a regular expression escaped.
std::string EscapeRegex(const std::string& text);

Bytes ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);

// A scratch file for an error log or a listing; Text() returns what was
// written so far (CR LF line ends as stored).
class ScratchFile {
 public:
  ScratchFile();
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  std::FILE* get() const { return file_; }
  std::string Text() const;

 private:
  std::FILE* file_;
};

}  // namespace psxdig::testing
