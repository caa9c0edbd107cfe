// psxdig_mkimage: writes the synthetic demo image used by the README's demo,
// the end-to-end tests and the benchmarks.
//   psxdig_mkimage demo <out> [--list]    the demo image; --list prints its items
//   psxdig_mkimage bench <out> <MiB>      a large image for benchmarks
//   psxdig_mkimage dec-demo <out> [--list]          compressed sequences for dec 10037
//   psxdig_mkimage dec <serial> <out> [--list]      compressed items for that release
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "image_builder.h"
#include "image_compressed.h"

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
  if (what == "dec-demo" || (what == "dec" && argc >= 4)) {
    const bool demo = what == "dec-demo";
    const std::string serial = demo ? kDecDemoSerial : argv[2];
    const char* out = demo ? argv[2] : argv[3];
    const int listAt = demo ? 3 : 4;
    DecImage image;
    if (!WriteDecImage(serial, out, &image)) {
      std::fprintf(stderr, "no compressed items known for serial %s\n", serial.c_str());
      return 2;
    }
    if (argc > listAt && std::string(argv[listAt]) == "--list") {
      for (const auto& p : image.planted) {
        std::printf("%-6s %10u %8u  %s\n", p.ext.c_str(), p.ofs, p.size, p.note.c_str());
      }
    }
    return 0;
  }
  std::fprintf(stderr,
               "usage: psxdig_mkimage demo <out> [--list] | bench <out> <MiB> |"
               " dec-demo <out> [--list] | dec <serial> <out> [--list]\n");
  return 2;
}
