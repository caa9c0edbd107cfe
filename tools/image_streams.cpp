#include "image_streams.h"

#include "image_bench.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace psxdig::tools {
namespace {

constexpr int kF0[4] = {0, 60, 115, 98};
constexpr int kF1[4] = {0, 0, -52, -55};
constexpr std::size_t kIsoSector = 2048;
constexpr char kMarker[] = "PSXDIG-XA-SECTOR";

void PutBE(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (24 - 8 * k));
}

// What the CD decoder makes of sample value n (a nibble or a byte) at a shift.
int Step(int n, int bits, int shift) { return (n * (bits == 4 ? 4096 : 256)) >> shift; }

struct UnitChoice {
  std::uint8_t param = 0;
  int values[28] = {};
  std::int16_t decoded[28] = {};
  int h1 = 0, h2 = 0;
  long long error = -1;
};

// The filter and shift whose decode of 28 samples (every `stride`th of
// `in`) comes closest, given the history.
UnitChoice EncodeUnit(const std::int16_t* in, std::size_t stride, int bits, int h1, int h2) {
  UnitChoice best;
  const int top = bits == 4 ? 7 : 127;
  for (int filter = 0; filter < 4; ++filter) {
    for (int shift = 0; shift <= 12; ++shift) {
      UnitChoice c;
      c.param = static_cast<std::uint8_t>((filter << 4) | shift);
      int a = h1, b = h2;
      c.error = 0;
      for (int j = 0; j < 28; ++j) {
        const int pred = (a * kF0[filter] + b * kF1[filter] + 32) >> 6;
        const double unit = std::ldexp(bits == 4 ? 4096.0 : 256.0, -shift);
        int n = static_cast<int>(std::lround((in[j * stride] - pred) / unit));
        n = std::clamp(n, -top - 1, top);
        const int x = std::clamp(Step(n, bits, shift) + pred, -32768, 32767);
        c.values[j] = n;
        c.decoded[j] = static_cast<std::int16_t>(x);
        c.error += static_cast<long long>(x - in[j * stride]) * (x - in[j * stride]);
        b = a;
        a = x;
      }
      c.h1 = a;
      c.h2 = b;
      if (best.error < 0 || c.error < best.error) best = c;
    }
  }
  return best;
}

// Encodes one sector of a channel from `pcm` at frame `frame`; appends the
// decoded samples to `decoded`.
Bytes EncodeSector(const Pcm& pcm, std::size_t& at, std::uint8_t coding, int hist[2][2], Pcm& decoded) {
  const int channels = (coding & 1) ? 2 : 1;
  const int bits = (coding & 0x10) ? 8 : 4;
  const int units = bits == 4 ? 8 : 4;
  Bytes data(2324, 0);
  for (int g = 0; g < 18; ++g) {
    std::uint8_t* group = data.data() + g * 128;
    std::int16_t out[8][28];
    for (int u = 0; u < units; ++u) {
      const int c = channels == 2 ? (u & 1) : 0;
      // The unit's samples: mono units follow each other; stereo pairs share frames.
      const std::size_t first = channels == 2 ? at + static_cast<std::size_t>(u / 2) * 56 + c : at + u * 28;
      std::int16_t in[28];
      for (int j = 0; j < 28; ++j) {
        const std::size_t k = first + static_cast<std::size_t>(j) * channels;
        in[j] = k < pcm.size() ? pcm[k] : 0;
      }
      const UnitChoice best = EncodeUnit(in, 1, bits, hist[c][0], hist[c][1]);
      hist[c][0] = best.h1;
      hist[c][1] = best.h2;
      group[4 + u] = best.param;
      for (int j = 0; j < 28; ++j) {
        const std::uint8_t v = static_cast<std::uint8_t>(best.values[j]);
        if (bits == 8) group[16 + 4 * j + u] = v;
        else group[16 + 4 * j + (u >> 1)] |= static_cast<std::uint8_t>((u & 1) ? (v & 15) << 4 : (v & 15));
      }
      std::copy(best.decoded, best.decoded + 28, out[u]);
    }
    // The copies of the parameters around bytes 4..11.
    for (int k = 0; k < 4; ++k) {
      group[k] = group[4 + (bits == 4 ? k : k)];
      group[12 + k] = group[4 + (bits == 4 ? 4 + k : k)];
    }
    if (bits == 8) std::memcpy(group + 8, group + 4, 4);
    for (int u = 0; u < units; u += channels) {
      for (int j = 0; j < 28; ++j) {
        decoded.push_back(out[u][j]);
        if (channels == 2) decoded.push_back(out[u + 1][j]);
      }
    }
    at += static_cast<std::size_t>(units) * 28;
  }
  return data;
}

struct ChannelPlan {
  std::uint8_t channel;
  std::uint8_t coding;
  Pcm pcm;
};

