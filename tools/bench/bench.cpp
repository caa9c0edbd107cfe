// Throughput of the data search on a large synthetic image.
//   psxdig_bench [MiB]   (default 256)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/output.h"
#include "image_builder.h"
#include "search/data_ofs.h"

int main(int argc, char** argv) {
  const std::size_t mib = argc >= 2 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const auto image = psxdig::tools::BuildBenchImage(mib);
  const psxdig::ByteSpan input(image);
  psxdig::DataOfs table;
  const auto start = std::chrono::steady_clock::now();
  psxdig::GetDataOfs(input, 0, 1u << 20, 1, table, 0, psxdig::ErrorLog());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "search: %zu MiB in %.3f s = %.1f MB/s (%u sequences found)\n", mib, seconds,
               image.size() / 1e6 / seconds, table.seqNum);
  return 0;
}
