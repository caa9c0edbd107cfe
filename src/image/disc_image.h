// Disc images as users have them: which kind of image a file is, the stream
// of file data of its data sectors, CUE sheets and the ISO 9660 file map.
// Pure functions over byte spans; nothing here writes a file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"

namespace psxdig {

enum class ImageKind {
  kPlainFile,  // not a disc image: taken as it is
  kIso2048,    // 2048 bytes a sector, user data only
  kRaw2352,    // raw sectors: sync, header, (subheader), user data, EDC/ECC
  kRaw2336,    // Mode 2 sectors without sync and header
};

// "plain", "iso2048", "raw2352", "raw2336": the names listings use.
const char* ImageKindName(ImageKind kind);

// Bytes one sector of the kind takes in the image (0 for a plain file).
std::uint32_t SectorSize(ImageKind kind);

// Tells the kind by content. A data file that merely holds a sync pattern
// somewhere is a plain file: many sectors, their addresses and modes must agree.
ImageKind DetectImageKind(ByteSpan image);

// The file data of an image as one stream: the 2048 user bytes of every data
// sector (Mode 1, Mode 2 Form 1) in image order; Form 2 sectors (XA audio,
// video) and sectors without data are left out. For a plain file and a
// 2048-byte image the stream is the image itself, not a copy.
class LogicalView {
 public:
  LogicalView() = default;
  ImageKind kind() const { return kind_; }
  ByteSpan data() const { return gathered_ ? ByteSpan(storage_) : image_; }
  // Image offset of a logical offset (equal for plain files and 2048 images).
  std::uint64_t ImageOffset(std::uint64_t logical) const;
  // Disc sector number (LBA) holding a logical offset; for a plain file the
  // offset / 2048. kNoLba for a sector before LBA 0 (a stored track pregap).
  std::uint32_t Lba(std::uint64_t logical) const;
  // The 2048 user bytes of the data sector at an LBA, empty when the image
  // has no such data sector (none for a plain file).
  ByteSpan SectorAt(std::uint32_t lba) const;
  // The disc addresses the image covers, whole sectors of every kind (Form 2
  // included): [firstLba(), lbaEnd()). Both 0 for a plain file.
  std::uint32_t firstLba() const;
  std::uint32_t lbaEnd() const;
  // Sectors whose sync, header or mode did not fit (kept out of the stream),
  // a cut last sector included. Sectors without sync at the end of a raw
  // image (audio tracks behind the data track) are not counted.
  std::uint32_t damagedSectors() const { return damaged_; }
  // Bytes of a last sector cut short (dropped from the stream), 0 if none.
  std::uint32_t truncatedBytes() const { return truncated_; }
  // The address of the image's first sector (below 0 with a stored pregap).
  std::int64_t firstSectorLba() const { return firstLba_; }

  static constexpr std::uint32_t kNoLba = 0xFFFFFFFFu;

