// extract's other sounds: VAG samples in the stream of file data, XA-ADPCM
// streams in the Form 2 sectors of the image, and the CD-DA tracks of a CUE
// sheet; each written into the output folder and listed as an item.
#include <cstdio>
#include <string>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "app/extract.h"
#include "convert/sf2.h"
#include "core/output.h"
#include "platform/platform.h"
#include "convert/pcm_wav.h"
#include "streams/streams.h"

namespace psxdig {
namespace {

constexpr std::size_t kMaxVagProblems = 20;
constexpr std::size_t kSectorsPerWrite = 64;

// A file written piece by piece into the output folder, hashed as it goes.
class PieceFile {
 public:
  PieceFile(const std::string& folder, const std::string& name) {
    XXH64_reset(&hash_, 0);
    std::string path;
    for (std::size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
      if (platform::JoinPath(folder, name.substr(0, slash), path) && !platform::IsDirectory(path)) {
        platform::MakeDirectory(path);
      }
    }
    if (platform::JoinPath(folder, name, path)) file_.reset(platform::CreateNewFile(path));
  }
  bool Write(const std::uint8_t* data, std::size_t n) {
    if (!file_ || (n > 0 && std::fwrite(data, 1, n, file_.get()) != n)) {
      ok_ = false;
      return false;
    }
    XXH64_update(&hash_, data, n);
    size_ += n;
    return true;
  }
  bool Write(const std::vector<std::uint8_t>& b) { return Write(b.data(), b.size()); }
  bool Close() { return file_ && std::fclose(file_.release()) == 0 && ok_; }
  std::uint64_t hash() { return XXH64_digest(&hash_); }
  std::uint64_t size() const { return size_; }

