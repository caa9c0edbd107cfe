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
      : seq_(seq), bends_(bends), reader_(seq.events), track_(track) {}

  std::uint32_t droppedBankSelect() const { return dropped_; }

  // Empty on success.
  std::string Walk() {
    SeqEvent event;
    std::string error;
    for (;;) {
      const SeqEventReader::Read read = reader_.Next(event, error);
      if (read == SeqEventReader::Read::kEnd) break;
      if (read == SeqEventReader::Read::kError) return At(event.offset, error);
      if (pendingDelta_ + event.delta > kMaxDelta) {
        // The time of the events left out no longer fits one delta: an
        // empty text event carries it.
        WriteDelta();
        AppendBE(track_, 0xFF0100, 3);
      }
      pendingDelta_ += event.delta;
      if (event.IsEndOfTrack()) {
        WriteDelta();
        AppendBE(track_, 0xFF2F00, 3);
        ended_ = true;
        break;
      }
      if (event.IsTempo()) {
        WriteDelta();
        AppendBE(track_, 0xFF5103, 3);
        track_.insert(track_.end(), event.data + 1, event.data + 4);
        continue;
      }
      ++channelEvents_;
      const std::uint8_t kind = event.status & 0xF0;
      if (IsBankSelect(kind, event.data[0])) {
        ++dropped_;  // the bank is the VAB given, not one the player should look for
        continue;
      }
      WriteDelta();
      track_.push_back(event.status);
      track_.insert(track_.end(), event.data, event.data + event.size);
      if (kind == 0xC0) WriteBendRange(event.status & 0x0F, event.data[0]);
      const bool controller = kind == 0xB0 && event.data[0] == 99;
      if (controller && event.data[1] == 20) AppendMarker(track_, "loopStart");
      if (controller && event.data[1] == 30) AppendMarker(track_, "loopEnd");
    }
    if (!ended_) return At(reader_.mark().pos, "the events end without an end of track");
    if (channelEvents_ == 0) return "the sequence has no events";
    return {};
  }

 private:
  std::string At(std::uint64_t pos, const std::string& what) const { return EventFault(seq_, pos, what); }

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
  void WriteBendRange(std::uint8_t channel, std::uint8_t program) {
    if (bends_ == nullptr || (*bends_)[program] < 0) return;
    const std::uint8_t semitones = static_cast<std::uint8_t>(std::min((*bends_)[program], 127));
    const std::uint8_t controls[6][2] = {{101, 0}, {100, 0}, {6, semitones}, {38, 0}, {101, 127}, {100, 127}};
    for (const auto& c : controls) {
      track_.insert(track_.end(), {0x00, static_cast<std::uint8_t>(0xB0 | channel), c[0], c[1]});
    }
  }

  static constexpr std::uint64_t kMaxDelta = 0x0FFFFFFF;  // what four VLQ bytes hold

  const Sequence& seq_;
  const BendRanges* bends_;
  SeqEventReader reader_;
  Bytes& track_;
  bool ended_ = false;
  std::uint32_t channelEvents_ = 0;
  std::uint64_t pendingDelta_ = 0;
  std::uint32_t dropped_ = 0;
};

}  // namespace

std::string EventFault(const Sequence& seq, std::uint64_t pos, const std::string& what) {
  return "event at " + Hex(seq.eventsOffset + pos) + ": " + what;
}

bool SeqEventReader::ReadDelta(std::uint32_t& value) {
  value = 0;
  for (int n = 0; n < 4; ++n) {
    if (pos_ >= in_.size()) return false;
    const std::uint8_t b = in_[pos_++];
    value = (value << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

// The next n bytes of the event; channel data must stay below 0x80.
bool SeqEventReader::Data(SeqEvent& event, std::size_t n, bool sevenBit, std::string& error) {
  if (!HasBytes(in_, pos_, n)) {
    error = "event runs past the data";
    return false;
  }
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t b = in_[pos_ + k];
    if (sevenBit && b >= 0x80) {
      error = "data byte " + Hex(b) + " of status " + Hex(running_);
      return false;
    }
    event.data[event.size++] = b;
  }
  pos_ += n;
  return true;
}

SeqEventReader::Read SeqEventReader::Next(SeqEvent& event, std::string& error) {
  if (pos_ >= in_.size()) return Read::kEnd;
  event = SeqEvent{};
  event.offset = pos_;
  if (!ReadDelta(event.delta)) {
    error = "delta time runs past the data or exceeds 4 bytes";
    return Read::kError;
  }
  if (pos_ >= in_.size()) {
    error = "event runs past the data";
    return Read::kError;
  }
  if (const std::uint8_t first = in_[pos_]; first >= 0x80) {
    ++pos_;
    running_ = first;
  } else if (running_ == 0) {
    error = "data byte " + Hex(first) + " without a status byte";
    return Read::kError;
  }
  event.status = running_;
  if (running_ == 0xFF) {
    if (!Data(event, 1, false, error)) return Read::kError;
    if (event.data[0] == 0x2F) return Read::kEvent;
    if (event.data[0] != 0x51) {
      error = "unsupported meta event type " + Hex(event.data[0]);
      return Read::kError;
    }
    return Data(event, 3, false, error) ? Read::kEvent : Read::kError;
  }
  const std::uint8_t kind = running_ & 0xF0;
  if (kind == 0xF0) {
    error = "unsupported status " + Hex(running_);
    return Read::kError;
  }
  const std::size_t n = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
  return Data(event, n, true, error) ? Read::kEvent : Read::kError;
}

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