 private:
  friend LogicalView BuildLogicalView(ByteSpan image, ImageKind kind, std::uint32_t firstLba);
  void Gather();
  ImageKind kind_ = ImageKind::kPlainFile;
  bool gathered_ = false;                   // the stream is storage_, not the image
  std::vector<std::uint8_t> storage_;       // the stream when it had to be gathered
  std::vector<std::uint64_t> dataOffset_;   // logical sector -> image offset of its user data
  std::int64_t firstLba_ = 0;               // LBA of the image's first sector (< 0: pregap stored)
  ByteSpan image_;
  std::uint32_t damaged_ = 0;
  std::uint32_t truncated_ = 0;
};

// Builds the stream of an image of a known kind. firstLba is the disc address
// of the image's first sector (from a CUE sheet's track start; 0 otherwise);
// a raw 2352 image takes it from its sector headers instead. Image offsets
// are counted from the start of `image`: for a track cut out of its file by
// TrackBytes, add the track's fileOffset to get the offset in the file.
LogicalView BuildLogicalView(ByteSpan image, ImageKind kind, std::uint32_t firstLba = 0);

// One track of a CUE sheet.
struct CueTrack {
  std::string file;            // as the sheet names it (relative to the sheet)
  std::uint32_t number = 0;
  std::string type;            // MODE2/2352, MODE1/2048, AUDIO...
  std::uint32_t sectorSize = 0;
  bool data = false;           // not AUDIO
  std::uint64_t fileOffset = 0;  // byte offset of INDEX 01 in its file
  std::optional<std::uint64_t> endOffset;  // where the next track of the same file starts
  std::uint32_t pregap = 0;    // sectors of a PREGAP the file does not hold
  std::uint32_t storedPregap = 0;  // sectors from INDEX 00 to INDEX 01 inside the file
};

struct CueSheet {
  std::vector<CueTrack> tracks;
};

// Parses a CUE sheet. On failure returns nothing and sets `error` to one line
// saying what is wrong (line number included where there is one).
std::optional<CueSheet> ParseCue(std::string_view text, std::string& error);

// The first data track of a sheet, or null when it has none.
const CueTrack* FirstDataTrack(const CueSheet& sheet);

// The image kind a data track's type stands for (kPlainFile for AUDIO).
ImageKind TrackImageKind(const CueTrack& track);

// The bytes of a track inside the bytes of its file: from INDEX 01 up to the
// next track of the file (or the end), clipped to the file.
ByteSpan TrackBytes(ByteSpan file, const CueTrack& track);

// One file of the disc's ISO 9660 tree.
struct DiscFile {
  std::string path;          // "SOUND/BGM.DAT", no leading slash, no ";1"
  std::uint32_t lba = 0;     // first sector
  std::uint64_t size = 0;    // bytes, as the directory record states
  bool form2 = false;        // XA interleaved / Form 2 file
};

// Where a logical offset lies on the disc.
struct DiscLocation {
  const DiscFile* file = nullptr;  // null outside every file
  std::uint64_t offsetInFile = 0;
};

struct FileMap {
  std::string volumeId;
  std::vector<DiscFile> files;         // sorted by lba
  std::vector<std::string> problems;   // records skipped, loops cut, extents out of range
  // The file holding a disc sector and the byte offset inside the file.
  DiscLocation Locate(std::uint32_t lba, std::uint32_t offsetInSector) const;
};

// Reads the primary volume descriptor and walks every directory through the
// view's sectors. No file system (or an unreadable one) gives an empty map.
FileMap ReadFileMap(const LogicalView& view);

// How the Mode 2 sectors of an image that keeps them lie: raw 2352-byte
// sectors (sync and header first) or 2336-byte ones (subheader first),
// from `start` (44 in a RIFF "CDXA" file).
struct SectorLayout {
  std::uint64_t start = 0;
  std::uint32_t sectorSize = 0;
  std::int64_t firstLba = 0;  // address of the first sector
};

// The layout of a raw 2352 or 2336 image as the view reads it; nothing for a
// 2048-byte image or a plain file.
std::optional<SectorLayout> Mode2Layout(const LogicalView& view);

// A file that is not a disc image but a run of Mode 2 sectors: a RIFF "CDXA"
// file (2352-byte sectors after 44 bytes), whole raw sectors starting with
// the sync pattern, or a file of 2336-byte sectors whose subheader copies
// match and that holds a Form 2 sector (an ".XA" file taken from a disc).
std::optional<SectorLayout> DetectSectorFile(ByteSpan file);

// One Mode 2 sector as the sector walk sees it.
struct Mode2Sector {
  std::uint64_t imageOffset = 0;  // of its first byte
  std::int64_t lba = 0;
  std::uint8_t sub[4] = {};       // file, channel, submode, coding (first copy)
  bool copiesDisagree = false;    // the copy differs beyond the end-of-file bit
  std::uint64_t dataOffset = 0;   // image offset of the user data after the subheader
  std::uint32_t dataBytes = 0;    // user bytes present (2324 for a whole Form 2 sector)
};

// Calls `visit` for every Mode 2 sector with a subheader: in a 2352 layout
// only sectors with the sync pattern and mode 2. Returns the number of
// sectors walked.
std::uint64_t WalkMode2Sectors(ByteSpan image, const SectorLayout& layout,
                               const std::function<void(const Mode2Sector&)>& visit);

}  // namespace psxdig
