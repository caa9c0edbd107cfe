// PlayStation sequences (SEQ, and SEP holding several) to Standard MIDI Files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/vab.h"
#include "core/bytes.h"

namespace psxdig::convert {

// One sequence of a SEQ or SEP file: its header values and its event stream.
struct Sequence {
  std::uint32_t id = 0;          // position in a SEP; 0 for a SEQ
  std::uint32_t resolution = 0;  // ticks per quarter note
  std::uint32_t tempo = 0;       // microseconds per quarter note
  std::uint8_t numerator = 4;
  std::uint8_t denominator = 2;  // power of two
  std::uint64_t eventsOffset = 0;  // where the events start in the file
  ByteSpan events;
};

struct SequenceFile {
  bool sep = false;
  std::vector<Sequence> sequences;
  std::string error;  // set when the file is no sequence or a record is cut short
};

// True when the file starts with a sequence magic ("pQES", or "SEQp" as
// stored byte-reversed).
bool IsSequenceFile(ByteSpan file);

// Splits a SEQ (one sequence, events from byte 15 to the end) or a SEP
// (records of 13-byte header + events from byte 6, with IDs 0, 1, 2...).
SequenceFile SplitSequenceFile(ByteSpan file);

// One event of a sequence's stream as stored: delta time, status (running
// status resolved; 0xFF for a meta event) and its data bytes. A meta event's
// data is its type, then for a tempo the three tempo bytes.
struct SeqEvent {
  std::uint64_t offset = 0;  // of its delta time in the event stream
  std::uint32_t delta = 0;
  std::uint8_t status = 0;
  std::uint8_t size = 0;     // data bytes used
  std::uint8_t data[4] = {0, 0, 0, 0};
  bool IsEndOfTrack() const { return status == 0xFF && data[0] == 0x2F; }
  bool IsTempo() const { return status == 0xFF && data[0] == 0x51; }
  std::uint32_t Tempo() const { return (std::uint32_t{data[1]} << 16) | (data[2] << 8) | data[3]; }
};

// "event at 0x<offset in the sequence file>: <what>", for a fault at `pos`
// of the sequence's event stream.
std::string EventFault(const Sequence& seq, std::uint64_t pos, const std::string& what);

// Reads the events of a stream one by one: delta time (at most 4 bytes),
// running status (which meta events carry too), meta events without a
// length byte (only tempo and end of track have a known size), channel
// data below 0x80.
class SeqEventReader {
 public:
  enum class Read { kEvent, kEnd, kError };
  // Where the next event starts, with the running status in force there.
  struct Mark {
    std::size_t pos = 0;
    std::uint8_t running = 0;
  };

  explicit SeqEventReader(ByteSpan events) : in_(events) {}
  // kEnd when no byte is left; kError (with `error`, and event.offset set)
  // when the next event is cut short or not understood.
  Read Next(SeqEvent& event, std::string& error);
  Mark mark() const { return {pos_, running_}; }
  void Seek(Mark m) { pos_ = m.pos, running_ = m.running; }

 private:
  bool ReadDelta(std::uint32_t& value);
  bool Data(SeqEvent& event, std::size_t n, bool sevenBit, std::string& error);

  ByteSpan in_;
  std::size_t pos_ = 0;
  std::uint8_t running_ = 0;
};

struct SmfResult {
  std::vector<std::uint8_t> smf;  // empty on error
  std::string error;
  std::uint32_t droppedBankSelect = 0;  // CC 0 / CC 32 events left out
};

// A format-0 Standard MIDI File: tempo and time signature at tick 0, then
// every event with its full status byte, meta events with their length,
// "loopStart"/"loopEnd" markers behind the loop controllers (CC 99 = 20 /
// 30) and one end of track. Stops with an error at the first event that
// runs past the data, an unknown status or meta type, a data byte of 0x80 or
// more, a missing end of track, or a stream with no channel event.
// Bank selects (CC 0, CC 32) are left out (their delta times carried to the
// next event): the bank is the VAB. With `bends` (from the sequence's bank),
// every program change is followed by the program's pitch-bend range as
// RPN 0 and the null RPN; without, no RPN is written.
SmfResult SequenceToSmf(const Sequence& seq, const BendRanges* bends = nullptr);

}  // namespace psxdig::convert
