// psxdig_mkimage: writes the synthetic images used by the README's demo, the
// end-to-end tests and the benchmarks.
//   psxdig_mkimage demo <out> [--list]              the demo image; --list prints its items
//   psxdig_mkimage bench <out> <MiB>                a large image for benchmarks
//   psxdig_mkimage bench-banks <out> <MiB>          VAB headers with all bodies at the end
//   psxdig_mkimage bench-mixed <out> <MiB>          disc-like mix of data, sequences and banks
//   psxdig_mkimage bench-raw <out> <MiB>            the same mix as raw 2352-byte sectors
//   psxdig_mkimage bench-xa <out> <MiB>             raw sectors, almost all XA audio (8 channels)
//   psxdig_mkimage bench-absent <out> <MiB> <headers> [places]
//                                                   VAB headers whose bodies are absent
//   psxdig_mkimage bench-dec <serial> <out> <MiB> [copies]
//                                                   a release's dec image repeated over packed data
//   psxdig_mkimage gameseq-<name> <out> [--list]    game sequence items of one format
//                                                   (sssq, kcet, sntp, seqg, seqq, sqv,
//                                                   sseq) or a mix of all of them
//   psxdig_mkimage dec-demo <out> [--list]          compressed sequences for dec 10037
//   psxdig_mkimage dec <serial> <out> [--list]      compressed items for that release
//   psxdig_mkimage banks-<kind> <out> [--list]      banks of one class: vab, vh2, sshd, inst
//   psxdig_mkimage disc-folder <dir> [--list]       sound files for a disc, to be made into
//                                                   an ISO with genisoimage; --list: items
//   psxdig_mkimage disc-raw <in.iso> <out.bin> [--2336]
//                                                   the ISO as raw Mode 2 Form 1 sectors
//                                                   (2352 or 2336 bytes) and <out>.cue
//   psxdig_mkimage convert-set <folder>             sequences, banks and expect.txt for convert
//   psxdig_mkimage streams-folder <dir>             VAG and XA files for a disc (genisoimage)
//   psxdig_mkimage streams-raw <in.iso> <out.bin>   that ISO as raw sectors with the XA files in
//                                                   Form 2, two CD-DA tracks, the CUE sheet and
//                                                   MUSIC.XA/.STR/.CDXA beside it
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "image_audio.h"
#include "image_banks.h"
#include "image_bench.h"
#include "image_builder.h"
#include "image_compressed.h"
#include "image_disc.h"
#include "image_gameseq.h"
#include "image_streams.h"

