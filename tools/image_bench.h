// Large disc-like images for the benchmarks (tools/bench/bench.sh).
#pragma once

#include <cstddef>
#include <string>

#include "image_builder.h"

namespace psxdig::tools {

// A disc-like image: 2048-byte aligned files of packed data (bytes of every
// value), sectors of data with zero padding, ADPCM sample streams, zero
// gaps, sequences and VAB banks with their bodies behind them.
Bytes BuildMixedBenchImage(std::size_t megabytes);

// The same kinds of data with `headers` VAB headers (of `slots` places
// spread evenly over the image) whose bodies are nowhere in it; the places
// without a header hold packed data of the header's size.
Bytes BuildAbsentBodiesImage(std::size_t megabytes, std::size_t headers, std::size_t slots);

// The dec image of one release, `copies` times, spread over `megabytes` of
// packed data (at most 600 copies, so that the dec search keeps every
// signature). Empty for a serial without a decompressor.
Bytes BuildDecBenchImage(const std::string& serial, std::size_t megabytes, std::size_t copies);

}  // namespace psxdig::tools
