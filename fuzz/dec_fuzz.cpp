// A whole dec run of the input, with the serial (one of the supported
// releases or an unknown one) and /c taken from the input, in a scratch
// folder that is emptied after every run.
//
// Input: serial choice (1 byte), flags (1 byte: bit 0 /c), then the image.
#include <fstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "fuzz_scratch.h"
#include "fuzz_util.h"

namespace {

constexpr const char* kSerials[] = {"00348", "10028", "10037", "00844", "10089",
                                    "02804", "03425", "10105", "00856", "01418",
                                    "01751", "91180", "12345"};

const psxdig::fuzz::ScratchFolder& Scratch() {
  static const psxdig::fuzz::ScratchFolder folder("dec_fuzz");
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Each of up to 2048 items may decode up to the end of the input: larger
  // inputs only make runs slow (and files huge), not more interesting.
  if (size > 8192) return 0;
  psxdig::fuzz::Params p(data, size);
  const std::uint8_t choice = p.U8();
  const std::uint8_t flags = p.U8();
  const auto& scratch = Scratch();
  const std::string input = scratch.InputPath();
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));

  const char* serial = kSerials[choice % (sizeof kSerials / sizeof kSerials[0])];
  std::vector<const char*> argv = {"psxdig", "dec", input.c_str(), serial};
  if (flags & 1) argv.push_back("/c");
  const int rc = psxdig::RunMain(static_cast<int>(argv.size()), argv.data());
  FUZZ_CHECK(rc == 0 || rc == 1);
  // Everything psxdig wrote lies in the input's folder, which is emptied.
  scratch.Clear();
  return 0;
}
