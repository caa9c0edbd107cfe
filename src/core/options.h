// The run options set from the command line, read-only during the run.
#pragma once

#include <cstdint>

namespace psxdig {

// The signatures a search recognises: rip's set, dec's set, or rip's set
// widened for extract by sequences whose magic is stored byte-reversed
// ("SEQp") and version-5 VAB headers that leave the first program's bytes
// 40..41 at 00 00.
enum RunMode : std::uint32_t { kRunRip = 0, kRunDec = 1, kRunExtract = 2 };

struct RunOptions {
  std::uint32_t startOfs = 0;           // rip: where the search starts (hex on the command line)
  std::uint32_t maxSearchFileNum = 0;   // rip: capacity of the offset list (decimal)
  std::uint32_t compareFlag = 0;        // /c: move byte-identical duplicates aside
  std::uint32_t vbSearchPattern = 0;    // /p1 = 0 (vh, vb, vh, vb...), /p2 = 1 (vb, vb, vb...)
  std::uint32_t vbHeadZeroCheck = 1;    // /n sets 0: a body's first 16 bytes need not be zero
  std::uint32_t runMode = kRunRip;
};

}  // namespace psxdig
