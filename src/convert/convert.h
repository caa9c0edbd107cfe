// Playable output from PlayStation sound data: sequences (SEQ, SEP) to
// Standard MIDI Files, VAB banks to a SoundFont 2 and one WAV per sample.
// Pure functions over read-only byte spans; the caller writes the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/vab.h"
#include "core/bytes.h"

namespace psxdig::convert {

// One output file: `suffix` goes behind the item's base name (".mid",
// "_2.mid", ".sf2", "_7.wav").
struct ConvertedFile {
  std::string suffix;
  std::vector<std::uint8_t> bytes;
};

// What a conversion produced. A failed conversion has a one-line `error`;
// files converted before the failure are still listed.
struct ConvertResult {
  std::vector<ConvertedFile> files;
  std::string error;
  std::uint32_t droppedBankSelect = 0;  // bank selects left out of the MIDI files
};

enum class ItemKind { kUnknown, kSequence, kBank };

// What the file starts with: a sequence magic or a VAB header.
ItemKind IdentifyItem(ByteSpan file);

// Size of the VAB header at the start of `file`, 0 when there is none. A
// .vab holds its body right behind it.
std::size_t BankHeaderSize(ByteSpan file);

// A SEQ gives ".mid"; a SEP gives "_<sequence id>.mid" for each sequence.
// Stops at the first malformed sequence. `bends` (from the bank the
// sequence plays with, when known) gives each program change its
// pitch-bend range.
ConvertResult ConvertSequence(ByteSpan file, const BendRanges* bends = nullptr);

// The pitch-bend ranges of a bank's programs from its header (a .vh, or a
// .vab, whose body is not needed). `error` is set when there is no usable
// header.
struct BankBends {
  BendRanges ranges{};
  std::string error;
};
BankBends ReadBankBends(ByteSpan header);

// A VAB header and its body give ".sf2" (named `bankName` inside) and,
// with `wav`, "_<vag number>.wav" for every sample (numbered from 1, as the
// tones refer to them).
ConvertResult ConvertBank(ByteSpan header, ByteSpan body, const std::string& bankName, bool wav);

// A .seq/.sep/.vab file as a whole (a .vh needs its .vb: use ConvertBank).
ConvertResult ConvertFile(ByteSpan file, const std::string& bankName, bool wav);

}  // namespace psxdig::convert
