// Sequences played with their sound bank the way the console plays them:
// the sound library's sequencer (tempo clock, note-on layering over a
// program's tones, pitch and volume rules, 24 voices and their stealing,
// loop markers) over the sound chip's voices, into 16-bit stereo PCM at
// 44100 Hz. Integer and deterministic; no I/O.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "convert/seq_smf.h"
#include "convert/vab.h"
#include "core/bytes.h"
#include "render/voice.h"

namespace psxdig::render {

// 30 minutes of output: no render is longer.
inline constexpr std::uint64_t kMaxTicks = 30ull * 60 * kRate;

// A VAB ready to play: programs by number and each sample's whole blocks.
struct PlayableBank {
  convert::VabBank vab;
  std::array<std::int16_t, 128> programOf{};  // index into vab.programs, -1 for none
  std::vector<VoiceSample> samples;           // sample k + 1 at index k
  std::vector<std::string> warnings;
  std::string error;  // the bank cannot be played
};

// A header and its body; a body shorter than the header's sample sizes
// gives cut samples and a warning, not an error.
PlayableBank LoadBank(ByteSpan header, ByteSpan body);
// A .vab file: its header and the body behind it.
PlayableBank LoadBankFile(ByteSpan file);

struct RenderSettings {
  std::uint32_t loops = 2;   // passes of a loop that repeats forever (at least 1)
  double fadeSeconds = 10;   // fade after the last pass
  double gainDb = 0;
  std::uint64_t maxTicks = kMaxTicks;
  // Decoded blocks a render keeps for all voices of a sample (28 samples
  // each; the output is the same whatever the number).
  std::uint64_t sharedBlocks = 1u << 18;
  // Called now and then with the output ticks done and the expected total.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress;
};

struct RenderedSong {
  std::vector<std::int16_t> pcm;  // left, right, left, right...
  std::uint64_t ticks = 0;        // output frames
  bool capped = false;            // stopped at settings.maxTicks
  std::vector<std::string> warnings;
  std::string error;              // set when nothing could be rendered
  double seconds() const { return static_cast<double>(ticks) / kRate; }
};

// One sequence (of a SEQ or SEP) with a bank.
RenderedSong RenderSequence(const convert::Sequence& seq, const PlayableBank& bank, const RenderSettings& settings);

// Output ticks a sequence's events take (up to the end of track, or to the
// end of the fade of a loop that repeats forever), for progress displays.
std::uint64_t SequenceTicks(const convert::Sequence& seq, const RenderSettings& settings);

// The library's pitch register for `key` on a tone (centre note, fine tune
// in 1/128 semitone, of which it uses 1/16 steps) under a 14-bit pitch bend
// (8192 = none) with the tone's bend ranges in semitones.
std::uint32_t NotePitch(std::uint8_t key, std::uint8_t center, std::uint8_t shift, std::uint16_t bend,
                        std::uint8_t bendDown, std::uint8_t bendUp);

// What the voice allocator sees of a voice.
struct VoiceSlot {
  bool on = false;
  bool releasing = false;
  std::int32_t level = 0;
  std::uint8_t priority = 0;  // of its tone
  std::uint64_t order = 0;    // key-on order
};
// The voice a starting note takes: a free one (lowest number), else the
// releasing one with the lowest level (lowest number on a tie), else the one
// of the lowest tone priority whose key on came first.
int PickVoice(const VoiceSlot (&slots)[24]);

}  // namespace psxdig::render
