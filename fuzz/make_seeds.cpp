// Writes seed inputs for the fuzz targets from the image generator: the demo
// image and small slices of it, each behind the parameter bytes a target reads.
#include <cstdio>
#include <fstream>
#include <string>

#include "image_builder.h"
#include "image_gameseq.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  std::vector<psxdig::tools::Planted> planted;
  const auto image = psxdig::tools::BuildDemoImage(&planted);
  int n = 0;
  auto write = [&](const std::vector<std::uint8_t>& params, std::size_t from, std::size_t len) {
    std::ofstream out(folder + "/seed_" + std::to_string(n++), std::ios::binary);
    out.write(reinterpret_cast<const char*>(params.data()), static_cast<std::streamsize>(params.size()));
    out.write(reinterpret_cast<const char*>(image.data() + from), static_cast<std::streamsize>(len));
  };
  // Each planted item with a little room around it, then the whole image.
  for (const auto& p : planted) {
    const std::size_t from = p.ofs >= 16 ? p.ofs - 16 : 0;
    const std::size_t len = std::min<std::size_t>(image.size() - from, p.size + 64);
    write({0x03, 0x00, 0x40, 0x00, 0x00, 0x00}, from, len);
  }
  write({0x07, 0x00, 0xFF, 0x00, 0x00, 0x00}, 0, image.size());
  // The game-specific sequence images, whole.
  for (const char* name : {"sssq", "kcet", "sntp", "seqg", "seqq", "sqv", "sseq", "mix"}) {
    const auto game = psxdig::tools::BuildGameSeqImage(name);
    std::ofstream out(folder + "/seed_" + std::to_string(n++), std::ios::binary);
    static constexpr char kParams[6] = {0x03, 0x00, 0x40, 0x00, 0x00, 0x00};
    out.write(kParams, sizeof kParams);
    out.write(reinterpret_cast<const char*>(game.data()), static_cast<std::streamsize>(game.size()));
  }
  return 0;
}
