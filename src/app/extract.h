// The extract command: disc images (or any file) in, one output folder per
// input with every item named by where it came from, and listings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rip/folder_output.h"

namespace psxdig {

// `psxdig extract IMAGE... [-o DIR] [options]`; returns the exit code: 0 when
// anything was found, 1 when nothing was, 2 on bad usage or when an input
// could not be read or written out.
int RunExtract(int argc, const char* const* argv);

// One field of an RFC 4180 CSV row: quoted (with inner quotes doubled) when
// it holds a comma, a quote, CR or LF.
std::string CsvField(std::string_view text);

// What the listings say about the input as a whole.
struct ExtractSummary {
  std::string input;       // as given on the command line
  std::string image;       // the file scanned (a CUE sheet's track file)
  std::string imageKind;   // "plain", "iso2048", "raw2352", "raw2336"
  std::string volumeId;    // empty without a file system
  std::uint64_t logicalSize = 0;
  std::uint32_t damagedSectors = 0;
  std::uint32_t truncatedBytes = 0;  // of a last sector cut short
  std::vector<std::string> fileSystemProblems;
};

// listing.csv: a header row, then one row per item in the order written;
// lines end in CR LF.
std::string BuildListingCsv(const std::vector<ExtractedItem>& items);
// listing.json: the summary, the tool and its version, and every item.
std::string BuildListingJson(const ExtractSummary& summary,
                             const std::vector<ExtractedItem>& items);

}  // namespace psxdig
