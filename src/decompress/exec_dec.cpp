#include "decompress/exec_dec.h"

#include <cstdio>

namespace psxdig {

std::uint32_t execDec(const DecContext&, DataOfs&) {
  std::fprintf(stderr, "dec: decompression is not built yet\n");
  return 0;
}

}  // namespace psxdig
