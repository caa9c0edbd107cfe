// The sequencer on arbitrary SEQ bytes over a small fixed bank: every render
// ends (bounded here at 2 seconds of output), its PCM matches its length,
// and nothing is read outside the input. Selector 0: the bytes are a whole
// sequence file; 1: the bytes are the events of a SEQ whose resolution and
// tempo come from the parameters, with loops and fade.
#include "convert/seq_smf.h"
#include "fuzz.h"
#include "image_audio.h"
#include "render/render.h"

namespace {

using psxdig::fuzz::Params;
using psxdig::tools::Bytes;

const psxdig::render::PlayableBank& Bank() {
  static const Bytes vab = psxdig::tools::MakeTestVab(
      {{0, 0, 127, 60, 0, 127, 64, 0x000F, 0x1FC0, 1}, {0, 40, 90, 72, 16, 100, 20, 0x8A7B, 0x5FED, 2},
       {1, 0, 127, 60, 0, 127, 100, 0x00FF, 0x4FC5, 2}, {2, 0, 127, 60, 0, 127, 64, 0x000F, 0x1FC0, 3}},
      {psxdig::tools::EncodeAdpcm(psxdig::tools::MakeSine(28 * 6, 30, 12000), psxdig::tools::AdpcmEnd::kLoop, 2),
       psxdig::tools::EncodeAdpcm(psxdig::tools::MakeSine(28 * 4, 20, 9000), psxdig::tools::AdpcmEnd::kEndFlag),
       Bytes(8, 0)});  // a sample shorter than a block
  static const psxdig::render::PlayableBank bank = psxdig::render::LoadBankFile(vab);
  return bank;
}

void Check(const psxdig::convert::Sequence& seq, const psxdig::render::RenderSettings& settings) {
  const psxdig::render::RenderedSong song = psxdig::render::RenderSequence(seq, Bank(), settings);
  FUZZ_CHECK(song.error.empty() == (seq.resolution != 0));
  FUZZ_CHECK(song.pcm.size() == 2 * song.ticks);
  FUZZ_CHECK(song.ticks <= settings.maxTicks);
}

void WholeFile(Params& p) {
  psxdig::render::RenderSettings settings;
  settings.maxTicks = 2 * 44100;
  const psxdig::convert::SequenceFile split = psxdig::convert::SplitSequenceFile(p.Rest());
  for (const auto& seq : split.sequences) Check(seq, settings);
}

void Events(Params& p) {
  psxdig::render::RenderSettings settings;
  settings.maxTicks = 2 * 44100;
  settings.loops = 1 + p.U8() % 4;
  settings.fadeSeconds = p.U8() / 32.0;
  settings.gainDb = static_cast<std::int8_t>(p.U8()) / 4.0;
  psxdig::convert::Sequence seq;
  seq.resolution = p.U16();
  seq.tempo = p.U32() & 0xFFFFFF;
  seq.events = p.Rest();
  Check(seq, settings);
}

constexpr psxdig::fuzz::Parser kParsers[] = {WholeFile, Events};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return psxdig::fuzz::Dispatch(kParsers, data, size);
}
