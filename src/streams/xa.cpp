// XA-ADPCM: audio sectors grouped into streams by disc file, file number
// and channel, and the sound groups of each sector decoded with the CD
// decoder's four filters.
#include <algorithm>
#include <map>
#include <tuple>

#include "streams/streams.h"

namespace psxdig::streams {
namespace {

constexpr int kF0[4] = {0, 60, 115, 98};
constexpr int kF1[4] = {0, 0, -52, -55};
constexpr std::uint8_t kSubmodeAudio = 0x04;
constexpr std::uint8_t kSubmodeForm2 = 0x20;
constexpr std::uint8_t kSubmodeEof = 0x80;
constexpr std::size_t kMaxProblems = 100;
constexpr std::uint8_t kChannels = 32;

// One sound unit of 28 samples: parameter byte, then the samples as the
// mode stores them.
void DecodeUnit(ByteSpan group, std::uint32_t unit, std::uint32_t bits, int& h1, int& h2, std::int16_t* out,
                std::uint32_t stride) {
  const std::uint8_t param = group[4 + unit];
  int shift = param & 0x0F;
  if (shift > 12) shift = 9;
  const int filter = (param >> 4) & 0x03;
  for (std::uint32_t j = 0; j < 28; ++j) {
    int t;
    if (bits == 4) {
      const std::uint8_t b = group[16 + 4 * j + (unit >> 1)];
      const int nibble = (unit & 1) ? (b >> 4) : (b & 0x0F);
      t = (nibble >= 8 ? nibble - 16 : nibble) * 4096;
    } else {
      t = static_cast<std::int8_t>(group[16 + 4 * j + unit]) * 256;
    }
    const int x = std::clamp((t >> shift) + ((h1 * kF0[filter] + h2 * kF1[filter] + 32) >> 6), -32768, 32767);
    h2 = h1;
    h1 = x;
    out[j * stride] = static_cast<std::int16_t>(x);
  }
}

// Whether a sector holds stream audio, and its coding (none when reserved).
struct SectorVerdict {
  bool audio = false;
  std::optional<XaCoding> coding;
};

SectorVerdict JudgeSector(const Mode2Sector& s) {
  SectorVerdict v;
  // Channels above 31 mark filler sectors between the streams.
  v.audio = (s.sub[2] & kSubmodeAudio) && (s.sub[2] & kSubmodeForm2) && s.sub[1] < kChannels;
  if (v.audio) v.coding = ReadXaCoding(s.sub[3]);
  return v;
}

std::string SectorText(const Mode2Sector& s) {
  return "sector " + std::to_string(s.lba) + " (image offset " + std::to_string(s.imageOffset) + ")";
}

class Grouper {
 public:
  Grouper(const FileMap& map, XaScan& scan) : map_(map), scan_(scan) {}

  void Add(const Mode2Sector& s) {
    const SectorVerdict v = JudgeSector(s);
    if (!v.audio) return;
    if (s.copiesDisagree) ++disagreeing_;
    if (!v.coding) {
      Problem(SectorText(s) + ": coding byte 0x" + Hex(s.sub[3]) + " holds reserved values; sector left out");
      return;
    }
    if (s.dataBytes < kXaAudioBytes) {
      Problem(SectorText(s) + ": audio sector cut short; left out");
      return;
    }
    const DiscLocation where = Locate(s.lba);
    const auto key = std::make_tuple(where.file, s.sub[0], s.sub[1]);
    auto open = open_.find(key);
    if (open != open_.end() && scan_.streams[open->second].codingByte != s.sub[3]) {
      const XaStream& old = scan_.streams[open->second];
      Problem(SectorText(s) + ": file " + std::to_string(s.sub[0]) + " channel " + std::to_string(s.sub[1]) +
              " changes its coding from " + XaCodingText(old.coding) + " to " + XaCodingText(*v.coding) +
              "; a new stream starts here");
      open_.erase(open);
      open = open_.end();
    }
    if (open == open_.end()) open = open_.emplace(key, Start(s, *v.coding, where)).first;
    XaStream& stream = scan_.streams[open->second];
    stream.audio.push_back(s.dataOffset);
    stream.lastLba = s.lba;
    if (s.sub[2] & kSubmodeEof) {
      stream.eof = true;
      open_.erase(open);
    }
  }

