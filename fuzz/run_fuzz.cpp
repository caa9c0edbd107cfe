// Whole rip and dec runs of the input, written into a scratch folder that is
// emptied after every run: everything psxdig writes lies beside its input.
// Selector: 0 rip, 1 dec.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "fuzz.h"

namespace {

using psxdig::fuzz::Params;
using psxdig::fuzz::Scratch;

std::string WriteInput(const Params& p) {
  const std::string input = Scratch().InputPath();
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(p.Rest().data()), static_cast<std::streamsize>(p.Rest().size()));
  return input;
}

int RunMain(std::vector<const char*> argv) {
  const int rc = psxdig::RunMain(static_cast<int>(argv.size()), argv.data());
  Scratch().Clear();
  return rc;
}

// Parameters: flags (bit 0 /c, bit 1 /p2, bit 2 /n), start, capacity.
void Rip(Params& p) {
  const std::uint8_t flags = p.U8();
  char start[8];
  char capacity[8];
  std::snprintf(start, sizeof start, "%x", p.U8());
  std::snprintf(capacity, sizeof capacity, "%u", p.U8());
  const std::string input = WriteInput(p);
  std::vector<const char*> argv = {"psxdig", "rip", input.c_str(), start, capacity};
  if (flags & 1) argv.push_back("/c");
  if (flags & 2) argv.push_back("/p2");
  if (flags & 4) argv.push_back("/n");
  RunMain(argv);
}

// Parameters: serial choice (one of the releases or an unknown one), flags
// (bit 0 /c).
void Dec(Params& p) {
  constexpr const char* kSerials[] = {"00348", "10028", "10037", "00844", "10089", "02804", "03425",
                                      "10105", "00856", "01418", "01751", "91180", "12345"};
  const char* serial = kSerials[p.U8() % (sizeof kSerials / sizeof kSerials[0])];
  const std::uint8_t flags = p.U8();
  // Each of up to 2048 items may decode up to the end of the input: larger
  // inputs only make runs slow (and files huge), not more interesting.
  if (p.Rest().size() > 8192) return;
  const std::string input = WriteInput(p);
  std::vector<const char*> argv = {"psxdig", "dec", input.c_str(), serial};
  if (flags & 1) argv.push_back("/c");
  const int rc = RunMain(argv);
  FUZZ_CHECK(rc == 0 || rc == 1);
}

constexpr psxdig::fuzz::Parser kParsers[] = {Rip, Dec};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return psxdig::fuzz::Dispatch(kParsers, data, size);
}
