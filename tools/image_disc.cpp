#include "image_disc.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "image_banks.h"

namespace psxdig::tools {

namespace {

constexpr std::size_t kRawSector = 2352;
constexpr std::size_t kIsoSector = 2048;
constexpr std::uint8_t kSync[12] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

const std::array<std::uint32_t, 256>& EdcTable() {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t x = i;
      for (int k = 0; k < 8; ++k) x = (x >> 1) ^ ((x & 1) ? 0xD8018001u : 0u);
      t[i] = x;
    }
    return t;
  }();
  return table;
}

// GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1 and alpha = 2.
struct Galois {
  std::array<std::uint8_t, 512> exp{};
  std::array<int, 256> log{};
  Galois() {
    int x = 1;
    for (int i = 0; i < 255; ++i) {
      exp[i] = exp[i + 255] = static_cast<std::uint8_t>(x);
      log[x] = i;
      x <<= 1;
      if (x & 0x100) x ^= 0x11D;
    }
  }
  std::uint8_t Mul(std::uint8_t a, std::uint8_t b) const {
    return (a == 0 || b == 0) ? 0 : exp[log[a] + log[b]];
  }
  std::uint8_t Div(std::uint8_t a, std::uint8_t b) const {
    return a == 0 ? 0 : exp[(log[a] - log[b] + 255) % 255];
  }
};

const Galois& Field() {
  static const Galois field;
  return field;
}

// The two parity symbols of a Reed-Solomon codeword of n symbols whose
// first n - 2 are `d`: the sum of all symbols and their sum weighted by
// alpha^(n-1-i) both come out zero.
std::pair<std::uint8_t, std::uint8_t> ParityPair(const std::uint8_t* d, int n) {
  const Galois& gf = Field();
  std::uint8_t a = 0, b = 0;
  for (int i = 0; i < n - 2; ++i) {
    a ^= d[i];
    b ^= gf.Mul(gf.exp[(n - 1 - i) % 255], d[i]);
  }
  const std::uint8_t p0 = gf.Div(a ^ b, 3);
  return {p0, static_cast<std::uint8_t>(a ^ p0)};
}

// P parity (43 columns of 24 words) then Q parity (26 diagonals of 43 words)
// over bytes 12..2075 of a sector, each byte plane on its own.
void ComputeEcc(std::uint8_t* s) {
  std::uint8_t d[43];
  for (int plane = 0; plane < 2; ++plane) {
    auto sym = [&](int w) -> std::uint8_t& { return s[12 + 2 * w + plane]; };
    for (int c = 0; c < 43; ++c) {
      for (int r = 0; r < 24; ++r) d[r] = sym(43 * r + c);
      const auto [p0, p1] = ParityPair(d, 26);
      sym(1032 + c) = p0;
      sym(1075 + c) = p1;
    }
    for (int g = 0; g < 26; ++g) {
      for (int m = 0; m < 43; ++m) d[m] = sym((44 * m + 43 * g) % 1118);
      const auto [p0, p1] = ParityPair(d, 45);
      sym(1118 + g) = p0;
      sym(1144 + g) = p1;
    }
  }
}

void PutEdc(std::uint8_t* at, std::uint32_t edc) {
  for (int k = 0; k < 4; ++k) at[k] = static_cast<std::uint8_t>(edc >> (8 * k));
}

std::uint8_t Bcd(std::uint32_t v) { return static_cast<std::uint8_t>((v / 10) * 16 + v % 10); }

void PutHeader(std::uint8_t* s, std::uint32_t lba, std::uint8_t mode) {
  const std::uint32_t a = lba + 150;
  s[12] = Bcd(a / 4500);
  s[13] = Bcd((a / 75) % 60);
  s[14] = Bcd(a % 75);
  s[15] = mode;
}

void PutBoth32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) {
    b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    b[at + 7 - k] = static_cast<std::uint8_t>(v >> (8 * k));
  }
}

void PutBoth16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = b[at + 3] = static_cast<std::uint8_t>(v);
  b[at + 1] = b[at + 2] = static_cast<std::uint8_t>(v >> 8);
}

void PutText(Bytes& b, std::size_t at, std::size_t width, const std::string& text) {
  for (std::size_t k = 0; k < width; ++k) b[at + k] = k < text.size() ? text[k] : ' ';
}

}  // namespace

std::uint32_t SectorEdc(const std::uint8_t* data, std::size_t size) {
  const auto& table = EdcTable();
  std::uint32_t c = 0;
  for (std::size_t i = 0; i < size; ++i) c = (c >> 8) ^ table[(c ^ data[i]) & 0xFF];
  return c;
}

