// Disc images for tests: raw CD sectors (sync, address, XA subheader, EDC and
// ECC), a 2048-byte ISO wrapped into raw 2352 or 2336-byte sectors with its
// CUE sheet, a small ISO 9660 tree built in memory, and a folder of sound
// files to be made into a real ISO by genisoimage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_builder.h"

namespace psxdig::tools {

// The sector error detection code (32-bit CRC, polynomial 0x8001801B,
// least significant bit first) of a byte range.
std::uint32_t SectorEdc(const std::uint8_t* data, std::size_t size);

enum class SectorMode { kMode1, kForm1, kForm2 };

// One raw 2352-byte sector at an LBA. `data` holds 2048 bytes (Mode 1, Form 1)
// or 2324 bytes (Form 2); `submode` is the XA subheader's submode (Form 2
// sets bit 5 itself); `file`, `channel` and `coding` fill the rest of it.
Bytes MakeRawSector(std::uint32_t lba, SectorMode mode, const std::uint8_t* data,
                    std::uint8_t submode = 0x08, std::uint8_t file = 0, std::uint8_t channel = 0,
                    std::uint8_t coding = 0);

// A 2048-byte image as raw Mode 2 Form 1 sectors from LBA 0: 2352 bytes a
// sector, or 2336 (the raw sector without sync and header). The last
// sector's submode carries end of record and end of file.
Bytes WrapIso(const Bytes& iso, bool sectors2336 = false);

// The CUE sheet of a one-track image made by WrapIso.
std::string CueFor(const std::string& binName, bool sectors2336 = false);

// A file of a small ISO 9660 tree: "NAME.EXT" in the root or "DIR/NAME.EXT"
// one folder deep.
struct IsoEntry {
  std::string path;
  Bytes data;
};

// Where BuildSmallIso put a file.
struct IsoPlaced {
  std::string path;
  std::uint32_t lba;
  std::uint32_t size;
};

// A 2048-byte ISO 9660 image with the CD-ROM XA records: system area,
// primary volume descriptor, terminator, root directory at LBA 18, one
// sector per subfolder, then the files in the order given.
Bytes BuildSmallIso(const std::vector<IsoEntry>& entries, std::vector<IsoPlaced>* placed = nullptr);

// One item in a generated disc folder.
struct DiscItem {
  std::string path;    // "SOUND/BGM.SEQ"
  std::uint32_t ofs;   // offset inside that file
  std::uint32_t size;
  std::string ext;     // ".seq", ".sep", ".vh", ".vb"
  std::string note;
};

// The files of a disc as (path, bytes): a boot configuration, a sequence
// that is a file of its own, a VAB header and its body in two files, a VAB
// with its body in one file, and an archive holding a sequence, a bundle and
// a VAB bank across sector boundaries. Items are reported with their files.
std::vector<IsoEntry> BuildDiscFiles(std::vector<DiscItem>* items = nullptr);

// Writes BuildDiscFiles under `folder` (created as needed). False on failure.
bool WriteDiscFolder(const std::string& folder, std::vector<DiscItem>* items = nullptr);

// Writes files given as (path, bytes) under `folder`, making their folders.
bool WriteFilesUnder(const std::string& folder, const std::vector<IsoEntry>& files);

}  // namespace psxdig::tools
