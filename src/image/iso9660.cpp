// The ISO 9660 file map (with the CD-ROM XA system-use record): the primary
// volume descriptor, then every directory, each record checked against the
// image before it is believed.
#include <algorithm>
#include <set>

#include "image/disc_image.h"

namespace psxdig {

namespace {

constexpr std::uint32_t kSectorBytes = 2048;
constexpr std::uint32_t kFirstDescriptor = 16;
constexpr std::uint32_t kMaxDescriptors = 32;
constexpr std::uint32_t kMaxDepth = 64;
constexpr std::uint32_t kMinRecord = 34;
constexpr std::size_t kMaxProblems = 1000;
constexpr std::uint8_t kFlagDirectory = 0x02;
constexpr std::uint16_t kXaForm2 = 0x1000;
constexpr std::uint16_t kXaInterleaved = 0x2000;
constexpr std::uint16_t kXaCdda = 0x4000;

std::uint64_t SectorsOf(std::uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

// An identifier as a path component: no version, no trailing dot, and no
// byte that could step out of a folder or end a line.
std::string CleanName(ByteSpan id) {
  std::string name(id.begin(), id.end());
  if (const std::size_t semi = name.rfind(';'); semi != std::string::npos) name.resize(semi);
  if (!name.empty() && name.back() == '.') name.pop_back();
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = "_";
  return name;
}

struct Directory {
  std::uint32_t lba;
  std::uint64_t size;
  std::string path;  // "" for the root, else "A/B"
  std::uint32_t depth;
};

class Walker {
 public:
  Walker(const LogicalView& view, FileMap& map) : view_(view), map_(map) {}

  void Walk(Directory root) {
    std::vector<Directory> pending{std::move(root)};
    while (!pending.empty()) {
      Directory dir = std::move(pending.back());
      pending.pop_back();
      ReadDirectory(dir, pending);
    }
  }

 private:
  // A hostile tree can name the same broken folder over and over: the first
  // problems tell enough.
  void Problem(const std::string& path, const std::string& what) {
    if (map_.problems.size() < kMaxProblems) {
      map_.problems.push_back((path.empty() ? std::string("/") : path) + ": " + what);
    } else if (map_.problems.size() == kMaxProblems) {
      map_.problems.push_back("/: more problems not listed");
    }
  }

  void ReadDirectory(const Directory& dir, std::vector<Directory>& pending) {
    const std::uint64_t sectors = SectorsOf(dir.size);
    for (std::uint64_t s = 0; s < sectors; ++s) {
      const std::uint64_t lba = dir.lba + s;
      const ByteSpan sector = lba < LogicalView::kNoLba ? view_.SectorAt(static_cast<std::uint32_t>(lba)) : ByteSpan();
      if (sector.empty()) {
        Problem(dir.path, "directory sector " + std::to_string(lba) + " is not in the image");
        return;
      }
      // A sector read before belongs to another directory: a loop or an overlap.
      if (!visited_.insert(static_cast<std::uint32_t>(lba)).second) {
        Problem(dir.path, "directory sector " + std::to_string(lba) + " read twice; loop cut");
        return;
      }
      ReadRecords(dir, sector, pending);
    }
  }

  void ReadRecords(const Directory& dir, ByteSpan sector, std::vector<Directory>& pending) {
    std::uint32_t at = 0;
    while (at + kMinRecord <= kSectorBytes) {
      const std::uint8_t len = sector[at];
      if (len == 0) return;
      const std::uint8_t idLen = sector[at + 32];
      if (len < kMinRecord || at + len > kSectorBytes || 33u + idLen > len) {
        Problem(dir.path, "broken directory record at byte " + std::to_string(at));
        return;
      }
      const ByteSpan record = sector.subspan(at, len);
      at += len;
      if (idLen == 1 && record[33] <= 1) continue;  // "." and ".."
      AddRecord(dir, record, pending);
    }
  }

  void AddRecord(const Directory& dir, ByteSpan record, std::vector<Directory>& pending) {
    const std::uint8_t idLen = record[32];
    const std::string name = CleanName(record.subspan(33, idLen));
    const std::string path = dir.path.empty() ? name : dir.path + "/" + name;
    const std::uint64_t lba = std::uint64_t{ReadU32LE(record, 2)} + record[1];
    std::uint64_t size = ReadU32LE(record, 10);
    if (record[25] & kFlagDirectory) {
      if (dir.depth + 1 >= kMaxDepth) {
        Problem(path, "deeper than " + std::to_string(kMaxDepth) + " levels; not read");
      } else if (lba >= LogicalView::kNoLba) {
        Problem(path, "directory extent out of range");
      } else {
        pending.push_back({static_cast<std::uint32_t>(lba), size, path, dir.depth + 1});
      }
      return;
    }
    const std::uint32_t suAt = 33 + idLen + ((idLen % 2 == 0) ? 1 : 0);
    bool form2 = false;
    if (suAt + 14 <= record.size() && record[suAt + 6] == 'X' && record[suAt + 7] == 'A') {
      const std::uint16_t attributes = static_cast<std::uint16_t>(ReadBE(record, suAt + 4, 2));
      if (attributes & kXaCdda) {
        Problem(path, "CD audio file, outside the data track; skipped");
        return;
      }
      form2 = (attributes & (kXaForm2 | kXaInterleaved)) != 0;
    }
    if (record[26] != 0 || record[27] != 0) {
      Problem(path, "interleaved file (unit size/gap); skipped");
      return;
    }
    if (size > 0 && (lba < view_.firstLba() || lba >= view_.lbaEnd())) {
      Problem(path, "extent " + std::to_string(lba) + " lies outside the image; skipped");
      return;
    }
    if (size > 0 && lba + SectorsOf(size) > view_.lbaEnd()) {
      const std::uint64_t fits = (view_.lbaEnd() - lba) * kSectorBytes;
      Problem(path, "runs past the end of the image; cut from " + std::to_string(size) + " to " +
                        std::to_string(fits) + " bytes");
      size = fits;
    }
    map_.files.push_back({path, static_cast<std::uint32_t>(lba), size, form2});
  }

  const LogicalView& view_;
  FileMap& map_;
  std::set<std::uint32_t> visited_;
};

// The primary volume descriptor: the first of type 1 in the descriptor set.
ByteSpan FindPrimaryDescriptor(const LogicalView& view) {
  for (std::uint32_t lba = kFirstDescriptor; lba < kFirstDescriptor + kMaxDescriptors; ++lba) {
    const ByteSpan sector = view.SectorAt(lba);
    if (sector.empty() || !BytesAt(sector, 1, "CD001", 5)) return {};
    if (sector[0] == 1) return sector;
    if (sector[0] == 255) return {};
  }
  return {};
}

std::string TrimmedText(ByteSpan b) {
  std::string s(b.begin(), b.end());
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20) c = '_';
  }
  return s;
}

}  // namespace

