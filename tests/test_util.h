// Helpers shared by the tests: scratch folders, running the built binary,
// reading files back, and capturing the error log of in-memory runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace psxdig::testing {

namespace fs = std::filesystem;

// A fresh, empty folder under the system's temp folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Names of all entries directly in the folder, sorted.
  std::vector<std::string> List() const;

 private:
  fs::path path_;
};

struct RunResult {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs a program with the given arguments (no shell quoting issues: each
// argument is passed as is) and captures both output streams.
RunResult Run(const std::string& program, const std::vector<std::string>& args);
// Runs the built psxdig.
RunResult RunPsxdig(const std::vector<std::string>& args);
// Runs the built image generator.
RunResult RunMkimage(const std::vector<std::string>& args);

std::vector<std::uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A scratch file for an ErrorLog or a listing; Text() returns what was
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
