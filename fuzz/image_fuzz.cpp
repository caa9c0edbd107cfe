// The disc image layer on hostile input. Selector:
//   0: CUE sheet text;
//   1: kind detection and the logical stream of whatever the detector says,
//      then the file map;
//   2: a forced kind (next byte) and first LBA (next byte), then the file map.
// Checks that the stream maps back to the image byte for byte and that the
// file map only names sectors the image has, with clean paths.
#include <string>

#include "fuzz.h"
#include "image/disc_image.h"

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

constexpr psxdig::fuzz::Parser kParsers[] = {Cue, Detected, Forced};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return psxdig::fuzz::Dispatch(kParsers, data, size);
}
