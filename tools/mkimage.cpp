// psxdig_mkimage: writes the synthetic demo image used by the README's demo,
// the end-to-end tests and the benchmarks.
//   psxdig_mkimage demo <out> [--list]    the demo image; --list prints its items
//   psxdig_mkimage bench <out> <MiB>      a large image for benchmarks
//   psxdig_mkimage gameseq-<name> <out> [--list]
//                                         game sequence items of one format
//                                         (sssq, kcet, sntp, seqg, seqq, sqv,
//                                         sseq) or a mix of all of them
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "image_builder.h"
#include "image_gameseq.h"

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
  if (what == "bench" && argc >= 4) {
    const Bytes image = BuildBenchImage(std::strtoul(argv[3], nullptr, 10));
    std::ofstream(argv[2], std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return 0;
  }
  if (what.rfind("gameseq-", 0) == 0) {
    std::vector<GameSeqPlanted> planted;
    if (!WriteGameSeqImage(what.substr(8), argv[2], &planted)) {
      std::fprintf(stderr, "cannot write image %s to %s\n", what.c_str(), argv[2]);
      return 2;
    }
    if (argc >= 4 && std::string(argv[3]) == "--list") {
      for (const auto& p : planted) {
        std::printf("%-6s %10u %10u %8u %8u  %s\n", p.ext.c_str(), p.sigOfs, p.start, p.size,
                    p.recorded, p.note.c_str());
      }
    }
    return 0;
  }
  std::fprintf(stderr, "usage: psxdig_mkimage demo <out> [--list] | bench <out> <MiB> | gameseq-<name> <out> [--list]\n");
  return 2;
}