Bytes MakeRawSector(std::uint32_t lba, SectorMode mode, const std::uint8_t* data, std::uint8_t submode,
                    std::uint8_t file, std::uint8_t channel, std::uint8_t coding) {
  Bytes s(kRawSector, 0);
  std::memcpy(s.data(), kSync, sizeof kSync);
  if (mode == SectorMode::kMode1) {
    PutHeader(s.data(), lba, 1);
    std::memcpy(s.data() + 16, data, kIsoSector);
    PutEdc(s.data() + 2064, SectorEdc(s.data(), 2064));
    ComputeEcc(s.data());
    return s;
  }
  if (mode == SectorMode::kForm2) submode |= 0x20;
  const std::uint8_t sub[4] = {file, channel, submode, coding};
  std::memcpy(s.data() + 16, sub, 4);
  std::memcpy(s.data() + 20, sub, 4);
  if (mode == SectorMode::kForm2) {
    std::memcpy(s.data() + 24, data, 2324);
    PutEdc(s.data() + 2348, SectorEdc(s.data() + 16, 2332));
  } else {
    std::memcpy(s.data() + 24, data, kIsoSector);
    PutEdc(s.data() + 2072, SectorEdc(s.data() + 16, 2056));
    ComputeEcc(s.data());  // the header counts as zero for Form 1 parity
  }
  PutHeader(s.data(), lba, 2);
  return s;
}

Bytes WrapIso(const Bytes& iso, bool sectors2336) {
  const std::size_t sectors = (iso.size() + kIsoSector - 1) / kIsoSector;
  const std::size_t skip = sectors2336 ? 16 : 0;
  Bytes out;
  out.reserve(sectors * (kRawSector - skip));
  Bytes data(kIsoSector);
  for (std::size_t i = 0; i < sectors; ++i) {
    std::fill(data.begin(), data.end(), 0);
    std::memcpy(data.data(), iso.data() + i * kIsoSector, std::min(kIsoSector, iso.size() - i * kIsoSector));
    const std::uint8_t submode = i + 1 == sectors ? 0x89 : 0x08;
    const Bytes s = MakeRawSector(static_cast<std::uint32_t>(i), SectorMode::kForm1, data.data(), submode);
    out.insert(out.end(), s.begin() + static_cast<std::ptrdiff_t>(skip), s.end());
  }
  return out;
}

std::string CueFor(const std::string& binName, bool sectors2336) {
  return "FILE \"" + binName + "\" BINARY\r\n  TRACK 01 " + (sectors2336 ? "MODE2/2336" : "MODE2/2352") +
         "\r\n    INDEX 01 00:00:00\r\n";
}

namespace {

// A directory record with the XA system-use record (attributes 0x8D55 for
// folders, 0x0D55 for files).
void AppendRecord(Bytes& dir, std::uint32_t lba, std::uint32_t size, bool folder, const std::string& id) {
  const std::size_t pad = id.size() % 2 == 0 ? 1 : 0;
  const std::size_t len = 33 + id.size() + pad + 14;
  if (dir.size() % kIsoSector + len > kIsoSector) dir.resize((dir.size() / kIsoSector + 1) * kIsoSector);
  Bytes r(len, 0);
  r[0] = static_cast<std::uint8_t>(len);
  PutBoth32(r, 2, lba);
  PutBoth32(r, 10, size);
  const std::uint8_t date[7] = {126, 12, 7, 12, 0, 0, 0};
  std::memcpy(r.data() + 18, date, 7);
  r[25] = folder ? 0x02 : 0x00;
  PutBoth16(r, 28, 1);
  r[32] = static_cast<std::uint8_t>(id.size());
  std::memcpy(r.data() + 33, id.data(), id.size());
  const std::size_t su = 33 + id.size() + pad;
  r[su + 4] = folder ? 0x8D : 0x0D;
  r[su + 5] = 0x55;
  r[su + 6] = 'X';
  r[su + 7] = 'A';
  dir.insert(dir.end(), r.begin(), r.end());
}

Bytes PrimaryDescriptor(std::uint32_t volumeSectors, std::uint32_t rootLba) {
  Bytes d(kIsoSector, 0);
  d[0] = 1;
  std::memcpy(d.data() + 1, "CD001", 5);
  d[6] = 1;
  PutText(d, 8, 32, "PLAYSTATION");
  PutText(d, 40, 32, "PSXDIG_TEST");
  PutBoth32(d, 80, volumeSectors);
  PutBoth16(d, 120, 1);
  PutBoth16(d, 124, 1);
  PutBoth16(d, 128, kIsoSector);
  d[156] = 34;
  PutBoth32(d, 158, rootLba);
  PutBoth32(d, 166, kIsoSector);
  d[181] = 0x02;
  PutBoth16(d, 184, 1);
  d[188] = 1;
  PutText(d, 190, 128 * 4, "");
  PutText(d, 574, 128, "PLAYSTATION");
  d[881] = 1;
  std::memcpy(d.data() + 1024, "CD-XA001", 8);
  return d;
}

}  // namespace