// Interleaves the channels sector by sector, a filler sector after every
// round (channel 0xFF audio filler, then an empty Form 2 sector); the last
// sector of every channel carries the end-of-file flag.
XaFile EncodeXaFile(const std::string& path, std::uint8_t fileNumber, const std::vector<ChannelPlan>& plans) {
  XaFile file{path, fileNumber, {}, {}};
  std::vector<std::size_t> at(plans.size(), 0);
  std::vector<std::array<std::array<int, 2>, 2>> hist(plans.size());
  for (const auto& p : plans) file.channels.push_back({p.channel, p.coding, {}, 0});
  for (int round = 0;; ++round) {
    bool any = false;
    for (std::size_t c = 0; c < plans.size(); ++c) {
      if (at[c] >= plans[c].pcm.size()) continue;
      any = true;
      int h[2][2] = {{hist[c][0][0], hist[c][0][1]}, {hist[c][1][0], hist[c][1][1]}};
      XaSector s{{fileNumber, plans[c].channel, 0x64, plans[c].coding}, {}};
      s.data = EncodeSector(plans[c].pcm, at[c], plans[c].coding, h, file.channels[c].decoded);
      for (int i = 0; i < 2; ++i) hist[c][i] = {h[i][0], h[i][1]};
      if (at[c] >= plans[c].pcm.size()) s.sub[2] |= 0x80;
      ++file.channels[c].sectors;
      file.sectors.push_back(std::move(s));
    }
    if (!any) break;
    file.sectors.push_back({{fileNumber, static_cast<std::uint8_t>(round % 2 ? 0x00 : 0xFF),
                             static_cast<std::uint8_t>(round % 2 ? 0x20 : 0x64), 0x01},
                            Bytes(2324, 0)});
  }
  return file;
}

// `frames` of a sine per channel (periods differ between channels).
Pcm Tone(std::size_t frames, int channels, double period, int amplitude) {
  Pcm out;
  for (std::size_t k = 0; k < frames; ++k) {
    for (int c = 0; c < channels; ++c) {
      const double v = std::sin(2 * 3.141592653589793 * k / (period * (1 + 0.37 * c))) +
                       0.3 * std::sin(2 * 3.141592653589793 * k / (period / 5.3));
      out.push_back(static_cast<std::int16_t>(std::lround(amplitude * v / 1.3)));
    }
  }
  return out;
}

Bytes VagFile(const char* magic, std::uint32_t sizeField, std::uint32_t rate, const std::string& name) {
  Bytes h(48, 0);
  std::memcpy(h.data(), magic, 4);
  PutBE(h, 4, 0x20);
  PutBE(h, 12, sizeField);
  PutBE(h, 16, rate);
  std::memcpy(h.data() + 32, name.data(), std::min<std::size_t>(16, name.size()));
  return h;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Placeholder sectors: the marker, the XA file's index and the sector number.
Bytes Placeholder(std::size_t file, std::size_t sectors) {
  Bytes out(sectors * kIsoSector, 0);
  for (std::size_t k = 0; k < sectors; ++k) {
    std::memcpy(out.data() + k * kIsoSector, kMarker, 16);
    out[k * kIsoSector + 16] = static_cast<std::uint8_t>(file);
    out[k * kIsoSector + 17] = static_cast<std::uint8_t>(k);
    out[k * kIsoSector + 18] = static_cast<std::uint8_t>(k >> 8);
  }
  return out;
}

}  // namespace

