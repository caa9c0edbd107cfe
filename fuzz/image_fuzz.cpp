// The disc image layer on hostile input. Selector:
//   0: CUE sheet text;
//   1: kind detection and the logical stream of whatever the detector says,
//      then the file map;
//   2: a forced kind (next byte) and first LBA (next byte), then the file map;
//   3: the sector walk: XA streams of a forced sector layout (next byte: 2352
//      or 2336 bytes, a RIFF start), or of what the sector-file detector says;
//   4: a VAG header at the start (limit: next two bytes) and its decoding;
//   5: one XA sector's audio decoded with the next byte as its coding byte.
// Checks that the stream maps back to the image byte for byte and that the
// file map only names sectors the image has, with clean paths.
#include <string>

#include "fuzz.h"
#include "image/disc_image.h"
#include "streams/streams.h"

namespace {

using namespace psxdig;

void CheckCue(ByteSpan text) {
  std::string error;
  const auto sheet = ParseCue(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), error);
  if (!sheet) {
    FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
    return;
  }
  FUZZ_CHECK(!sheet->tracks.empty());
  for (const auto& t : sheet->tracks) {
    FUZZ_CHECK(t.sectorSize == 2048 || t.sectorSize == 2336 || t.sectorSize == 2352 || t.sectorSize == 2448);
    FUZZ_CHECK(!t.endOffset || *t.endOffset >= t.fileOffset);
    FUZZ_CHECK(TrackBytes(text, t).size() <= text.size());
  }
  const CueTrack* data = FirstDataTrack(*sheet);
  FUZZ_CHECK(!data || (data->data && TrackImageKind(*data) != ImageKind::kPlainFile));
}

void CheckView(ByteSpan image, const LogicalView& view) {
  const ByteSpan data = view.data();
  if (view.kind() == ImageKind::kRaw2352 || view.kind() == ImageKind::kRaw2336) {
    FUZZ_CHECK(data.size() % 2048 == 0);
  }
  for (std::uint64_t l = 0; l < data.size(); l += 509) {
    const std::uint64_t at = view.ImageOffset(l);
    FUZZ_CHECK(at < image.size() && image[at] == data[l]);
    const std::uint32_t lba = view.Lba(l);
    if (view.kind() == ImageKind::kPlainFile || lba == LogicalView::kNoLba) continue;
    const ByteSpan sector = view.SectorAt(lba);
    if (data.size() - (l - l % 2048) >= 2048) FUZZ_CHECK(sector.size() == 2048 && sector[l % 2048] == data[l]);
  }
}

void CheckMap(const LogicalView& view) {
  const FileMap map = ReadFileMap(view);
  std::uint32_t last = 0;
  for (const auto& f : map.files) {
    FUZZ_CHECK(f.lba >= last);
    last = f.lba;
    FUZZ_CHECK(!f.path.empty() && f.path.front() != '/' && f.path.back() != '/');
    FUZZ_CHECK(f.path.find("//") == std::string::npos && f.path.find('\\') == std::string::npos);
    FUZZ_CHECK(f.path != ".." && f.path.rfind("../", 0) != 0 && f.path.find("/../") == std::string::npos &&
               f.path.find("/./") == std::string::npos);
    if (f.size == 0) continue;
    FUZZ_CHECK(std::uint64_t{f.lba} + (f.size + 2047) / 2048 <= view.lbaEnd());
    const DiscLocation at = map.Locate(f.lba, 0);
    FUZZ_CHECK(at.file && at.offsetInFile < at.file->size);
  }
}

void View(ByteSpan image, ImageKind kind, std::uint32_t firstLba) {
  const LogicalView view = BuildLogicalView(image, kind, firstLba);
  CheckView(image, view);
  CheckMap(view);
}

void Cue(psxdig::fuzz::Params& p) { CheckCue(p.Rest()); }
void Detected(psxdig::fuzz::Params& p) { View(p.Rest(), DetectImageKind(p.Rest()), 0); }
// Parameters: kind, first LBA.
void Forced(psxdig::fuzz::Params& p) {
  const auto kind = static_cast<ImageKind>(p.U8() % 4);
  const std::uint32_t firstLba = p.U8();
  View(p.Rest(), kind, firstLba);
}

// Every stream lies in the image, in disc order, and decodes to the
// samples its sectors promise.
void Sectors(psxdig::fuzz::Params& p) {
  const std::uint8_t choice = p.U8();
  const ByteSpan image = p.Rest();
  std::optional<SectorLayout> layout = DetectSectorFile(image);
  if (choice % 4 != 3) layout = SectorLayout{choice % 4 == 2 ? 44u : 0u, choice % 2 ? 2336u : 2352u, choice};
  if (!layout) return;
  const streams::XaScan scan = streams::ScanXaStreams(image, *layout, FileMap{});
  for (const auto& st : scan.streams) {
    FUZZ_CHECK(!st.audio.empty() && st.firstLba <= st.lastLba && st.channel < 32);
    streams::XaHistory history;
    std::vector<std::int16_t> pcm;
    for (const std::uint64_t at : st.audio) {
      FUZZ_CHECK(HasBytes(image, at, streams::kXaAudioBytes));
      streams::DecodeXaSector(image.subspan(at, streams::kXaAudioBytes), st.coding, history, pcm);
    }
    FUZZ_CHECK(pcm.size() == st.audio.size() * st.coding.SamplesPerSector() * st.coding.channels);
  }
}

void Vag(psxdig::fuzz::Params& p) {
  const std::uint32_t limit = p.U16();
  const ByteSpan data = p.Rest();
  std::string why;
  const auto h = streams::ReadVagHeader(data, 0, limit, &why);
  FUZZ_CHECK(h || !why.empty());
  if (!h) return;
  FUZZ_CHECK(h->extent >= streams::kVagHeaderBytes && h->extent <= std::min<std::uint64_t>(limit, data.size()));
  const streams::VagPcm pcm = streams::DecodeVag(data.first(h->extent), *h);
  FUZZ_CHECK(pcm.left.pcm.size() <= h->extent / 16 * 28 && pcm.right.pcm.size() <= h->extent / 16 * 28);
}

void XaPayload(psxdig::fuzz::Params& p) {
  const auto coding = streams::ReadXaCoding(p.U8());
  if (!coding) return;
  streams::XaHistory history;
  std::vector<std::int16_t> pcm;
  streams::DecodeXaSector(p.Rest(), *coding, history, pcm);
  FUZZ_CHECK(pcm.size() == (p.Rest().size() >= streams::kXaAudioBytes ? coding->SamplesPerSector() * coding->channels : 0));
}

constexpr psxdig::fuzz::Parser kParsers[] = {Cue, Detected, Forced, Sectors, Vag, XaPayload};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return psxdig::fuzz::Dispatch(kParsers, data, size);
}
