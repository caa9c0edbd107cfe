// Playable test material for the converters: an SPU ADPCM encoder, tones
// with known pitch and loops, sequences with known notes and tempo, VAB
// banks with known tones and envelopes, and the convert test set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_builder.h"

namespace psxdig::tools {

using Pcm = std::vector<std::int16_t>;

// How an encoded sample ends.
enum class AdpcmEnd {
  kLoop,        // loop from `loopBlock` to the last block (flags 06, 02..., 03)
  kEndFlag,     // one-shot, the last data block carries the end flag (01)
  kSilentLoop,  // one-shot closed by a silent block that loops (07)
};

// SPU ADPCM of `pcm` (zero-padded to whole blocks of 28) behind one zero
// block: for every block the filter and shift that decode (as the console
// does) closest to the input. `loopBlock` counts the zero block as block 0.
Bytes EncodeAdpcm(const Pcm& pcm, AdpcmEnd end, std::uint32_t loopBlock = 1);

// `samples` points of a sine of `period` points and `amplitude`, fading
// linearly to 0 over the last `fade` points.
Pcm MakeSine(std::uint32_t samples, double period, int amplitude, std::uint32_t fade = 0);

// A sequence file: "pQES" (or "SEQp" with `reversed`), version 1, the
// header values and `events` (whose end of track is included).
Bytes MakeSeqFile(std::uint16_t resolution, std::uint32_t tempo, const Bytes& events, bool reversed = false);
// A SEP: "pQES", version 0 and one record (ID 0, 1...) per event stream.
Bytes MakeSepFile(std::uint16_t resolution, std::uint32_t tempo, const std::vector<Bytes>& events);

// Notes of a test sequence and what a player must find in it.
struct TestSong {
  Bytes events;
  std::uint32_t noteOns = 0;
  std::uint32_t ticks = 0;
  double seconds = 0;
};
// Program changes, then `keys` played one after another (each `noteTicks`
// long, notes off by running status with velocity 0) on the channels of
// `channels` (key k on channels[k % size]), loop controllers around the
// notes with `loop`, a tempo change to `tempo2` half way (by running status
// after a meta event) and the end of track.
struct SongPlan {
  std::vector<std::uint8_t> channels;
  std::vector<std::uint8_t> programs;  // per channel
  std::vector<std::uint8_t> keys;
  std::uint32_t noteTicks = 240;
  std::uint32_t resolution = 480;
  std::uint32_t tempo = 500000;
  std::uint32_t tempo2 = 400000;
  bool loop = false;
  bool bankSelect = false;  // CC 0 = 48 and CC 32 = 1 on the first channel, before the program changes
};
TestSong MakeSong(const SongPlan& plan);

// A tone of a test bank.
struct TestTone {
  std::uint8_t program = 0;
  std::uint8_t minKey = 0, maxKey = 127, center = 60, shift = 0, volume = 127, pan = 64;
  std::uint16_t adsr1 = 0x80FF, adsr2 = 0x5FC0;
  std::uint16_t vag = 1;
  std::uint8_t bend = 2;  // pitch-bend range down and up, semitones
  std::uint8_t mode = 0;  // 4: reverb
};
// A VAB (header, then body with `samples` back to back, each a multiple of
// 8 bytes). Program records get volume 127 and pan 64.
Bytes MakeTestVab(const std::vector<TestTone>& tones, const std::vector<Bytes>& samples);

// Writes the convert test set into `folder`: banks (tone.vab, split.vh +
// split.vb), sequences (song.seq, reversed.seq, multi.sep) and expect.txt
// with one line per MIDI file: "<mid> <sf2> <format> <tracks> <division>
// <tempo> <note-ons> <seconds>"; envelope tones (env.vab, one env_<n>.seq
// holding one note per program, env.txt: "<seq> <adsr1 hex> <adsr2 hex>
// <held seconds>"); bend.vab (program 0 bends 0, program 1 12 semitones)
// with bend_0.seq / bend_12.seq (key 69 plain for 0.5 s, then bent full up
// for 0.5 s) and clip.seq (program 0: key 64 then key 94, 0.5 s each).
// False when a file cannot be written.
bool WriteConvertSet(const std::string& folder);

}  // namespace psxdig::tools
