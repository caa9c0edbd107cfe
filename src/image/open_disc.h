// An input opened as a disc: a CUE sheet with every track file it names, or
// one file taken as a disc image (or as plain data). The files are mapped,
// not read; the tracks are views into them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/mapped_input.h"
#include "image/disc_image.h"

namespace psxdig {

struct DiscTrack {
  std::uint32_t number = 0;       // 0 for an input that is not a CUE sheet
  bool data = true;
  ImageKind kind = ImageKind::kPlainFile;  // of a data track
  std::string path;               // its file
  ByteSpan bytes;                 // from INDEX 01 to the track's end, as far as the file holds it
  std::uint64_t fileOffset = 0;   // where `bytes` begins in the file
  std::uint32_t lba = 0;          // disc address of INDEX 01
  std::uint64_t missingBytes = 0; // bytes the sheet places in the track that the file lacks
  std::string problem;            // why the track could not be read (whole or in part)
};

struct OpenedDisc {
  bool fromSheet = false;
  std::vector<std::unique_ptr<MappedInput>> files;
  std::vector<DiscTrack> tracks;
  // The track whose file data is searched: the first data track, or null.
  const DiscTrack* dataTrack() const;
};

// Opens `input`: a path ending in ".cue" is read as a CUE sheet (its track
// files found beside it), anything else is one data track of the kind its
// content shows. False with `error` set when the input itself (the sheet or
// the file) cannot be read; a track file of a sheet that cannot be read
// only sets that track's `problem`.
bool OpenDisc(const std::string& input, OpenedDisc& disc, std::string& error);

// "mm:ss:ff" of a disc address (the 150 sectors before LBA 0 counted).
std::string MsfText(std::uint64_t lba);
// "mm:ss:ff" of a length in sectors.
std::string DurationText(std::uint64_t sectors);

}  // namespace psxdig
