#include "app/flac_encode.h"

#ifdef PSXDIG_HAVE_FLAC
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cstring>
#include <memory>
#endif

namespace psxdig {

#ifdef PSXDIG_HAVE_FLAC
namespace {

// The encoder writes into memory and seeks back to complete its stream info.
struct MemoryStream {
  std::vector<std::uint8_t>& bytes;
  std::size_t pos = 0;
};

FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], std::size_t n,
                                     std::uint32_t, std::uint32_t, void* data) {
  auto* s = static_cast<MemoryStream*>(data);
  if (s->bytes.size() < s->pos + n) s->bytes.resize(s->pos + n);
  std::memcpy(s->bytes.data() + s->pos, buffer, n);
  s->pos += n;
  return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* data) {
  auto* s = static_cast<MemoryStream*>(data);
  if (offset > s->bytes.size()) return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
  s->pos = static_cast<std::size_t>(offset);
  return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* data) {
  *offset = static_cast<MemoryStream*>(data)->pos;
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

struct EncoderDeleter {
  void operator()(FLAC__StreamEncoder* e) const { FLAC__stream_encoder_delete(e); }
};

}  // namespace

bool FlacAvailable() { return true; }

bool EncodeFlac(const std::vector<std::int16_t>& pcm, std::vector<std::uint8_t>& out, std::string& error) {
  out.clear();
  std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> encoder(FLAC__stream_encoder_new());
  MemoryStream stream{out};
  const bool set = encoder && FLAC__stream_encoder_set_channels(encoder.get(), 2) &&
                   FLAC__stream_encoder_set_bits_per_sample(encoder.get(), 16) &&
                   FLAC__stream_encoder_set_sample_rate(encoder.get(), 44100) &&
                   FLAC__stream_encoder_set_compression_level(encoder.get(), 5) &&
                   FLAC__stream_encoder_set_total_samples_estimate(encoder.get(), pcm.size() / 2);
  if (!set || FLAC__stream_encoder_init_stream(encoder.get(), Write, Seek, Tell, nullptr, &stream) !=
                  FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    error = "the FLAC encoder cannot be set up";
    return false;
  }
  constexpr std::size_t kFrames = 4096;
  std::vector<FLAC__int32> block(2 * kFrames);
  for (std::size_t at = 0; at < pcm.size(); at += 2 * kFrames) {
    const std::size_t n = std::min(pcm.size() - at, 2 * kFrames);
    std::copy_n(pcm.begin() + static_cast<std::ptrdiff_t>(at), n, block.begin());
    if (!FLAC__stream_encoder_process_interleaved(encoder.get(), block.data(), static_cast<std::uint32_t>(n / 2))) {
      error = std::string("FLAC encoding failed: ") +
              FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(encoder.get())];
      return false;
    }
  }
  if (!FLAC__stream_encoder_finish(encoder.get())) {
    error = "FLAC encoding failed at the end of the stream";
    return false;
  }
  return true;
}

#else

bool FlacAvailable() { return false; }

bool EncodeFlac(const std::vector<std::int16_t>&, std::vector<std::uint8_t>& out, std::string& error) {
  out.clear();
  error = "this build of psxdig has no FLAC encoder (built without libFLAC): write WAV instead";
  return false;
}

#endif

}  // namespace psxdig
