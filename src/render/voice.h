// One voice of the console's sound chip, tick by tick at 44100 Hz: SPU ADPCM
// blocks decoded as they are reached (flags, repeat address), the pitch
// counter, the 4-tap interpolation, the ADSR envelope stepped in integers,
// and the left and right volumes. Identical results on every platform.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bytes.h"

namespace psxdig::render {

inline constexpr std::uint32_t kRate = 44100;

enum class EnvelopePhase : std::uint8_t { kAttack, kDecay, kSustain, kRelease, kOff };

// The ADSR generator of one voice; `adsr1`/`adsr2` in the sound chip's
// register layout.
class Envelope {
 public:
  // Attack from level 0.
  void Start(std::uint16_t adsr1, std::uint16_t adsr2);
  // Release from the current level (nothing when already releasing or off).
  void Release();
  // The sample's end: release with level 0, so the voice ends.
  void Cut() { phase_ = EnvelopePhase::kOff, level_ = 0; }
  // One tick's step: counts down and, when the wait is over, moves the level.
  void Tick() {
    if (--countdown_ == 0) Step();
  }
  EnvelopePhase phase() const { return phase_; }
  std::int32_t level() const { return level_; }

 private:
  friend class Voice;  // keeps the countdown in a register while it renders
  void Step();
  void Enter(EnvelopePhase phase);
  // Step size and wait of the current phase at the current level.
  void Prepare();
  // Decay ends where the level falls to the sustain level.
  bool DecayDone() const { return (level_ >> 11) <= (adsr1_ & 0x0F); }

  std::uint16_t adsr1_ = 0;
  std::uint16_t adsr2_ = 0;
  EnvelopePhase phase_ = EnvelopePhase::kOff;
  std::int32_t level_ = 0;
  std::int32_t step_ = 0;
  std::uint32_t countdown_ = 0;
};

// A voice's sample: whole 16-byte ADPCM blocks.
struct VoiceSample {
  const std::uint8_t* data = nullptr;
  std::uint32_t blocks = 0;
};

// Where a voice is in its sample: the block, the repeat block, the ADPCM
// history, and the window of the last three samples of the previous block
// followed by this block's 28.
struct BlockDecoder {
  VoiceSample sample;
  std::uint32_t block = 0;
  std::uint32_t repeat = 0;
  std::int32_t h1 = 0, h2 = 0;
  std::int16_t window[3 + 28] = {};

  // Block 0 with no history.
  void Start(VoiceSample s);
  // Finishes the current block by its flags and decodes the next one; false
  // when the voice ends there (one-shot end, or past the sample's last block).
  bool Next();
  void Decode();
};

// Every voice of a sample decodes the same blocks from its key on, whatever
// its pitch: the first voice to reach a block decodes it here for all of
// them, as long as the render's budget of cached blocks lasts.
class DecodedStream {
 public:
  // Samples of the stream behind three zeros: block p is at 3 + 28 p.
  const std::int16_t* data() const { return pcm_.data(); }
  std::uint32_t blocks() const { return blocks_; }
  bool ended() const { return ended_; }
  // Decodes the next block (the first one when empty); false when the
  // stream has ended or the budget is spent.
  bool Extend(VoiceSample sample, std::uint64_t& budget);
  // The decoder as it stands after the last block of the stream.
  const BlockDecoder& tail() const { return decoder_; }

 private:
  std::vector<std::int16_t> pcm_;
  std::uint32_t blocks_ = 0;
  bool ended_ = false;
  BlockDecoder decoder_;
};

class Voice {
 public:
  // Key on: first block, no history, attack from 0. With a stream (shared by
  // the voices of the sample) and a budget, decoded blocks are shared.
  void KeyOn(VoiceSample sample, std::uint16_t adsr1, std::uint16_t adsr2, DecodedStream* stream = nullptr,
             std::uint64_t* budget = nullptr);
  void KeyOff() { envelope_.Release(); }
  // Cut at once (the voice is taken for another note).
  void Stop() { envelope_.Cut(); }
  void SetPitch(std::uint32_t pitch) { step_ = pitch > 0x4000 ? 0x4000 : pitch; }
  void SetVolume(std::int32_t left, std::int32_t right) { volL_ = left, volR_ = right; }
  bool on() const { return envelope_.phase() != EnvelopePhase::kOff; }
  const Envelope& envelope() const { return envelope_; }

  // Adds up to `ticks` outputs to `left` and `right`; returns the ticks
  // after which the voice is off (`ticks` when it is still on).
  std::uint32_t Render(std::int32_t* left, std::int32_t* right, std::uint32_t ticks);

 private:
  // The next block, from the stream while it lasts; false when the voice ends.
  bool NextBlock();
  const std::int16_t* Window() const { return stream_ ? stream_->data() + 28 * block_ : own_.window; }

  VoiceSample sample_;
  DecodedStream* stream_ = nullptr;  // null: decoding on its own
  std::uint64_t* budget_ = nullptr;
  std::uint32_t block_ = 0;          // in the stream
  BlockDecoder own_;
  std::uint32_t counter_ = 0;
  std::uint32_t step_ = 0x1000;
  std::int32_t volL_ = 0, volR_ = 0;
  Envelope envelope_;
};

}  // namespace psxdig::render
