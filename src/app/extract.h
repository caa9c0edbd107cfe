// The extract command: disc images (or any file) in, one output folder per
// input with every item named by where it came from, and listings.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.h"
#include "render/render.h"
#include "image/open_disc.h"
#include "rip/folder_output.h"
#include "streams/streams.h"

namespace psxdig {

// `psxdig extract IMAGE... [-o DIR] [options]`; returns the exit code: 0 when
// anything was found, 1 when nothing was, 2 on bad usage or when an input
// could not be read or written out.
int RunExtract(int argc, const char* const* argv);

// One field of an RFC 4180 CSV row: quoted (with inner quotes doubled) when
// it holds a comma, a quote, CR or LF.
std::string CsvField(std::string_view text);

// A file of the disc's file system, where it lies in the image file.
struct ListedFile {
  std::string discPath;
  std::uint64_t imageOffset = 0;  // of its first sector
  std::uint64_t size = 0;
};

// What the listings say about the input as a whole.
struct ExtractSummary {
  std::string input;       // as given on the command line
  std::string image;       // the file scanned (a CUE sheet's track file)
  std::string imageKind;   // "plain", "iso2048", "raw2352", "raw2336"
  std::string volumeId;    // empty without a file system
  std::uint64_t logicalSize = 0;
  std::uint32_t damagedSectors = 0;
  std::uint32_t truncatedBytes = 0;  // of a last sector cut short
  std::vector<std::string> fileSystemProblems;
  std::uint64_t imageSize = 0;    // bytes of the image file
  std::vector<ListedFile> files;  // the file system's files, in disc order
  std::vector<std::string> streamProblems;  // VAG headers, audio sectors, CD-DA tracks
  std::string xaNote;                       // a 2048-byte image whose files hold XA audio
};

// listing.csv: a header row, then one row per item in the order written;
// lines end in CR LF.
std::string BuildListingCsv(const std::vector<ExtractedItem>& items);
// What --convert counted per item (by index into the items): the bank
// selects (CC 0, CC 32) left out of a sequence's MIDI files.
using DroppedBankSelects = std::map<std::size_t, std::uint32_t>;

// listing.json: the summary, the tool and its version, and every item
// (a converted sequence with its "droppedBankSelect" count).
std::string BuildListingJson(const ExtractSummary& summary,
                             const std::vector<ExtractedItem>& items,
                             const DroppedBankSelects& dropped = {});

// Writes a file that must not exist yet into the output folder (a
// sub-folder of it must exist). False with `error` set on failure.
bool WriteNewFile(const std::string& folder, const std::string& name, ByteSpan bytes,
                  std::string& error);

// --convert: every sequence written into `folder` becomes MIDI, every VAB
// header with its body a SoundFont (and WAVs with `wav`), read from the
// searched `stream`; each sequence is paired with a converted bank, whose
// pitch-bend ranges its MIDI gets. The items get what was made from them
// (`dropped` the bank selects left out per sequence); a failure gets one
// line on stderr. Returns the number of files written.
std::size_t ConvertExtracted(const std::string& input, const std::string& folder, ByteSpan stream,
                             bool wav, std::vector<ExtractedItem>& items,
                             DroppedBankSelects* dropped = nullptr);

// A sequence item (.seq, .sep).
bool IsSequence(const ExtractedItem& item);
// The output name without its extension: "SOUND/BGM.SEQ@0" of "SOUND/BGM.SEQ@0.seq".
std::string Stem(const std::string& output);
// The body written for a header: the first body item naming it.
const ExtractedItem* BodyOf(const std::vector<ExtractedItem>& items, const ExtractedItem& header);

// --render: every sequence written into `folder` played with the bank it is
// paired with (among the VAB headers that have a body) into
// "<item name>.wav" (".flac" with `flac`; "<item name>_<id>.wav" for each
// sequence of a SEP). The items get what was rendered from them, or why
// nothing was; a failure gets one line on stderr. Returns the number of
// files written.
std::size_t RenderExtracted(const std::string& input, const std::string& folder, ByteSpan stream,
                            const render::RenderSettings& settings, bool flac, std::vector<ExtractedItem>& items);

// The VAG samples taken, by offset in the searched stream.
using VagFinds = std::map<std::uint64_t, streams::VagHeader>;

// Every VAG header of the searched stream (cut at the end of its disc file)
// written through `output` as a ".vag" item; a magic whose header does not
// pass gets one line (on stderr and in `problems`).
VagFinds ExtractVags(const std::string& input, const LogicalView& view, const FileMap& map, FolderOutput& output,
                     std::vector<std::string>& problems);

// Gives the ".vag" items their header facts and, with `convert`, a WAV
// decoded from the ADPCM. Returns the WAVs written.
std::size_t DescribeVags(const std::string& input, const std::string& folder, ByteSpan stream, const VagFinds& vags,
                         bool convert, std::vector<ExtractedItem>& items);

// The XA streams of an image that keeps Form 2 sectors, one WAV each named
// "<disc path>@<hex offset in file>_ch<channel>.wav" ("@<hex image
// offset>_ch<channel>.wav" outside every file); `imageStart` is where the
// image begins in its file. Returns the streams written.
std::size_t WriteXaStreams(const std::string& input, const std::string& folder, ByteSpan image,
                           std::uint64_t imageStart, const SectorLayout& layout, const FileMap& map,
                           std::vector<ExtractedItem>& items, std::vector<std::string>& problems);

// Every audio track of a CUE sheet as "track<NN>.wav" (INDEX 01 to its end).
std::size_t WriteCddaTracks(const std::string& input, const std::string& folder, const OpenedDisc& disc,
                            std::vector<ExtractedItem>& items, std::vector<std::string>& problems);

// The listing's note for a 2048-byte image whose file system has Form 2 or
// interleaved files; empty otherwise.
std::string XaOnIsoNote(const LogicalView& view, const FileMap& map);

}  // namespace psxdig
