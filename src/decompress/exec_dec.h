// The dec command: decompression of the compressed sequences of known games.
#pragma once

#include <cstdint>
#include <string>

#include "core/options.h"
#include "core/output.h"
#include "search/data_ofs.h"

namespace psxdig {

struct DecContext {
  std::string inputPath;
  std::string serial;  // the five-digit serial number from the command line
  ByteSpan input;
  ErrorLog log;
  RunOptions options;
};

// 1 when the decompressor ran, 0 otherwise.
std::uint32_t execDec(const DecContext& ctx, DataOfs& table);

}  // namespace psxdig
