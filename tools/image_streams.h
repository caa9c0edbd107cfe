// A disc carrying every sound family that is not sequenced music: VAG files
// (whole, inside an archive, with a size field that claims too much, and an
// interleaved stereo one), XA-ADPCM files of several interleaved channels in
// every coding (an encoder of its own) with filler sectors between, and two
// CD-DA tracks in files of their own with stored pregaps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_audio.h"
#include "image_disc.h"

namespace psxdig::tools {

// One Form 2 sector of an XA file: subheader (file, channel, submode,
// coding) and 2324 bytes of data.
struct XaSector {
  std::uint8_t sub[4];
  Bytes data;
};

// A channel of an XA file: its coding byte and what the console's decoder
// gives for it (interleaved left, right when stereo).
struct XaChannel {
  std::uint8_t channel;
  std::uint8_t coding;
  Pcm decoded;
  std::uint32_t sectors = 0;
};

struct XaFile {
  std::string path;            // on the disc
  std::uint8_t fileNumber;
  std::vector<XaChannel> channels;
  std::vector<XaSector> sectors;  // in disc order, fillers included
};

// A VAG planted in a disc file.
struct VagPlanted {
  std::string path;
  std::uint32_t ofs;
  std::uint32_t size;      // bytes of the item extract writes
  std::uint32_t rate;
  std::uint32_t channels;
  std::string name;
  bool sizeFieldTooLarge;
};

struct StreamsDisc {
  std::vector<IsoEntry> files;   // XA files as placeholders of their sector count
  std::vector<XaFile> xa;
  std::vector<VagPlanted> vags;
  std::vector<Bytes> audioTracks;  // the PCM of tracks 2 and 3 (from INDEX 01)
};

// The disc, the same every time.
StreamsDisc BuildStreamsDisc();

// Writes the disc's files under `folder` (for genisoimage).
bool WriteStreamsFolder(const std::string& folder);

// From the ISO genisoimage made of that folder (whose XA files' directory
// records are given the attributes 0x3D55 and their file number, in place): <bin> (raw sectors, the XA
// files' sectors as Form 2), <stem>_02.bin and <stem>_03.bin (audio, each
// behind a 2-second pregap), <stem>.cue, and beside them the first XA file
// as it is taken from discs: MUSIC.XA (2336-byte sectors), MUSIC.STR (raw
// 2352-byte sectors) and MUSIC.CDXA (RIFF "CDXA").
bool WriteStreamsRaw(const std::string& isoPath, const std::string& binPath);

// Benchmark images: the disc-like mix of BuildMixedBenchImage as raw
// 2352-byte sectors (the same stream of file data as the plain image), and
// an XA-heavy raw image of `megabytes` whose Form 2 sectors carry eight
// interleaved 4-bit stereo channels with a data sector every ninth.
Bytes BuildRawBenchImage(std::size_t megabytes);
Bytes BuildXaBenchImage(std::size_t megabytes);

}  // namespace psxdig::tools