Bytes BuildSmallIso(const std::vector<IsoEntry>& entries, std::vector<IsoPlaced>* placed) {
  constexpr std::uint32_t kRootLba = 18;
  // Folders (one level) get a sector each after the root, files follow.
  std::map<std::string, std::uint32_t> folders;
  for (const auto& e : entries) {
    const std::size_t slash = e.path.find('/');
    if (slash != std::string::npos) folders.emplace(e.path.substr(0, slash), 0);
  }
  std::uint32_t next = kRootLba + 1;
  for (auto& [name, lba] : folders) lba = next++;
  std::vector<IsoPlaced> where;
  for (const auto& e : entries) {
    where.push_back({e.path, next, static_cast<std::uint32_t>(e.data.size())});
    next += static_cast<std::uint32_t>((e.data.size() + kIsoSector - 1) / kIsoSector);
  }
  Bytes image(std::size_t{next} * kIsoSector, 0);
  auto writeDir = [&](std::uint32_t lba, std::uint32_t parent, const std::string& prefix) {
    Bytes dir;
    AppendRecord(dir, lba, kIsoSector, true, std::string(1, '\0'));
    AppendRecord(dir, parent, kIsoSector, true, std::string(1, '\1'));
    if (prefix.empty()) {
      for (const auto& [name, flba] : folders) AppendRecord(dir, flba, kIsoSector, true, name);
    }
    for (const auto& w : where) {
      const std::size_t slash = w.path.find('/');
      const std::string folder = slash == std::string::npos ? "" : w.path.substr(0, slash);
      if (folder == prefix) AppendRecord(dir, w.lba, w.size, false, w.path.substr(slash + 1) + ";1");
    }
    std::memcpy(image.data() + std::size_t{lba} * kIsoSector, dir.data(), std::min(dir.size(), kIsoSector));
  };
  writeDir(kRootLba, kRootLba, "");
  for (const auto& [name, lba] : folders) writeDir(lba, kRootLba, name);
  const Bytes pvd = PrimaryDescriptor(next, kRootLba);
  std::memcpy(image.data() + 16 * kIsoSector, pvd.data(), kIsoSector);
  const std::uint8_t terminator[7] = {0xFF, 'C', 'D', '0', '0', '1', 1};
  std::memcpy(image.data() + 17 * kIsoSector, terminator, sizeof terminator);
  for (std::size_t k = 0; k < entries.size(); ++k) {
    std::copy(entries[k].data.begin(), entries[k].data.end(), image.begin() + std::size_t{where[k].lba} * kIsoSector);
  }
  if (placed) *placed = where;
  return image;
}

std::vector<IsoEntry> BuildDiscFiles(std::vector<DiscItem>* items) {
  std::vector<IsoEntry> files;
  std::vector<DiscItem> found;
  auto whole = [&](const std::string& path, const Bytes& data, const std::string& ext, const std::string& note) {
    files.push_back({path, data});
    found.push_back({path, 0, static_cast<std::uint32_t>(data.size()), ext, note});
  };
  const std::string cnf = "BOOT = cdrom:\\SLUS_000.01;1\r\nTCB = 4\r\nEVENT = 10\r\nSTACK = 801FFFF0\r\n";
  files.push_back({"SYSTEM.CNF", Bytes(cnf.begin(), cnf.end())});
  whole("SOUND/BGM.SEQ", MakeSeq(3000, 501), ".seq", "sequence, a file of its own across two sectors");
  const std::vector<std::uint32_t> seSizes = {1024, 2048, 512};
  whole("SOUND/SE.VH", MakeVabHeader(2, seSizes, 511), ".vh", "VAB header, body in SE_BODY.VB");
  whole("SOUND/SE_BODY.VB", MakeAdpcmBody(seSizes, 512), ".vb", "body of SE.VH");

  const std::vector<std::uint32_t> bankSizes = {1536, 4096};
  ImageBuilder bank(521);
  bank.Plant(MakeVabHeader(1, bankSizes, 522), ".vh", "VAB header, body behind it");
  bank.Plant(MakeAdpcmBody(bankSizes, 523), ".vb", "body of BANK.VAB");

  ImageBuilder archive(531);
  archive.Filler(1500);
  archive.Plant(MakeSeq(1200, 532), ".seq", "sequence across a sector boundary");
  archive.Filler(700);
  archive.Plant(MakeSep(3, 400, 533), ".sep", "bundle of 3 sequences");
  archive.Filler(2100);
  const std::vector<std::uint32_t> arcSizes = {2048, 768};
  archive.Plant(MakeVabHeader(1, arcSizes, 534), ".vh", "VAB header inside an archive");
  archive.Plant(MakeAdpcmBody(arcSizes, 535), ".vb", "its body");
  archive.Filler(900);
  for (auto [path, img] : {std::pair{"SOUND/BANK.VAB", &bank}, std::pair{"DATA/ARCHIVE.DAT", &archive}}) {
    files.push_back({path, img->bytes()});
    for (const auto& p : img->planted()) found.push_back({path, p.ofs, p.size, p.ext, p.note});
  }
  if (items) *items = found;
  return files;
}

bool WriteDiscFolder(const std::string& folder, std::vector<DiscItem>* items) {
  return WriteFilesUnder(folder, BuildDiscFiles(items));
}

bool WriteFilesUnder(const std::string& folder, const std::vector<IsoEntry>& files) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const auto& f : files) {
    const fs::path path = fs::path(folder) / f.path;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(f.data.data()), static_cast<std::streamsize>(f.data.size()));
    if (!out) return false;
  }
  return true;
}

}  // namespace psxdig::tools