FileMap ReadFileMap(const LogicalView& view) {
  FileMap map;
  const ByteSpan pvd = FindPrimaryDescriptor(view);
  if (pvd.empty()) return map;
  map.volumeId = TrimmedText(pvd.subspan(40, 32));
  if (ReadU16LE(pvd, 128) != kSectorBytes) {
    map.problems.push_back("/: logical block size " + std::to_string(ReadU16LE(pvd, 128)) +
                           " is not 2048; no file map");
    return map;
  }
  const ByteSpan root = pvd.subspan(156, 34);
  Walker walker(view, map);
  walker.Walk({ReadU32LE(root, 2) + root[1], ReadU32LE(root, 10), "", 0});
  std::sort(map.files.begin(), map.files.end(), [](const DiscFile& a, const DiscFile& b) {
    return a.lba != b.lba ? a.lba < b.lba : a.path < b.path;
  });
  return map;
}

DiscLocation FileMap::Locate(std::uint32_t lba, std::uint32_t offsetInSector) const {
  // Files sorted by first sector: the nearest file starting at or before the
  // sector that holds the byte (extents may overlap: the latest start wins).
  auto it = std::upper_bound(files.begin(), files.end(), lba,
                             [](std::uint32_t l, const DiscFile& f) { return l < f.lba; });
  while (it != files.begin()) {
    --it;
    const std::uint64_t offset = std::uint64_t{lba - it->lba} * kSectorBytes + offsetInSector;
    if (offset < it->size) return {&*it, offset};
  }
  return {};
}

}  // namespace psxdig
