// The extract command's output: every item in one output folder, named by
// where it came from ("<disc path>@<hex offset in that file>.<ext>" in
// folders that mirror the disc, or "@<hex image offset>.<ext>" outside any
// file), byte-identical items written once, and a record of every item for
// the listings.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "compare/content_index.h"
#include "core/output_policy.h"

namespace psxdig {

// Where an item of the logical stream lies on the disc.
struct ItemPlace {
  std::string discPath;           // empty outside every file (or without a file system)
  std::uint64_t offsetInFile = 0;
  std::uint64_t imageOffset = 0;  // of the item's first byte in the image file
  bool straddles = false;         // its last byte lies in another file (or in none)
};

// Tells the place of an item by its logical offset and size.
using ItemLocator = std::function<ItemPlace(std::uint64_t logicalOfs, std::uint64_t size)>;

// What listing.json says of a sound that is not a sequence or bank item: a
// VAG sample, an XA stream or a CD-DA track.
struct AudioFacts {
  std::uint32_t rate = 0;
  std::uint32_t channels = 0;
  std::string note;               // what did not fit (a size field, a cut track)
  // VAG
  std::string name;
  std::uint32_t version = 0;
  std::uint64_t sizeField = 0;
  std::uint64_t dataPresent = 0;
  // XA
  std::uint32_t fileNumber = 0, channel = 0;
  std::string coding;
  std::uint64_t sectors = 0;      // XA sectors or CD-DA sectors
  double seconds = 0;
  std::int64_t firstSector = 0, lastSector = 0;
  bool eof = false;
  // CD-DA
  std::uint32_t track = 0;
  std::string start, length;      // mm:ss:ff
  std::string trackFile;
};

struct ExtractedItem {
  const char* kind = "";        // "sequence", "header", "body", "sample", "xa" or "cdda"
  std::string ext;              // ".seq", ".vh", ".vb", ...
  std::uint32_t index = 0;      // index in its class (a body: its bank's)
  std::string output;           // file in the output folder; empty for a duplicate
  ItemPlace place;
  std::uint64_t logicalOffset = 0;
  std::uint64_t size = 0;       // bytes of the stream, without padding
  std::uint32_t padding = 0;    // zero bytes the writer appended
  std::uint64_t xxh64 = 0;      // of the file's contents, padding included
  std::string duplicateOf;      // a duplicate: the file holding its bytes
  std::string header;           // a body: the file holding its header
  // A body: where it lies from its header ("after its header", "before its
  // header", "in another file"), and whether only the wider end test took it.
  const char* placeOfBody = "";
  bool trailingBlockEnd = false;
  const char* recognisedAs = "";
  std::uint32_t seqCount = 0;   // a SEP: the sequences in it
  // With --convert: the files made from the item, what went wrong, and for a
  // sequence the SoundFont it plays with and why that one.
  std::vector<std::string> converted;
  std::string convertError;
  std::string soundFont;
  std::string pairing;
  // With --render: for a sequence the files rendered from it with their
  // length (and whether the 30-minute cap cut them), the bank header it
  // played with, or why it was not rendered.
  struct Render {
    std::string file;
    double seconds = 0;
    bool capped = false;
  };
  std::vector<Render> rendered;
  std::string renderBank;
  std::string renderError;
  AudioFacts audio;             // kind "sample", "xa" or "cdda"
};

// A disc path made safe to use below the output folder: every component that
// is empty, "." or ".." or holds other bytes than letters, digits and
// "._-~" has them replaced by "_", so no name reaches outside the folder.
std::string SafeDiscPath(std::string_view discPath);

// The output name of an item: "<safe disc path>@<hex offset in file><ext>",
// or "@<hex image offset><ext>" when the item lies in no file.
std::string ItemFileName(const ItemPlace& place, std::string_view ext);

class FolderOutput : public OutputPolicy {
 public:
  FolderOutput(std::string folder, ItemLocator locate)
      : folder_(std::move(folder)), locate_(std::move(locate)) {}
  bool WriteItem(const ItemToWrite& item) override;
  const std::vector<ExtractedItem>& items() const { return items_; }
  // Files written (duplicates are not).
  std::size_t filesWritten() const { return files_; }
  // Items whose file could not be written (reported by their writer).
  std::size_t failures() const { return failures_; }

 private:
  std::string UniqueName(std::string name);
  bool WriteFile(const std::string& name, const ItemToWrite& item);
  bool MakeFolders(const std::string& name);

  std::string folder_;
  ItemLocator locate_;
  std::vector<ExtractedItem> items_;
  ContentIndex contents_;
  std::set<std::string> names_;                 // output names taken
  std::set<std::string> folders_;               // sub-folders made
  std::map<std::uint32_t, std::size_t> headers_;  // bank index -> its header's record
  std::size_t files_ = 0;
  std::size_t failures_ = 0;
};

}  // namespace psxdig