  void Finish() {
    if (disagreeing_ > 0) {
      Problem(std::to_string(disagreeing_) + " audio sectors whose subheader copies disagree (the first copy used)");
    }
    for (const XaStream& st : scan_.streams) {
      if (st.audio.size() == 1) {
        Problem("sector " + std::to_string(st.firstLba) + ": a lone audio sector of file " +
                std::to_string(st.fileNumber) + " channel " + std::to_string(st.channel) + "; written");
      }
    }
  }

 private:
  static std::string Hex(std::uint8_t b) {
    const char* digits = "0123456789abcdef";
    return {digits[b >> 4], digits[b & 15]};
  }

  void Problem(const std::string& line) {
    if (scan_.problems.size() < kMaxProblems) scan_.problems.push_back(line);
    else if (scan_.problems.size() == kMaxProblems) scan_.problems.push_back("more stream problems not listed");
  }

  DiscLocation Locate(std::int64_t lba) const {
    if (map_.files.empty() || lba < 0 || lba >= LogicalView::kNoLba) return {};
    return map_.Locate(static_cast<std::uint32_t>(lba), 0);
  }

  std::size_t Start(const Mode2Sector& s, const XaCoding& coding, const DiscLocation& where) {
    XaStream st;
    st.fileNumber = s.sub[0];
    st.channel = s.sub[1];
    st.codingByte = s.sub[3];
    st.coding = coding;
    st.discFile = where.file;
    st.offsetInFile = where.offsetInFile;
    st.imageOffset = s.imageOffset;
    st.firstLba = st.lastLba = s.lba;
    scan_.streams.push_back(std::move(st));
    return scan_.streams.size() - 1;
  }

  const FileMap& map_;
  XaScan& scan_;
  std::map<std::tuple<const DiscFile*, std::uint8_t, std::uint8_t>, std::size_t> open_;
  std::uint64_t disagreeing_ = 0;
};

}  // namespace

std::optional<XaCoding> ReadXaCoding(std::uint8_t coding) {
  if ((coding & 0x03) > 1 || ((coding >> 2) & 0x03) > 1 || ((coding >> 4) & 0x03) > 1 || (coding & 0x80)) {
    return std::nullopt;
  }
  XaCoding c;
  c.channels = (coding & 0x03) ? 2 : 1;
  c.rate = (coding & 0x0C) ? 18900 : 37800;
  c.bits = (coding & 0x30) ? 8 : 4;
  c.emphasis = (coding & 0x40) != 0;
  return c;
}

std::string XaCodingText(const XaCoding& coding) {
  return std::to_string(coding.bits) + "-bit " + (coding.channels == 2 ? "stereo " : "mono ") +
         std::to_string(coding.rate) + " Hz" + (coding.emphasis ? " emphasis" : "");
}

void DecodeXaSector(ByteSpan audio, const XaCoding& coding, XaHistory& history, std::vector<std::int16_t>& out) {
  if (audio.size() < kXaAudioBytes) return;
  const std::uint32_t units = coding.bits == 4 ? 8 : 4;
  const std::size_t base = out.size();
  out.resize(base + std::size_t{kXaGroups} * units * 28);
  std::int16_t* dst = out.data() + base;
  for (std::uint32_t g = 0; g < kXaGroups; ++g) {
    const ByteSpan group = audio.subspan(std::size_t{g} * kXaGroupBytes, kXaGroupBytes);
    for (std::uint32_t u = 0; u < units; ++u) {
      if (coding.channels == 1) {
        DecodeUnit(group, u, coding.bits, history.h1[0], history.h2[0], dst + u * 28, 1);
      } else {
        // Even units left, odd units right: unit pair p fills frames 28p .. 28p+27.
        const std::uint32_t c = u & 1;
        DecodeUnit(group, u, coding.bits, history.h1[c], history.h2[c], dst + (u >> 1) * 56 + c, 2);
      }
    }
    dst += units * 28;
  }
}

XaScan ScanXaStreams(ByteSpan image, const SectorLayout& layout, const FileMap& map) {
  XaScan scan;
  Grouper grouper(map, scan);
  WalkMode2Sectors(image, layout, [&](const Mode2Sector& s) { grouper.Add(s); });
  grouper.Finish();
  return scan;
}

}  // namespace psxdig::streams
