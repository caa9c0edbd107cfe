// The yardstick of the benchmarks: maps a file the way psxdig maps its input
// and reads every byte once, so that a run's time can be given as a multiple
// of the time it takes just to get the file's bytes.
//   psxdig_mapped_pass <file>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: psxdig_mapped_pass <file>\n");
    return 2;
  }
  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  const std::int64_t size = psxdig::platform::FileSize(f);
  psxdig::platform::FileMapping map;
  if (size <= 0 || !psxdig::platform::MapFile(f, static_cast<std::uint64_t>(size), map)) {
    std::fprintf(stderr, "cannot map %s\n", argv[1]);
    return 1;
  }
  std::uint64_t sum = 0;
  std::size_t k = 0;
  for (; k + 8 <= map.size; k += 8) {
    std::uint64_t word;
    std::memcpy(&word, map.data + k, 8);
    sum += word;
  }
  for (; k < map.size; ++k) sum += map.data[k];
  std::printf("%016llx\n", static_cast<unsigned long long>(sum));  // keeps the reads
  psxdig::platform::UnmapFile(map);
  std::fclose(f);
  return 0;
}
