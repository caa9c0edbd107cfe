// The picture of a sound: a min/max envelope over a 16-bit PCM WAV.
#include <algorithm>
#include <limits>

#include "report/report.h"

namespace psxdig::report {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

struct PcmData {
  std::uint32_t rate = 0;
  std::uint32_t channels = 0;
  ByteSpan samples;
};

// The format and the sample bytes of a RIFF/WAVE file of 16-bit PCM; false
// for anything else. Chunks are walked to the first "data" after "fmt ".
bool FindPcmData(ByteSpan wav, PcmData& out) {
  if (!BytesAt(wav, 0, "RIFF", 4) || !BytesAt(wav, 8, "WAVE", 4)) return false;
  bool haveFormat = false;
  for (std::uint64_t at = 12; HasBytes(wav, at, 8);) {
    const std::uint64_t size = ReadU32LE(wav, at + 4);
    const std::uint64_t body = at + 8;
    if (BytesAt(wav, at, "fmt ", 4)) {
      const std::uint16_t format = ReadU16LE(wav, body);
      out.channels = ReadU16LE(wav, body + 2);
      out.rate = ReadU32LE(wav, body + 4);
      const std::uint16_t bits = ReadU16LE(wav, body + 14);
      haveFormat = size >= 16 && HasBytes(wav, body, 16) &&
                   (format == kFormatPcm || format == kFormatExtensible) && bits == 16 &&
                   out.channels > 0 && out.rate > 0;
      if (!haveFormat) return false;
    } else if (BytesAt(wav, at, "data", 4)) {
      if (!haveFormat) return false;
      const std::uint64_t held = std::min<std::uint64_t>(size, wav.size() - body);
      out.samples = wav.subspan(body, held);
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

}  // namespace

bool WaveformOfWav(ByteSpan wav, std::size_t points, Waveform& out) {
  PcmData pcm;
  if (points == 0 || !FindPcmData(wav, pcm)) return false;
  const std::uint64_t frameBytes = 2ull * pcm.channels;
  const std::uint64_t frames = pcm.samples.size() / frameBytes;
  const std::size_t stretches = static_cast<std::size_t>(std::min<std::uint64_t>(points, frames));
  Waveform wave;
  wave.rate = pcm.rate;
  wave.channels = pcm.channels;
  wave.frames = frames;
  wave.low.assign(stretches, std::numeric_limits<std::int16_t>::max());
  wave.high.assign(stretches, std::numeric_limits<std::int16_t>::min());
  for (std::uint64_t frame = 0; frame < frames; ++frame) {
    const std::size_t k = static_cast<std::size_t>(frame * stretches / frames);
    for (std::uint32_t ch = 0; ch < pcm.channels; ++ch) {
      const auto v = static_cast<std::int16_t>(ReadU16LE(pcm.samples, frame * frameBytes + 2ull * ch));
      wave.low[k] = std::min(wave.low[k], v);
      wave.high[k] = std::max(wave.high[k], v);
    }
  }
  out = std::move(wave);
  return true;
}

}  // namespace psxdig::report
