#include "core/output.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace psxdig {

std::string BuildOutputName(const std::string& inputPath, const char* suffix, std::uint32_t index,
                            std::uint32_t count) {
  char number[16] = "";
  const unsigned shown = index + 1u;
  if (count >= 10000) return {};
  if (count >= 1000) {
    std::snprintf(number, sizeof number, "_%04u", shown);
  } else if (count >= 100) {
    std::snprintf(number, sizeof number, "_%03u", shown);
  } else if (count >= 10) {
    std::snprintf(number, sizeof number, "_%02u", shown);
  } else if (count >= 2) {
    std::snprintf(number, sizeof number, "_%u", shown);
  }
  std::string name = inputPath + number + suffix;
  if (name.size() + 1 > platform::kMaxPath) return {};
  return name;
}

FilePtr OpenOutputFile(const std::string& inputPath, std::string* fullName, std::string* baseName,
                       const char* suffix, const char* mode, std::uint32_t index,
                       std::uint32_t count) {
  const std::string name = BuildOutputName(inputPath, suffix, index, count);
  if (baseName) *baseName = platform::BaseName(name);
  if (fullName) *fullName = name;
  if (name.empty()) {
    platform::SetLastError(count >= 10000 ? platform::Failure::kNotFound
                                          : platform::Failure::kNameTooLong);
    return nullptr;
  }
  // Text files are opened in binary mode too: WriteText writes CR LF itself,
  // so the bytes on disk are the same on every platform.
  const char* openMode = std::strcmp(mode, "w") == 0 ? "wb" : mode;
  return FilePtr(std::fopen(name.c_str(), openMode));
}

void WriteTextV(std::FILE* f, const char* fmt, std::va_list args) {
  if (!f) return;
  char small[512];
  std::va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) return;
  std::vector<char> big;
  const char* text = small;
  if (static_cast<std::size_t>(n) >= sizeof small) {
    big.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, args);
    text = big.data();
  }
  std::string_view rest(text, static_cast<std::size_t>(n));
  while (!rest.empty()) {
    const auto lf = rest.find('\n');
    if (lf == std::string_view::npos) {
      std::fwrite(rest.data(), 1, rest.size(), f);
      break;
    }
    std::fwrite(rest.data(), 1, lf, f);
    std::fwrite("\r\n", 1, 2, f);
    rest.remove_prefix(lf + 1);
  }
}

void WriteText(std::FILE* f, const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  WriteTextV(f, fmt, args);
  va_end(args);
}

void ReportLastError(const char* function, int line) {
  const std::uint32_t code = platform::LastErrorCode();
  const std::string text = platform::ErrorText(code);
  std::fprintf(stderr, "[F:%s][L:%d] GetLastError: %u, %s\n", function, line, code, text.c_str());
}

std::int32_t GetStreamSize(std::FILE* f) {
  if (!f) return 0;
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  return static_cast<std::int32_t>(size);
}

void ErrorLog::Write(const char* fmt, ...) const {
  if (!file_) return;
  std::va_list args;
  va_start(args, fmt);
  WriteTextV(file_, fmt, args);
  va_end(args);
}

}  // namespace psxdig
