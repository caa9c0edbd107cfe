// 16-bit PCM WAV files: renders, decoded streams and CD-DA tracks.
#include "convert/pcm_wav.h"

namespace psxdig::convert {
namespace {

void PutLE(std::vector<std::uint8_t>& b, std::uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

void PutText(std::vector<std::uint8_t>& b, const char* text) {
  for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(text[k]));
}

}  // namespace

std::vector<std::uint8_t> WavHeader(std::uint32_t rate, std::uint32_t channels, std::uint64_t dataBytes) {
  const std::uint32_t data = dataBytes > 0xFFFFFFD3u ? 0xFFFFFFD2u : static_cast<std::uint32_t>(dataBytes);
  std::vector<std::uint8_t> h;
  PutText(h, "RIFF");
  PutLE(h, 36 + data, 4);
  PutText(h, "WAVE");
  PutText(h, "fmt ");
  PutLE(h, 16, 4);
  PutLE(h, 1, 2);
  PutLE(h, channels, 2);
  PutLE(h, rate, 4);
  PutLE(h, rate * channels * 2, 4);
  PutLE(h, channels * 2, 2);
  PutLE(h, 16, 2);
  PutText(h, "data");
  PutLE(h, data, 4);
  return h;
}

std::vector<std::uint8_t> PcmToWav(const std::vector<std::int16_t>& pcm, std::uint32_t rate, std::uint32_t channels) {
  std::vector<std::uint8_t> wav = WavHeader(rate, channels, pcm.size() * 2);
  wav.reserve(wav.size() + pcm.size() * 2);
  for (const std::int16_t v : pcm) PutLE(wav, static_cast<std::uint16_t>(v), 2);
  return wav;
}

}  // namespace psxdig::convert
