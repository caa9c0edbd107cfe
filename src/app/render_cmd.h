// The render command: a sequence played with its sound bank as the console
// plays it, into WAV (or FLAC) files; and the renders extract --render makes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "render/render.h"

namespace psxdig {

// argv[1] is "render". Returns the process exit code: 0 when every sequence
// was rendered, 1 when any failed, 2 for a bad command line.
int RunRender(int argc, const char* const* argv);

// One encoded render: `suffix` goes behind the sequence file's base name
// (".wav", or "_<sequence id>.wav" for each sequence of a SEP; ".flac").
struct RenderedFile {
  std::string suffix;
  std::vector<std::uint8_t> bytes;
  std::uint32_t sequenceId = 0;
  double seconds = 0;
  bool capped = false;
  std::vector<std::string> warnings;
};

// Renders every sequence of a SEQ/SEP file with `bank`, handing each file
// to `take` as soon as it is made. Returns an error line (empty when every
// sequence rendered); sequences before a failure are still handed over.
std::string RenderSequenceFile(ByteSpan file, const render::PlayableBank& bank, const render::RenderSettings& settings,
                               bool flac, const std::function<void(RenderedFile&&)>& take);

}  // namespace psxdig