StreamsDisc BuildStreamsDisc() {
  StreamsDisc disc;
  const std::string cnf = "BOOT = cdrom:\\SLUS_000.01;1\r\n";
  disc.files.push_back({"SYSTEM.CNF", Bytes(cnf.begin(), cnf.end())});
  disc.files.push_back({"SOUND/BGM.SEQ", MakeSeqFile(480, 500000, MakeSong({{0}, {0}, {60, 64, 67}}).events)});
  // VAGs: a file of its own, one whose size field claims 16 bytes more than
  // the file holds, one inside an archive, and an interleaved stereo one.
  const Bytes jingle = EncodeAdpcm(MakeSine(28 * 60, 50, 9000, 300), AdpcmEnd::kEndFlag);
  const Bytes shortOne = EncodeAdpcm(MakeSine(28 * 30, 21, 7000), AdpcmEnd::kEndFlag);
  const Bytes inner = EncodeAdpcm(MakeSine(28 * 40, 33, 12000), AdpcmEnd::kLoop);
  const Bytes left = EncodeAdpcm(MakeSine(28 * 70, 40, 8000), AdpcmEnd::kEndFlag);
  const Bytes right = EncodeAdpcm(MakeSine(28 * 70, 57, 8000), AdpcmEnd::kEndFlag);
  const auto s32 = [](std::size_t n) { return static_cast<std::uint32_t>(n); };
  disc.files.push_back({"SOUND/JINGLE.VAG", Cat(VagFile("VAGp", s32(jingle.size()), 22050, "jingle"), jingle)});
  disc.vags.push_back({"SOUND/JINGLE.VAG", 0, s32(48 + jingle.size()), 22050, 1, "jingle", false});
  disc.files.push_back({"SOUND/SHORT.VAG", Cat(VagFile("VAGp", s32(shortOne.size() + 16), 11025, "short"), shortOne)});
  disc.vags.push_back({"SOUND/SHORT.VAG", 0, s32(48 + shortOne.size()), 11025, 1, "short", true});
  ImageBuilder pack(77);
  pack.Filler(3000);
  const std::uint32_t innerAt = s32(pack.size());
  pack.Raw(Cat(VagFile("VAGp", s32(inner.size()), 44100, "inner"), inner));
  pack.Filler(1500);
  disc.files.push_back({"DATA/PACK.DAT", pack.bytes()});
  disc.vags.push_back({"DATA/PACK.DAT", innerAt, s32(48 + inner.size()), 44100, 1, "inner", false});
  Bytes vagi = VagFile("VAGi", s32(2 * 0x800), 32000, "stereo");
  vagi[8] = 0x00, vagi[9] = 0x08;  // interleave 0x800, little-endian
  vagi[0x1E] = 2;
  vagi.resize(0x800, 0);
  for (const Bytes* ch : {&left, &right}) {
    Bytes block = *ch;
    block.resize(0x800, 0);
    vagi.insert(vagi.end(), block.begin(), block.end());
  }
  disc.files.push_back({"SOUND/STEREO.VAG", vagi});
  disc.vags.push_back({"SOUND/STEREO.VAG", 0, s32(vagi.size()), 32000, 2, "stereo", false});
  // XA: four 4-bit channels in every rate and channel count, then three
  // 8-bit channels, each file interleaved with fillers.
  disc.xa.push_back(EncodeXaFile("XA/MUSIC.XA", 1,
                                 {{0, 0x01, Tone(2016 * 6 + 500, 2, 90, 12000)},
                                  {1, 0x04, Tone(4032 * 4, 1, 60, 15000)},
                                  {2, 0x00, Tone(4032 * 5 + 77, 1, 45, 9000)},
                                  {3, 0x05, Tone(2016 * 3, 2, 120, 14000)}}));
  disc.xa.push_back(EncodeXaFile("XA/VOICE.XA", 2,
                                 {{0, 0x11, Tone(1008 * 5, 2, 70, 11000)},
                                  {1, 0x14, Tone(2016 * 4, 1, 35, 13000)},
                                  {4, 0x10, Tone(2016 * 3, 1, 100, 8000)}}));
  for (std::size_t k = 0; k < disc.xa.size(); ++k) {
    disc.files.push_back({disc.xa[k].path, Placeholder(k, disc.xa[k].sectors.size())});
  }
  for (int t = 0; t < 2; ++t) {
    const Pcm pcm = Tone(588 * (150 + 40 * t), 2, 100 + 50 * t, 20000);
    Bytes b;
    for (const std::int16_t v : pcm) {
      b.push_back(static_cast<std::uint8_t>(v));
      b.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8));
    }
    disc.audioTracks.push_back(std::move(b));
  }
  return disc;
}

bool WriteStreamsFolder(const std::string& folder) { return WriteFilesUnder(folder, BuildStreamsDisc().files); }

namespace {

bool WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// The sector of the image at `lba`: a placeholder becomes its XA sector.
Bytes DiscSector(const StreamsDisc& disc, const Bytes& iso, std::size_t lba, std::size_t sectors) {
  const std::uint8_t* user = iso.data() + lba * kIsoSector;
  if (std::memcmp(user, kMarker, 16) == 0 && user[16] < disc.xa.size()) {
    const XaFile& f = disc.xa[user[16]];
    const std::size_t k = user[17] | (user[18] << 8);
    if (k < f.sectors.size()) {
      const XaSector& s = f.sectors[k];
      return MakeRawSector(static_cast<std::uint32_t>(lba), SectorMode::kForm2, s.data.data(), s.sub[2], s.sub[0],
                           s.sub[1], s.sub[3]);
    }
  }
  return MakeRawSector(static_cast<std::uint32_t>(lba), SectorMode::kForm1, user, lba + 1 == sectors ? 0x89 : 0x08);
}

// Gives the XA files' directory records what pressed discs have: the
// attributes of an interleaved Form 1 + Form 2 file (0x3D55) and the file
// number their sectors carry.
void MarkXaRecords(const StreamsDisc& disc, Bytes& iso) {
  for (const XaFile& f : disc.xa) {
    const std::string id = f.path.substr(f.path.rfind('/') + 1) + ";1";
    for (std::size_t p = 33; p + id.size() < iso.size(); ++p) {
      if (std::memcmp(iso.data() + p, id.data(), id.size()) != 0 || iso[p - 1] != id.size()) continue;
      const std::size_t record = p - 33;
      const std::size_t su = record + 33 + id.size() + (id.size() % 2 == 0 ? 1 : 0);
      if (su + 14 > record + iso[record] || iso[su + 6] != 'X' || iso[su + 7] != 'A') continue;
      iso[su + 4] = 0x3D;
      iso[su + 5] = 0x55;
      iso[su + 8] = f.fileNumber;
    }
  }
}

}  // namespace

