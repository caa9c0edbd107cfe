// The convert command: PlayStation sequences and sound banks to MIDI,
// SoundFont 2 and WAV files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace psxdig {

// The whole file; false when it cannot be read (or is a folder).
bool ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes);

// The body of a header-only bank: the file of the same base name whose
// extension is .vb in the header's letter case first, then in the other;
// empty when there is none.
std::filesystem::path FindBody(const std::filesystem::path& header);

// argv[1] is "convert". Returns the process exit code: 0 when every file
// converted, 1 when any failed, 2 for a bad command line.
int RunConvert(int argc, const char* const* argv);

}  // namespace psxdig
