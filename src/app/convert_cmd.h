// The convert command: PlayStation sequences and sound banks to MIDI,
// SoundFont 2 and WAV files.
#pragma once

namespace psxdig {

// argv[1] is "convert". Returns the process exit code: 0 when every file
// converted, 1 when any failed, 2 for a bad command line.
int RunConvert(int argc, const char* const* argv);

}  // namespace psxdig
