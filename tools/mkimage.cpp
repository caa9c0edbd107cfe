// psxdig_mkimage: writes the synthetic demo image used by the README's demo,
// the end-to-end tests and the benchmarks.
//   psxdig_mkimage demo <out> [--list]    the demo image; --list prints its items
//   psxdig_mkimage bench <out> <MiB>      a large image for benchmarks
//   psxdig_mkimage banks-<kind> <out> [--list]
//                                         banks of one class: vab, vh2, sshd, inst
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "image_banks.h"
#include "image_builder.h"

int main(int argc, char** argv) {
  using namespace psxdig::tools;
  const std::string what = argc >= 3 ? argv[1] : "";
  if (what == "demo") {
    const auto planted = WriteDemoImage(argv[2]);
    if (argc >= 4 && std::string(argv[3]) == "--list") {
      for (const auto& p : planted) {
        std::printf("%-6s %10u %8u  %s\n", p.ext.c_str(), p.ofs, p.size, p.note.c_str());
      }
    }
    return 0;
  }
  if (what.rfind("banks-", 0) == 0) {
    std::vector<Planted> planted;
    const Bytes image = BuildBankImage(what.substr(6), &planted);
    if (!image.empty()) {
      std::ofstream(argv[2], std::ios::binary)
          .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
      if (argc >= 4 && std::string(argv[3]) == "--list") {
        for (const auto& p : planted) {
          std::printf("%-6s %10u %8u  %s\n", p.ext.c_str(), p.ofs, p.size, p.note.c_str());
        }
      }
      return 0;
    }
  }
  if (what == "bench" && argc >= 4) {
    const Bytes image = BuildBenchImage(std::strtoul(argv[3], nullptr, 10));
    std::ofstream(argv[2], std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return 0;
  }
  std::fprintf(stderr, "usage: psxdig_mkimage demo <out> [--list] | bench <out> <MiB> |"
               " banks-vab|banks-vh2|banks-sshd|banks-inst <out> [--list]\n");
  return 2;
}
