// FLAC files of rendered music, through libFLAC when the build has it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace psxdig {

// False when this build has no FLAC encoder.
bool FlacAvailable();

// 16-bit stereo 44100 Hz FLAC of interleaved PCM; false with `error` set
// when the encoder fails or is not built in.
bool EncodeFlac(const std::vector<std::int16_t>& pcm, std::vector<std::uint8_t>& out, std::string& error);

}  // namespace psxdig
