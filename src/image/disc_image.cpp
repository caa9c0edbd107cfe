// Image kinds by content and the logical stream of file data.
#include <algorithm>
#include <optional>

#include "image/disc_image.h"

namespace psxdig {

namespace {

constexpr std::uint32_t kUserBytes = 2048;
constexpr std::uint8_t kSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::uint8_t kStandardId[5] = {'C', 'D', '0', '0', '1'};
// Sectors the detector looks at, and the fewest an image must have.
constexpr std::uint64_t kProbeSectors = 16;
constexpr std::uint64_t kMinSectors = 4;
constexpr std::uint32_t kPvdLba = 16;
constexpr std::uint8_t kSubmodeForm2 = 0x20;

bool IsBcd(std::uint8_t b, std::uint8_t below) { return (b & 0x0F) <= 9 && (b >> 4) <= 9 && b < below; }
int FromBcd(std::uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

// The LBA a raw sector's header names, nothing when its sync or address
// bytes do not fit.
std::optional<std::int64_t> RawHeaderLba(ByteSpan image, std::uint64_t at) {
  if (!BytesAt(image, at, kSync, sizeof kSync) || !HasBytes(image, at, 16)) return std::nullopt;
  const std::uint8_t m = image[at + 12], s = image[at + 13], f = image[at + 14];
  if (!IsBcd(m, 0xA0) || !IsBcd(s, 0x60) || !IsBcd(f, 0x75)) return std::nullopt;
  return (FromBcd(m) * 60 + FromBcd(s)) * 75 + FromBcd(f) - 150;
}

// The LBA of the first sector of a raw 2352 image: the first sectors must
// carry the sync, consecutive addresses and mode 1 or 2 (one damaged sector
// allowed among 16). Nothing when the file is not such an image.
std::optional<std::int64_t> RawLbaBase(ByteSpan image) {
  const std::uint64_t sectors = image.size() / 2352;
  if (sectors < kMinSectors) return std::nullopt;
  const std::uint64_t probe = std::min(sectors, kProbeSectors);
  const std::uint64_t allowed = probe >= kProbeSectors ? 1 : 0;
  for (std::uint64_t ref = 0; ref < 2; ++ref) {
    const auto refLba = RawHeaderLba(image, ref * 2352);
    if (!refLba) continue;
    const std::int64_t base = *refLba - static_cast<std::int64_t>(ref);
    std::uint64_t bad = 0;
    for (std::uint64_t k = 0; k < probe; ++k) {
      const auto lba = RawHeaderLba(image, k * 2352);
      const std::uint8_t mode = ReadU8(image, k * 2352 + 15);
      if (!lba || *lba != base + static_cast<std::int64_t>(k) || (mode != 1 && mode != 2)) ++bad;
    }
    if (bad <= allowed) return base;
  }
  return std::nullopt;
}

// A volume descriptor ("CD001", version 1) of the given types at `at`.
bool IsDescriptor(ByteSpan image, std::uint64_t at, bool primaryOnly) {
  if (!BytesAt(image, at + 1, kStandardId, sizeof kStandardId) || ReadU8(image, at + 6) != 1) {
    return false;
  }
  const std::uint8_t type = ReadU8(image, at);
  return primaryOnly ? type == 1 : (type == 1 || type == 2 || type == 255);
}

// 2336-byte sectors: the subheader and its copy agree on the first sectors
// and the primary volume descriptor sits in a Form 1 sector at LBA 16.
bool LooksRaw2336(ByteSpan image) {
  const std::uint64_t sectors = image.size() / 2336;
  if (sectors <= kPvdLba) return false;
  const std::uint64_t pvd = kPvdLba * 2336;
  if (!IsDescriptor(image, pvd + 8, true) || (ReadU8(image, pvd + 2) & kSubmodeForm2)) return false;
  std::uint64_t bad = 0;
  for (std::uint64_t k = 0; k < kProbeSectors; ++k) {
    if (ReadU32LE(image, k * 2336) != ReadU32LE(image, k * 2336 + 4)) ++bad;
  }
  return bad <= 1;
}

enum class SectorClass { kData, kNoData, kDamaged };

struct SectorInfo {
  SectorClass cls = SectorClass::kDamaged;
  std::uint32_t userOffset = 0;
};

// What one raw sector holds: 2048 data bytes at userOffset, data left out
// of the stream (Form 2, mode 0), or nothing usable.
SectorInfo ClassifyRaw2352(ByteSpan image, std::uint64_t at, std::int64_t expectedLba) {
  const auto lba = RawHeaderLba(image, at);
  if (!lba || *lba != expectedLba) return {};
  switch (image[at + 15]) {
    case 0: return {SectorClass::kNoData, 0};
    case 1: return {SectorClass::kData, 16};
    case 2:
      if (image[at + 18] & kSubmodeForm2) return {SectorClass::kNoData, 0};
      return {SectorClass::kData, 24};
    default: return {};
  }
}

SectorInfo ClassifyRaw2336(ByteSpan image, std::uint64_t at) {
  if (image[at + 2] & kSubmodeForm2) return {SectorClass::kNoData, 0};
  return {SectorClass::kData, 8};
}

}  // namespace

const char* ImageKindName(ImageKind kind) {
  switch (kind) {
    case ImageKind::kIso2048: return "iso2048";
    case ImageKind::kRaw2352: return "raw2352";
    case ImageKind::kRaw2336: return "raw2336";
    case ImageKind::kPlainFile: break;
  }
  return "plain";
}

std::uint32_t SectorSize(ImageKind kind) {
  switch (kind) {
    case ImageKind::kIso2048: return 2048;
    case ImageKind::kRaw2352: return 2352;
    case ImageKind::kRaw2336: return 2336;
    case ImageKind::kPlainFile: break;
  }
  return 0;
}

ImageKind DetectImageKind(ByteSpan image) {
  if (RawLbaBase(image)) return ImageKind::kRaw2352;
  if (image.size() / kUserBytes > kPvdLba && IsDescriptor(image, kPvdLba * kUserBytes, false)) {
    return ImageKind::kIso2048;
  }
  if (LooksRaw2336(image)) return ImageKind::kRaw2336;
  return ImageKind::kPlainFile;
}

void LogicalView::Gather() {
  const std::uint32_t size = SectorSize(kind_);
  const std::uint64_t sectors = image_.size() / size;
  truncated_ = static_cast<std::uint32_t>(image_.size() % size);
  if (truncated_) ++damaged_;
  storage_.reserve(sectors * kUserBytes);
  // Sectors without a sync at the end of a raw image are the audio tracks of
  // a mixed-mode disc, not damage: they count only when data follows them.
  std::uint32_t withoutSync = 0;
  for (std::uint64_t i = 0; i < sectors; ++i) {
    const std::uint64_t at = i * size;
    const SectorInfo info = kind_ == ImageKind::kRaw2352
                                ? ClassifyRaw2352(image_, at, firstLba_ + static_cast<std::int64_t>(i))
                                : ClassifyRaw2336(image_, at);
    if (kind_ == ImageKind::kRaw2352 && !BytesAt(image_, at, kSync, sizeof kSync)) {
      ++withoutSync;
      continue;
    }
    damaged_ += withoutSync + (info.cls == SectorClass::kDamaged ? 1 : 0);
    withoutSync = 0;
    if (info.cls != SectorClass::kData) continue;
    dataOffset_.push_back(at + info.userOffset);
    const auto* from = image_.data() + at + info.userOffset;
    storage_.insert(storage_.end(), from, from + kUserBytes);
  }
  gathered_ = true;
}

LogicalView BuildLogicalView(ByteSpan image, ImageKind kind, std::uint32_t firstLba) {
  LogicalView view;
  view.kind_ = kind;
  view.image_ = image;
  if (kind == ImageKind::kPlainFile) return view;
  view.firstLba_ = firstLba;
  if (kind == ImageKind::kRaw2352) {
    // The sector headers tell the addresses; a stored pregap starts below 0.
    if (const auto base = RawLbaBase(image)) view.firstLba_ = *base;
  }
  if (kind != ImageKind::kIso2048) view.Gather();
  return view;
}

std::uint64_t LogicalView::ImageOffset(std::uint64_t logical) const {
  if (!gathered_) return logical;
  const std::uint64_t sector = logical / kUserBytes;
  if (sector >= dataOffset_.size()) return image_.size();
  return dataOffset_[sector] + logical % kUserBytes;
}

std::uint32_t LogicalView::Lba(std::uint64_t logical) const {
  const std::uint64_t sector = logical / kUserBytes;
  if (kind_ == ImageKind::kPlainFile) return static_cast<std::uint32_t>(sector);
  std::uint64_t imageSector = sector;
  if (gathered_) {
    const std::uint32_t size = SectorSize(kind_);
    imageSector = sector < dataOffset_.size()
                      ? dataOffset_[sector] / size
                      : image_.size() / size + (sector - dataOffset_.size());
  }
  const std::int64_t lba = firstLba_ + static_cast<std::int64_t>(imageSector);
  return lba < 0 || lba >= kNoLba ? kNoLba : static_cast<std::uint32_t>(lba);
}

ByteSpan LogicalView::SectorAt(std::uint32_t lba) const {
  if (kind_ == ImageKind::kPlainFile || lba < firstLba() || lba >= lbaEnd()) return {};
  const std::uint64_t imageSector = static_cast<std::uint64_t>(static_cast<std::int64_t>(lba) - firstLba_);
  if (!gathered_) return image_.subspan(imageSector * kUserBytes, kUserBytes);
  const std::uint64_t start = imageSector * SectorSize(kind_);
  const auto it = std::lower_bound(dataOffset_.begin(), dataOffset_.end(), start);
  if (it == dataOffset_.end() || *it >= start + SectorSize(kind_)) return {};
  const auto logical = static_cast<std::size_t>(it - dataOffset_.begin());
  return ByteSpan(storage_).subspan(logical * kUserBytes, kUserBytes);
}

std::uint32_t LogicalView::firstLba() const {
  if (kind_ == ImageKind::kPlainFile) return 0;
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(firstLba_, 0, kNoLba));
}

std::uint32_t LogicalView::lbaEnd() const {
  if (kind_ == ImageKind::kPlainFile) return 0;
  const std::int64_t end = firstLba_ + static_cast<std::int64_t>(image_.size() / SectorSize(kind_));
  return static_cast<std::uint32_t>(std::clamp<std::int64_t>(end, 0, kNoLba));
}

std::optional<SectorLayout> Mode2Layout(const LogicalView& view) {
  if (view.kind() != ImageKind::kRaw2352 && view.kind() != ImageKind::kRaw2336) return std::nullopt;
  return SectorLayout{0, SectorSize(view.kind()), view.firstSectorLba()};
}

namespace {

// The subheader and its copy of most of the first sectors agree.
bool CopiesMostlyAgree(ByteSpan file, std::uint64_t start, std::uint32_t size, std::uint32_t at) {
  const std::uint64_t sectors = (file.size() - start) / size;
  const std::uint64_t probe = std::min(sectors, kProbeSectors);
  std::uint64_t good = 0;
  for (std::uint64_t k = 0; k < probe; ++k) {
    const std::uint64_t s = start + k * size + at;
    if (ReadU32LE(file, s) == ReadU32LE(file, s + 4)) ++good;
  }
  return probe > 0 && good + (probe >= kProbeSectors ? 1 : 0) >= probe;
}

}  // namespace

std::optional<SectorLayout> DetectSectorFile(ByteSpan file) {
  constexpr std::uint64_t kRiffHeader = 44;
  if (BytesAt(file, 0, "RIFF", 4) && BytesAt(file, 8, "CDXA", 4) && file.size() >= kRiffHeader + 2352) {
    std::int64_t lba = 0;
    if (const auto first = RawHeaderLba(file, kRiffHeader)) lba = *first;
    return SectorLayout{kRiffHeader, 2352, lba};
  }
  // Raw sectors too few for the image detector (a short .STR): sync first, whole sectors.
  if (BytesAt(file, 0, kSync, sizeof kSync) && file.size() % 2352 == 0 && file.size() > 0) {
    return SectorLayout{0, 2352, RawHeaderLba(file, 0).value_or(0)};
  }
  if (file.size() < 2336 || file.size() % 2336 != 0) return std::nullopt;
  if (!CopiesMostlyAgree(file, 0, 2336, 0)) return std::nullopt;
  // At least one sector must be Form 2: a data file of the same length is no sector file.
  for (std::uint64_t at = 0; at < file.size(); at += 2336) {
    if (file[at + 2] & kSubmodeForm2) return SectorLayout{0, 2336, 0};
  }
  return std::nullopt;
}

std::uint64_t WalkMode2Sectors(ByteSpan image, const SectorLayout& layout,
                               const std::function<void(const Mode2Sector&)>& visit) {
  if (layout.sectorSize != 2352 && layout.sectorSize != 2336) return 0;
  if (layout.start >= image.size()) return 0;
  const std::uint32_t subAt = layout.sectorSize == 2352 ? 16 : 0;
  const std::uint64_t sectors = (image.size() - layout.start + layout.sectorSize - 1) / layout.sectorSize;
  std::uint64_t walked = 0;
  for (std::uint64_t i = 0; i < sectors; ++i) {
    const std::uint64_t at = layout.start + i * layout.sectorSize;
    if (!HasBytes(image, at + subAt, 8)) break;
    if (subAt && (!BytesAt(image, at, kSync, sizeof kSync) || image[at + 15] != 2)) continue;
    Mode2Sector s;
    s.imageOffset = at;
    s.lba = layout.firstLba + static_cast<std::int64_t>(i);
    for (int k = 0; k < 4; ++k) s.sub[k] = image[at + subAt + k];
    for (int k = 0; k < 4; ++k) {
      const std::uint8_t mask = k == 2 ? 0x7F : 0xFF;  // the end-of-file bit may be in one copy only
      if ((image[at + subAt + k] & mask) != (image[at + subAt + 4 + k] & mask)) s.copiesDisagree = true;
    }
    s.dataOffset = at + subAt + 8;
    s.dataBytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(2324, image.size() - s.dataOffset));
    visit(s);
    ++walked;
  }
  return walked;
}

}  // namespace psxdig
