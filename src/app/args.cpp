#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/cli.h"

namespace psxdig {
namespace {

// strtoul as a 32-bit C library has it: leading white space, an optional
// sign, an optional 0x prefix in base 16; a magnitude beyond 32 bits gives
// 4294967295 and a minus negates modulo 2^32. `rest` receives where the
// conversion stopped.
std::uint32_t ConvertUnsigned32(const char* text, int base, const char** rest) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  // After the sign a digit (or the 0x prefix) must follow at once.
  if (std::isspace(static_cast<unsigned char>(*p)) || *p == '+' || *p == '-') {
    *rest = text;
    return 0;
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long long magnitude = std::strtoull(p, &end, base);
  if (end == p) {
    *rest = text;  // nothing converted
    return 0;
  }
  *rest = end;
  if (errno == ERANGE || magnitude > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  const auto value = static_cast<std::uint32_t>(magnitude);
  return negative ? static_cast<std::uint32_t>(0u - value) : value;
}

bool ConvertArg(const char* text, int base, std::uint32_t& out) {
  const char* rest = nullptr;
  out = ConvertUnsigned32(text, base, &rest);
  if (*rest != '\0') {
    std::fprintf(stderr, "Invalid arg: %s\n", rest);
    return false;
  }
  return true;
}

}  // namespace

std::uint32_t ParseArgs(int argc, const char* const* argv, RunOptions& options) {
  if (argc >= 5 && std::strcmp(argv[1], "rip") == 0) {
    if (!ConvertArg(argv[3], 16, options.startOfs)) return 0;
    if (!ConvertArg(argv[4], 10, options.maxSearchFileNum)) return 0;
    for (int k = 5; k < argc; ++k) {
      if (std::strcmp(argv[k], "/c") == 0) options.compareFlag = 1;
      if (std::strcmp(argv[k], "/p1") == 0) options.vbSearchPattern = 0;
      if (std::strcmp(argv[k], "/p2") == 0) options.vbSearchPattern = 1;
      if (std::strcmp(argv[k], "/n") == 0) options.vbHeadZeroCheck = 0;
    }
    options.runMode = kRunRip;
    return 1;
  }
  if (argc < 4) return 0;
  if (std::strcmp(argv[1], "dec") != 0) return 0;
  for (int k = 4; k < argc; ++k) {
    if (std::strcmp(argv[k], "/c") == 0) options.compareFlag = 1;
  }
  options.runMode = kRunDec;
  return 1;
}

}  // namespace psxdig