 private:
  FilePtr file_;
  XXH64_state_t hash_;
  std::uint64_t size_ = 0;
  bool ok_ = true;
};

bool WritePcm(PieceFile& out, const std::vector<std::int16_t>& pcm) {
  std::vector<std::uint8_t> bytes(pcm.size() * 2);
  for (std::size_t k = 0; k < pcm.size(); ++k) {
    bytes[2 * k] = static_cast<std::uint8_t>(pcm[k]);
    bytes[2 * k + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(pcm[k]) >> 8);
  }
  return out.Write(bytes);
}

void Say(const std::string& input, const std::string& line, std::vector<std::string>& problems) {
  std::fprintf(stderr, "psxdig extract: %s: %s\n", input.c_str(), line.c_str());
  problems.push_back(line);
}

// A record for a file the stream writers made.
ExtractedItem StreamItem(const char* kind, const std::string& name, PieceFile& file) {
  ExtractedItem item;
  item.kind = kind;
  item.ext = ".wav";
  item.output = name;
  item.size = file.size();
  item.xxh64 = file.hash();
  item.recognisedAs = kind == std::string_view("xa") ? "audio sectors" : "CUE sheet";
  return item;
}

// The end of the disc file holding a logical offset, in the stream (the
// stream's end outside every file).
std::uint64_t EndOfFileAt(const LogicalView& view, const FileMap& map, std::uint64_t ofs) {
  const std::uint64_t end = view.data().size();
  if (map.files.empty()) return end;
  const DiscLocation at = map.Locate(view.Lba(ofs), static_cast<std::uint32_t>(ofs % 2048));
  if (!at.file) return end;
  return std::min(end, ofs + (at.file->size - at.offsetInFile));
}

// "SOUND/SE.VAG@1a0" (the disc path and hex offset in the file), or the
// offset in the stream outside every file.
std::string PlaceText(const LogicalView& view, const FileMap& map, std::uint64_t ofs) {
  const DiscLocation at = map.files.empty() ? DiscLocation{}
                                            : map.Locate(view.Lba(ofs), static_cast<std::uint32_t>(ofs % 2048));
  if (!at.file) return "stream offset " + std::to_string(ofs);
  ItemPlace place;
  place.discPath = at.file->path;
  place.offsetInFile = at.offsetInFile;
  return ItemFileName(place, "");
}

std::string VagNote(const streams::VagHeader& h) {
  if (h.interleaved && !h.layoutSane) {
    return "VAGi with interleave " + std::to_string(h.interleave) + " and " + std::to_string(h.channels) +
           " channels: unrecognised layout, not decoded";
  }
  const std::uint64_t present = h.extent - std::min(h.extent, h.dataStart);
  if (present >= h.sizeField) return "";
  return "the header gives " + std::to_string(h.sizeField) + " bytes of data, " + std::to_string(present) +
         " are there; decoded what is there";
}

}  // namespace

VagFinds ExtractVags(const std::string& input, const LogicalView& view, const FileMap& map, FolderOutput& output,
                     std::vector<std::string>& problems) {
  VagFinds found;
  const ByteSpan data = view.data();
  std::uint64_t taken = 0;  // magics inside a sample taken are its data
  std::size_t rejected = 0;
  for (const std::uint64_t at : streams::FindVagMagics(data)) {
    if (at < taken) continue;
    std::string why;
    const auto header = streams::ReadVagHeader(data, at, EndOfFileAt(view, map, at), &why);
    if (!header) {
      if (++rejected <= kMaxVagProblems) Say(input, "VAG magic at " + PlaceText(view, map, at) + ": " + why + "; not taken", problems);
      continue;
    }
    ItemToWrite item;
    item.input = data;
    item.ext = ".vag";
    item.index = static_cast<std::uint32_t>(found.size());
    item.ofs = at;
    item.size = header->extent;
    if (!output.WriteItem(item)) continue;
    const std::string note = VagNote(*header);
    if (!note.empty()) Say(input, "VAG at " + PlaceText(view, map, at) + ": " + note, problems);
    found.emplace(at, *header);
    taken = at + header->extent;
  }
  return found;
}

std::size_t DescribeVags(const std::string& input, const std::string& folder, ByteSpan stream, const VagFinds& vags,
                         bool convert, std::vector<ExtractedItem>& items) {
  std::size_t written = 0;
  for (ExtractedItem& item : items) {
    const auto found = item.ext == ".vag" ? vags.find(item.logicalOffset) : vags.end();
    if (found == vags.end()) continue;
    const streams::VagHeader& h = found->second;
    AudioFacts& a = item.audio;
    a.rate = h.rate;
    a.channels = h.channels;
    a.name = h.name;
    a.version = h.version;
    a.sizeField = h.sizeField;
    a.dataPresent = h.extent - std::min(h.extent, h.dataStart);
    a.note = VagNote(h);
    if (h.interleaved) item.recognisedAs = h.layoutSane ? "VAGi header" : "unrecognised VAGi";
    if (!convert || item.output.empty() || (h.interleaved && !h.layoutSane)) continue;
    const streams::VagPcm pcm = streams::DecodeVag(stream.subspan(item.logicalOffset, item.size), h);
    std::vector<std::uint8_t> wav;
    if (pcm.channels == 2) {
      std::vector<std::int16_t> both(2 * std::max(pcm.left.pcm.size(), pcm.right.pcm.size()), 0);
      for (std::size_t k = 0; k < pcm.left.pcm.size(); ++k) both[2 * k] = pcm.left.pcm[k];
      for (std::size_t k = 0; k < pcm.right.pcm.size(); ++k) both[2 * k + 1] = pcm.right.pcm[k];
      wav = convert::PcmToWav(both, h.rate, 2);
    } else {
      wav = convert::SampleToWav(pcm.left, h.rate, 60, 0);
    }
    const std::string name = item.output.substr(0, item.output.size() - 4) + ".wav";
    std::string error;
    if (!WriteNewFile(folder, name, wav, error)) {
      std::fprintf(stderr, "psxdig extract: %s: %s\n", input.c_str(), error.c_str());
      item.convertError = error;
      continue;
    }
    item.converted.push_back(name);
    ++written;
  }
  return written;
}

std::size_t WriteXaStreams(const std::string& input, const std::string& folder, ByteSpan image,
                           std::uint64_t imageStart, const SectorLayout& layout, const FileMap& map,
                           std::vector<ExtractedItem>& items, std::vector<std::string>& problems) {
  const streams::XaScan scan = streams::ScanXaStreams(image, layout, map);
  for (const std::string& line : scan.problems) Say(input, line, problems);
  std::size_t written = 0;
  for (const streams::XaStream& st : scan.streams) {
    ItemPlace place;
    place.imageOffset = imageStart + st.imageOffset;
    if (st.discFile) {
      place.discPath = st.discFile->path;
      place.offsetInFile = st.offsetInFile;
    }
    const std::string name = ItemFileName(place, "_ch" + std::to_string(st.channel) + ".wav");
    PieceFile out(folder, name);
    const std::uint64_t samples = st.audio.size() * std::uint64_t{st.coding.SamplesPerSector()} * st.coding.channels;
    bool ok = out.Write(convert::WavHeader(st.coding.rate, st.coding.channels, samples * 2));
    streams::XaHistory history;
    std::vector<std::int16_t> pcm;
    for (std::size_t k = 0; ok && k < st.audio.size(); ++k) {
      streams::DecodeXaSector(image.subspan(st.audio[k], streams::kXaAudioBytes), st.coding, history, pcm);
      if (pcm.size() >= kSectorsPerWrite * 4032 || k + 1 == st.audio.size()) {
        ok = WritePcm(out, pcm);
        pcm.clear();
      }
    }
    if (!out.Close() || !ok) {
      Say(input, "cannot write " + name + ": " + platform::ErrorText(platform::LastErrorCode()), problems);
      continue;
    }
    ExtractedItem item = StreamItem("xa", name, out);
    item.place = place;
    AudioFacts& a = item.audio;
    a.rate = st.coding.rate;
    a.channels = st.coding.channels;
    a.fileNumber = st.fileNumber;
    a.channel = st.channel;
    a.coding = streams::XaCodingText(st.coding);
    a.sectors = st.audio.size();
    a.seconds = st.Seconds();
    a.firstSector = st.firstLba;
    a.lastSector = st.lastLba;
    a.eof = st.eof;
    items.push_back(std::move(item));
    ++written;
  }
  return written;
}

std::size_t WriteCddaTracks(const std::string& input, const std::string& folder, const OpenedDisc& disc,
                            std::vector<ExtractedItem>& items, std::vector<std::string>& problems) {
  std::size_t written = 0;
  for (const DiscTrack& t : disc.tracks) {
    if (t.data) continue;
    char name[16];
    std::snprintf(name, sizeof name, "track%02u.wav", static_cast<unsigned>(t.number));
    const std::string what = "audio track " + std::to_string(t.number);
    if (!t.problem.empty()) Say(input, what + ": " + t.problem + (t.bytes.empty() ? "; not written" : "; written as far as it goes"), problems);
    if (t.bytes.empty()) continue;
    const std::uint64_t bytes = t.bytes.size() - t.bytes.size() % 4;
    PieceFile out(folder, name);
    const bool ok = out.Write(convert::WavHeader(44100, 2, bytes)) && out.Write(t.bytes.data(), bytes);
    if (!out.Close() || !ok) {
      Say(input, "cannot write " + std::string(name) + ": " + platform::ErrorText(platform::LastErrorCode()), problems);
      continue;
    }
    ExtractedItem item = StreamItem("cdda", name, out);
    item.place.imageOffset = t.fileOffset;
    AudioFacts& a = item.audio;
    a.rate = 44100;
    a.channels = 2;
    a.track = t.number;
    a.start = MsfText(t.lba);
    a.sectors = (bytes + 2351) / 2352;
    a.length = DurationText(a.sectors);
    a.seconds = static_cast<double>(bytes) / (44100.0 * 4);
    a.trackFile = platform::BaseName(t.path);
    a.note = t.problem;
    items.push_back(std::move(item));
    ++written;
  }
  return written;
}

std::string XaOnIsoNote(const LogicalView& view, const FileMap& map) {
  if (view.kind() != ImageKind::kIso2048) return "";
  std::size_t count = 0;
  std::string first;
  for (const DiscFile& f : map.files) {
    if (!f.form2) continue;
    if (count++ == 0) first = f.path;
  }
  if (count == 0) return "";
  return "a 2048-byte image cannot hold XA audio: " + std::to_string(count) +
         " files are stored in Form 2 or interleaved sectors (first: " + first +
         "); their audio is only in a raw image of the disc";
}

}  // namespace psxdig
