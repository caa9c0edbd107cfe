// The sounds of a disc that are not sequenced music: single samples with a
// VAG header, XA-ADPCM audio sectors grouped into streams, and the facts of
// both. Pure functions over byte spans; the caller writes the files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/adpcm.h"
#include "core/bytes.h"
#include "image/disc_image.h"

namespace psxdig::streams {

// ---- VAG ----------------------------------------------------------------

inline constexpr std::uint32_t kVagHeaderBytes = 48;
// A "VAGi" file's channel data starts after a header block of this size.
inline constexpr std::uint32_t kVagiDataStart = 0x800;

struct VagHeader {
  bool interleaved = false;       // "VAGi"
  std::uint32_t version = 0;
  std::uint32_t sizeField = 0;    // bytes of ADPCM data the header claims
  std::uint32_t rate = 0;
  std::uint32_t interleave = 0;   // VAGi: bytes of one channel's block
  std::uint32_t channels = 1;
  std::string name;               // printable ASCII, NUL padding dropped
  std::uint64_t dataStart = kVagHeaderBytes;
  std::uint64_t extent = 0;       // header + data, cut at the end of the bytes given
  bool layoutSane = true;         // VAGi: interleave and channel count usable
};

// The VAG header at `at`, when the bytes there pass the recognition rules
// (magic, version below 0x100, size a non-zero multiple of 16, rate 1000 ..
// 192000, a first ADPCM block with shift <= 12 and filter <= 4). `limit` is
// where the data must end (the end of the disc file holding it); the extent
// is cut there. Otherwise nothing, and `why` says what failed when the magic
// was there.
std::optional<VagHeader> ReadVagHeader(ByteSpan data, std::uint64_t at, std::uint64_t limit,
                                       std::string* why = nullptr);

// Offsets of every "VAGp" and "VAGi" magic in `data`.
std::vector<std::uint64_t> FindVagMagics(ByteSpan data);

// A decoded VAG: interleaved 16-bit PCM.
struct VagPcm {
  convert::DecodedSample left;  // the only channel of a VAGp
  convert::DecodedSample right; // VAGi stereo
  std::uint32_t channels = 1;
};

// Decodes a VAG whose header is `header` and whose bytes (header included)
// are `file`: min(size field, bytes present) in whole 16-byte blocks, up to
// the end flag as bank samples are.
VagPcm DecodeVag(ByteSpan file, const VagHeader& header);

// ---- XA-ADPCM -----------------------------------------------------------

inline constexpr std::uint32_t kXaGroups = 18;
inline constexpr std::uint32_t kXaGroupBytes = 128;
inline constexpr std::uint32_t kXaAudioBytes = kXaGroups * kXaGroupBytes;  // 2304

// The coding byte of an audio sector's subheader.
struct XaCoding {
  std::uint32_t channels = 1;
  std::uint32_t rate = 37800;
  std::uint32_t bits = 4;
  bool emphasis = false;
  // Samples per channel one sector gives.
  std::uint32_t SamplesPerSector() const { return (bits == 4 ? 4032u : 2016u) / channels; }
};

// Nothing when a field holds a reserved value.
std::optional<XaCoding> ReadXaCoding(std::uint8_t coding);

// "4-bit stereo 37800 Hz"
std::string XaCodingText(const XaCoding& coding);

// Decodes the 18 sound groups of one sector's audio data (at least 2304
// bytes; fewer give nothing) and appends the samples (left, right for
// stereo). The filter history carries on in `history` from sector to sector.
struct XaHistory {
  int h1[2] = {0, 0};
  int h2[2] = {0, 0};
};
void DecodeXaSector(ByteSpan audio, const XaCoding& coding, XaHistory& history,
                    std::vector<std::int16_t>& out);

// One XA stream: the audio sectors of one (file number, channel) inside one
// disc file (or outside every file), in disc order.
struct XaStream {
  std::uint8_t fileNumber = 0;
  std::uint8_t channel = 0;
  std::uint8_t codingByte = 0;
  XaCoding coding;
  const DiscFile* discFile = nullptr;     // null outside every file
  std::uint64_t offsetInFile = 0;         // of its first sector, 2048 bytes a sector
  std::uint64_t imageOffset = 0;          // of its first sector's first byte
  std::int64_t firstLba = 0, lastLba = 0;
  bool eof = false;                       // an end-of-file flag closed it
  std::vector<std::uint64_t> audio;       // image offset of each sector's 2304 audio bytes
  double Seconds() const {
    return static_cast<double>(audio.size()) * coding.SamplesPerSector() / coding.rate;
  }
};

struct XaScan {
  std::vector<XaStream> streams;
  std::vector<std::string> problems;  // one line each
};

// Walks the Mode 2 sectors of `image` and groups its audio sectors into
// streams. A stream ends at a sector with the end-of-file flag or where its
// coding changes (the rest starts a new stream). Sectors with reserved
// coding values are left out; subheader copies that disagree are counted.
XaScan ScanXaStreams(ByteSpan image, const SectorLayout& layout, const FileMap& map);

}  // namespace psxdig::streams
