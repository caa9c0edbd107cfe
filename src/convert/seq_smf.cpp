#include "convert/seq_smf.h"

#include <algorithm>
#include <cstdio>

#include "convert/convert_bytes.h"

namespace psxdig::convert {
namespace {

constexpr std::uint8_t kMagic[4] = {'p', 'Q', 'E', 'S'};
constexpr std::uint8_t kMagicReversed[4] = {'S', 'E', 'Q', 'p'};
constexpr std::size_t kSeqHeaderSize = 15;
constexpr std::size_t kSepFirstRecord = 6;
constexpr std::size_t kSepRecordHeader = 13;

std::string Hex(std::uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

void AppendVlq(Bytes& out, std::uint32_t v) {
  std::uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
    v >>= 7;
  } while (v != 0 && n < 5);
  while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
  out.push_back(groups[0]);
}

void AppendMarker(Bytes& track, const std::string& text) {
  AppendVlq(track, 0);
  AppendBE(track, 0xFF06, 2);
  AppendVlq(track, static_cast<std::uint32_t>(text.size()));
  AppendText(track, text);
}

// Walks one event stream, writing the SMF track events as it goes.
class EventWalker {
 public:
  EventWalker(const Sequence& seq, const BendRanges* bends, Bytes& track)
      : seq_(seq), bends_(bends), in_(seq.events), track_(track) {}

  std::uint32_t droppedBankSelect() const { return dropped_; }

  // Empty on success.
  std::string Walk() {
    while (pos_ < in_.size()) {
      const std::uint64_t eventAt = pos_;
      std::uint32_t delta = 0;
      if (!ReadDelta(delta)) return At(eventAt, "delta time runs past the data or exceeds 4 bytes");
      if (pos_ >= in_.size()) return At(eventAt, "event runs past the data");
      std::string error;
      if (const std::uint8_t first = in_[pos_]; first >= 0x80) {
        ++pos_;
        running_ = first;
      } else if (running_ == 0) {
        return At(eventAt, "data byte " + Hex(first) + " without a status byte");
      }
      if (pendingDelta_ + delta > kMaxDelta) {
        // The time of the events left out no longer fits one delta: an
        // empty text event carries it.
        WriteDelta();
        AppendBE(track_, 0xFF0100, 3);
      }
      pendingDelta_ += delta;
      if (running_ == 0xFF) {
        if (!Meta(eventAt, error)) return error;
        if (ended_) break;
      } else if (!Channel(eventAt, error)) {
        return error;
      }
    }
    if (!ended_) return At(pos_, "the events end without an end of track");
    if (channelEvents_ == 0) return "the sequence has no events";
    return {};
  }

 private:
  std::string At(std::uint64_t pos, const std::string& what) const {
    return "event at " + Hex(seq_.eventsOffset + pos) + ": " + what;
  }