bool WriteStreamsRaw(const std::string& isoPath, const std::string& binPath) {
  namespace fs = std::filesystem;
  std::ifstream in(isoPath, std::ios::binary | std::ios::ate);
  Bytes iso(in ? static_cast<std::size_t>(in.tellg()) : 0);
  in.seekg(0);
  if (iso.empty() || iso.size() % kIsoSector || !in.read(reinterpret_cast<char*>(iso.data()), static_cast<std::streamsize>(iso.size()))) {
    return false;
  }
  const StreamsDisc disc = BuildStreamsDisc();
  MarkXaRecords(disc, iso);
  if (!WriteFile(isoPath, iso)) return false;
  const std::size_t sectors = iso.size() / kIsoSector;
  Bytes raw, xa2336, str;
  for (std::size_t lba = 0; lba < sectors; ++lba) {
    const Bytes s = DiscSector(disc, iso, lba, sectors);
    raw.insert(raw.end(), s.begin(), s.end());
    const std::uint8_t* user = iso.data() + lba * kIsoSector;
    if (std::memcmp(user, kMarker, 16) == 0 && user[16] == 0) {
      xa2336.insert(xa2336.end(), s.begin() + 16, s.end());
      str.insert(str.end(), s.begin(), s.end());
    }
  }
  const fs::path bin = binPath;
  const std::string stem = bin.stem().string();
  const fs::path dir = bin.parent_path();
  Bytes cdxa = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'C', 'D', 'X', 'A', 'f', 'm', 't', ' ', 16, 0, 0, 0};
  cdxa.resize(36, 0);
  for (const char c : std::string("data")) cdxa.push_back(static_cast<std::uint8_t>(c));
  for (int k = 0; k < 4; ++k) cdxa.push_back(static_cast<std::uint8_t>(str.size() >> (8 * k)));
  cdxa.insert(cdxa.end(), str.begin(), str.end());
  std::string cue = "FILE \"" + bin.filename().string() + "\" BINARY\r\n  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n";
  bool ok = WriteFile(bin, raw) && WriteFile(dir / "MUSIC.XA", xa2336) && WriteFile(dir / "MUSIC.STR", str) &&
            WriteFile(dir / "MUSIC.CDXA", cdxa);
  for (std::size_t t = 0; t < disc.audioTracks.size(); ++t) {
    const std::string name = stem + "_0" + std::to_string(t + 2) + ".bin";
    ok = ok && WriteFile(dir / name, Cat(Bytes(150 * 2352, 0), disc.audioTracks[t]));
    cue += "FILE \"" + name + "\" BINARY\r\n  TRACK 0" + std::to_string(t + 2) +
           " AUDIO\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:02:00\r\n";
  }
  std::ofstream(dir / (stem + ".cue"), std::ios::binary) << cue;
  return ok;
}

Bytes BuildRawBenchImage(std::size_t megabytes) { return WrapIso(BuildMixedBenchImage(megabytes)); }

Bytes BuildXaBenchImage(std::size_t megabytes) {
  const std::size_t sectors = megabytes * 1024 * 1024 / 2352;
  Bytes out;
  out.reserve(sectors * 2352);
  ImageBuilder random(91);
  Bytes data(2324, 0);
  for (std::size_t lba = 0; lba < sectors; ++lba) {
    const bool audio = lba % 9 != 8;
    for (std::size_t k = 0; k < data.size(); ++k) data[k] = static_cast<std::uint8_t>(random.Next() >> 13);
    for (std::size_t g = 0; audio && g < 18; ++g) {
      for (std::size_t k = 0; k < 16; ++k) data[g * 128 + k] = static_cast<std::uint8_t>(data[g * 128 + k] % 13 | (k & 3) << 4);
    }
    const Bytes s = audio ? MakeRawSector(static_cast<std::uint32_t>(lba), SectorMode::kForm2, data.data(), 0x64, 1,
                                          static_cast<std::uint8_t>(lba % 9), 0x01)
                          : MakeRawSector(static_cast<std::uint32_t>(lba), SectorMode::kForm1, data.data(), 0x08);
    out.insert(out.end(), s.begin(), s.end());
  }
  return out;
}

}  // namespace psxdig::tools