namespace {

using namespace psxdig::tools;

bool WantsList(int argc, char** argv, int at) {
  return argc > at && std::string(argv[at]) == "--list";
}

void PrintPlanted(const std::vector<Planted>& planted) {
  for (const auto& p : planted) {
    std::printf("%-6s %10u %8u  %s\n", p.ext.c_str(), p.ofs, p.size, p.note.c_str());
  }
}

int Demo(int argc, char** argv) {
  const auto planted = WriteDemoImage(argv[2]);
  if (WantsList(argc, argv, 3)) PrintPlanted(planted);
  return 0;
}

int Banks(int argc, char** argv, const std::string& what) {
  std::vector<Planted> planted;
  const Bytes image = BuildBankImage(what.substr(6), &planted);
  if (image.empty()) {
    std::fprintf(stderr, "no bank image named %s\n", what.c_str());
    return 2;
  }
  std::ofstream(argv[2], std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  if (WantsList(argc, argv, 3)) PrintPlanted(planted);
  return 0;
}

int Bench(char** argv, bool banks) {
  const std::size_t mib = std::strtoul(argv[3], nullptr, 10);
  const Bytes image = banks ? BuildBankBenchImage(mib) : BuildBenchImage(mib);
  std::ofstream(argv[2], std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return 0;
}

bool WriteImage(const char* path, const Bytes& image) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return static_cast<bool>(out);
}

// bench-mixed, bench-absent and bench-dec.
int LargeBench(int argc, char** argv, const std::string& what) {
  const auto number = [&](int at) { return std::strtoul(argv[at], nullptr, 10); };
  Bytes image;
  const char* out = argv[2];
  if (what == "bench-mixed") {
    image = BuildMixedBenchImage(number(3));
  } else if (what == "bench-raw") {
    image = BuildRawBenchImage(number(3));
  } else if (what == "bench-xa") {
    image = BuildXaBenchImage(number(3));
  } else if (what == "bench-absent" && argc >= 5) {
    image = BuildAbsentBodiesImage(number(3), number(4), argc >= 6 ? number(5) : 200);
  } else if (what == "bench-dec" && argc >= 5) {
    out = argv[3];
    image = BuildDecBenchImage(argv[2], number(4), argc >= 6 ? number(5) : 16);
  }
  if (image.empty()) {
    std::fprintf(stderr, "cannot build %s\n", what.c_str());
    return 2;
  }
  return WriteImage(out, image) ? 0 : 2;
}

int GameSeq(int argc, char** argv, const std::string& what) {
  std::vector<GameSeqPlanted> planted;
  if (!WriteGameSeqImage(what.substr(8), argv[2], &planted)) {
    std::fprintf(stderr, "cannot write image %s to %s\n", what.c_str(), argv[2]);
    return 2;
  }
  if (WantsList(argc, argv, 3)) {
    for (const auto& p : planted) {
      std::printf("%-6s %10u %10u %8u %8u  %s\n", p.ext.c_str(), p.sigOfs, p.start, p.size,
                  p.recorded, p.note.c_str());
    }
  }
  return 0;
}

int Dec(int argc, char** argv, bool demo) {
  const std::string serial = demo ? kDecDemoSerial : argv[2];
  const char* out = demo ? argv[2] : argv[3];
  DecImage image;
  if (!WriteDecImage(serial, out, &image)) {
    std::fprintf(stderr, "no compressed items known for serial %s\n", serial.c_str());
    return 2;
  }
  if (WantsList(argc, argv, demo ? 3 : 4)) PrintPlanted(image.planted);
  return 0;
}

int DiscFolder(int argc, char** argv) {
  std::vector<DiscItem> items;
  if (!WriteDiscFolder(argv[2], &items)) {
    std::fprintf(stderr, "cannot write the disc folder %s\n", argv[2]);
    return 2;
  }
  if (WantsList(argc, argv, 3)) {
    for (const auto& i : items) {
      std::printf("%-6s %-18s %8x %8u  %s\n", i.ext.c_str(), i.path.c_str(), i.ofs, i.size, i.note.c_str());
    }
  }
  return 0;
}

int DiscRaw(int argc, char** argv) {
  const bool short2336 = argc > 4 && std::string(argv[4]) == "--2336";
  std::ifstream in(argv[2], std::ios::binary | std::ios::ate);
  Bytes iso(in ? static_cast<std::size_t>(in.tellg()) : 0);
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(iso.data()), static_cast<std::streamsize>(iso.size())) || iso.empty()) {
    std::fprintf(stderr, "cannot read %s\n", argv[2]);
    return 2;
  }
  const Bytes raw = WrapIso(iso, short2336);
  // Paths in the host's own form (a Windows build takes "\\" as well as "/").
  const std::filesystem::path bin = argv[3];
  const std::filesystem::path cue = std::filesystem::path(bin).replace_extension(".cue");
  std::ofstream(bin, std::ios::binary)
      .write(reinterpret_cast<const char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
  std::ofstream(cue, std::ios::binary) << CueFor(bin.filename().string(), short2336);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc >= 3 ? argv[1] : "";
  if (what == "demo") return Demo(argc, argv);
  if ((what == "bench" || what == "bench-banks") && argc >= 4) return Bench(argv, what == "bench-banks");
  if ((what == "bench-mixed" || what == "bench-raw" || what == "bench-xa" || what == "bench-absent" ||
       what == "bench-dec") && argc >= 4) {
    return LargeBench(argc, argv, what);
  }
  if (what.rfind("gameseq-", 0) == 0) return GameSeq(argc, argv, what);
  if (what == "dec-demo") return Dec(argc, argv, true);
  if (what == "dec" && argc >= 4) return Dec(argc, argv, false);
  if (what.rfind("banks-", 0) == 0) return Banks(argc, argv, what);
  if (what == "disc-folder") return DiscFolder(argc, argv);
  if (what == "disc-raw" && argc >= 4) return DiscRaw(argc, argv);
  if (what == "convert-set") return WriteConvertSet(argv[2]) ? 0 : 2;
  if (what == "streams-folder") return WriteStreamsFolder(argv[2]) ? 0 : 2;
  if (what == "streams-raw" && argc >= 4) return WriteStreamsRaw(argv[2], argv[3]) ? 0 : 2;
  std::fprintf(stderr,
               "usage: psxdig_mkimage demo <out> [--list] | bench|bench-banks|bench-mixed|bench-raw|bench-xa <out> <MiB> |"
               " bench-absent <out> <MiB> <headers> [places] | bench-dec <serial> <out> <MiB> [copies] |"
               " gameseq-<name> <out> [--list] | dec-demo <out> [--list] |"
               " dec <serial> <out> [--list] |"
               " banks-vab|banks-vh2|banks-sshd|banks-inst <out> [--list] |"
               " disc-folder <dir> [--list] | disc-raw <in.iso> <out.bin> [--2336] |"
               " convert-set <folder> | streams-folder <dir> | streams-raw <in.iso> <out.bin>\n");
  return 2;
}
