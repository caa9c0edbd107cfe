// Output naming, text files with CR LF line ends, and the system error report
// line shared by every part of the tool.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define PSXDIG_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PSXDIG_PRINTF_FORMAT(fmt, args)
#endif

namespace psxdig {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Name of output item `index` of a class of `count` items: the input path,
// then "_" and index + 1 with as many digits as the count has (no number for
// a count of 0 or 1), then the suffix. Empty for a count of 10000 or more and
// for a name that would not fit in 260 bytes with its terminator.
std::string BuildOutputName(const std::string& inputPath, const char* suffix, std::uint32_t index,
                            std::uint32_t count);

// Builds the name as above and opens it. Mode "w" opens a text file (written
// through WriteText, which stores each line end as CR LF), "wb" an item file
// and "rb" reads a written file back. fullName and baseName, when given,
// receive the built name and its last component. Reports nothing itself.
FilePtr OpenOutputFile(const std::string& inputPath, std::string* fullName, std::string* baseName,
                       const char* suffix, const char* mode, std::uint32_t index,
                       std::uint32_t count);

// printf into a text file, storing every "\n" as "\r\n".
void WriteText(std::FILE* f, const char* fmt, ...) PSXDIG_PRINTF_FORMAT(2, 3);
void WriteTextV(std::FILE* f, const char* fmt, std::va_list args);

// Prints "[F:<function>][L:<line>] GetLastError: <code>, <text>" to stderr
// for the current system error.
void ReportLastError(const char* function, int line);

// Size of the file behind an open stream (0 for none); leaves it rewound.
std::int32_t GetStreamSize(std::FILE* f);

// The error log: rejected candidates and inconsistent data, one line each.
// Writes nothing when no file is attached (as in most unit tests).
class ErrorLog {
 public:
  ErrorLog() = default;
  explicit ErrorLog(std::FILE* file) : file_(file) {}
  void Write(const char* fmt, ...) const PSXDIG_PRINTF_FORMAT(2, 3);
  std::FILE* file() const { return file_; }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace psxdig