  bool ReadDelta(std::uint32_t& value) {
    for (int n = 0; n < 4; ++n) {
      if (pos_ >= in_.size()) return false;
      const std::uint8_t b = in_[pos_++];
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }

  // The next n bytes of the event; channel data must stay below 0x80.
  bool Data(std::uint64_t eventAt, std::size_t n, std::uint8_t* out, std::string& error, bool sevenBit = true) {
    if (!HasBytes(in_, pos_, n)) {
      error = At(eventAt, "event runs past the data");
      return false;
    }
    for (std::size_t k = 0; k < n; ++k) {
      out[k] = in_[pos_ + k];
      if (sevenBit && out[k] >= 0x80) {
        error = At(eventAt, "data byte " + Hex(out[k]) + " of status " + Hex(running_));
        return false;
      }
    }
    pos_ += n;
    return true;
  }

  bool Meta(std::uint64_t eventAt, std::string& error) {
    std::uint8_t type = 0;
    if (!HasBytes(in_, pos_, 1)) {
      error = At(eventAt, "event runs past the data");
      return false;
    }
    type = in_[pos_++];
    WriteDelta();
    if (type == 0x2F) {
      AppendBE(track_, 0xFF2F00, 3);
      ended_ = true;
      return true;
    }
    if (type != 0x51) {
      error = At(eventAt, "unsupported meta event type " + Hex(type));
      return false;
    }
    std::uint8_t tempo[3];
    if (!Data(eventAt, 3, tempo, error, false)) return false;
    AppendBE(track_, 0xFF5103, 3);
    track_.insert(track_.end(), tempo, tempo + 3);
    return true;
  }

  bool Channel(std::uint64_t eventAt, std::string& error) {
    const std::uint8_t kind = running_ & 0xF0;
    if (kind == 0xF0) {
      error = At(eventAt, "unsupported status " + Hex(running_));
      return false;
    }
    const std::size_t n = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    std::uint8_t data[2] = {0, 0};
    if (!Data(eventAt, n, data, error)) return false;
    ++channelEvents_;
    if (IsBankSelect(kind, data[0])) {
      ++dropped_;  // the bank is the VAB given, not one the player should look for
      return true;
    }
    WriteDelta();
    track_.push_back(running_);
    track_.insert(track_.end(), data, data + n);
    if (kind == 0xC0) WriteBendRange(data[0]);
    if (kind == 0xB0 && data[0] == 99 && data[1] == 20) AppendMarker(track_, "loopStart");
    if (kind == 0xB0 && data[0] == 99 && data[1] == 30) AppendMarker(track_, "loopEnd");
    return true;
  }

  static bool IsBankSelect(std::uint8_t kind, std::uint8_t controller) {
    return kind == 0xB0 && (controller == 0 || controller == 32);
  }

  // The delta of the event about to be written, with those of the events
  // left out before it.
  void WriteDelta() {
    AppendVlq(track_, static_cast<std::uint32_t>(pendingDelta_));
    pendingDelta_ = 0;
  }

  // RPN 0 (pitch-bend sensitivity) for the program just selected, then the
  // null RPN so that later data entries of the sequence leave it alone.
  void WriteBendRange(std::uint8_t program) {
    if (bends_ == nullptr || (*bends_)[program] < 0) return;
    const std::uint8_t channel = running_ & 0x0F;
    const std::uint8_t semitones = static_cast<std::uint8_t>(std::min((*bends_)[program], 127));
    const std::uint8_t controls[6][2] = {{101, 0}, {100, 0}, {6, semitones}, {38, 0}, {101, 127}, {100, 127}};
    for (const auto& c : controls) {
      track_.insert(track_.end(), {0x00, static_cast<std::uint8_t>(0xB0 | channel), c[0], c[1]});
    }
  }

  static constexpr std::uint64_t kMaxDelta = 0x0FFFFFFF;  // what four VLQ bytes hold

  const Sequence& seq_;
  const BendRanges* bends_;
  ByteSpan in_;
  Bytes& track_;
  std::size_t pos_ = 0;
  std::uint8_t running_ = 0;
  bool ended_ = false;
  std::uint32_t channelEvents_ = 0;
  std::uint64_t pendingDelta_ = 0;
  std::uint32_t dropped_ = 0;
};

}  // namespace

bool IsSequenceFile(ByteSpan file) {
  return BytesAt(file, 0, kMagic, 4) || BytesAt(file, 0, kMagicReversed, 4);
}

SequenceFile SplitSequenceFile(ByteSpan file) {
  SequenceFile result;
  if (!IsSequenceFile(file) || file.size() < 8) {
    result.error = "not a SEQ or SEP file";
    return result;
  }
  if (ReadBE(file, 4, 4) == 1) {
    if (file.size() < kSeqHeaderSize) {
      result.error = "the SEQ header is cut short";
      return result;
    }
    Sequence seq;
    seq.resolution = ReadBE(file, 8, 2);
    seq.tempo = ReadBE(file, 10, 3);
    seq.numerator = file[13];
    seq.denominator = file[14];
    seq.eventsOffset = kSeqHeaderSize;
    seq.events = file.subspan(kSeqHeaderSize);
    result.sequences.push_back(seq);
    return result;
  }
  if (ReadBE(file, 4, 2) != 0) {
    result.error = "unknown sequence version " + Hex(ReadBE(file, 4, 4));
    return result;
  }
  result.sep = true;
  std::size_t pos = kSepFirstRecord;
  while (HasBytes(file, pos, kSepRecordHeader) && ReadBE(file, pos, 2) == result.sequences.size()) {
    Sequence seq;
    seq.id = ReadBE(file, pos, 2);
    seq.resolution = ReadBE(file, pos + 2, 2);
    seq.tempo = ReadBE(file, pos + 4, 3);
    seq.numerator = file[pos + 7];
    seq.denominator = file[pos + 8];
    const std::uint32_t size = ReadBE(file, pos + 9, 4);
    seq.eventsOffset = pos + kSepRecordHeader;
    if (!HasBytes(file, seq.eventsOffset, size)) {
      result.error = "sequence " + std::to_string(seq.id) + " claims " + std::to_string(size) +
                     " bytes of events, past the end of the file";
      return result;
    }
    seq.events = file.subspan(seq.eventsOffset, size);
    result.sequences.push_back(seq);
    pos = seq.eventsOffset + size;
  }
  if (result.sequences.empty()) result.error = "the SEP holds no sequence record";
  return result;
}

SmfResult SequenceToSmf(const Sequence& seq, const BendRanges* bends) {
  SmfResult result;
  if (seq.resolution == 0 || seq.resolution >= 0x8000) {
    result.error = "resolution " + std::to_string(seq.resolution) + " is not a tick count";
    return result;
  }
  Bytes track;
  AppendBE(track, 0x00FF5103, 4);
  AppendBE(track, seq.tempo, 3);
  AppendBE(track, 0x00FF5804, 4);
  track.push_back(seq.numerator);
  track.push_back(seq.denominator);
  AppendBE(track, 0x1808, 2);
  EventWalker walker(seq, bends, track);
  result.error = walker.Walk();
  result.droppedBankSelect = walker.droppedBankSelect();
  if (!result.error.empty()) return result;
  Bytes& smf = result.smf;
  AppendText(smf, "MThd");
  AppendBE(smf, 6, 4);
  AppendBE(smf, 0, 2);
  AppendBE(smf, 1, 2);
  AppendBE(smf, seq.resolution, 2);
  AppendText(smf, "MTrk");
  AppendBE(smf, static_cast<std::uint32_t>(track.size()), 4);
  smf.insert(smf.end(), track.begin(), track.end());
  return result;
}

}  // namespace psxdig::convert
