// Render speed on one core, in multiples of real time, for a dense generated
// song: a bank of looping tones and a 3-minute sequence that keeps all 24
// voices busy (24 held notes on 8 channels, struck again every beat, with
// volume, pan and pitch-bend changes between).
//   psxdig_render_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "convert/seq_smf.h"
#include "image_audio.h"
#include "render/render.h"

namespace {

using psxdig::tools::Bytes;

Bytes DenseSong(std::uint32_t beats) {
  Bytes e;
  for (std::uint8_t c = 0; c < 8; ++c) e.insert(e.end(), {0x00, static_cast<std::uint8_t>(0xC0 | c), static_cast<std::uint8_t>(c % 4)});
  for (std::uint32_t beat = 0; beat < beats; ++beat) {
    for (std::uint8_t v = 0; v < 24; ++v) {
      const std::uint8_t c = v % 8;
      const std::uint8_t key = static_cast<std::uint8_t>(36 + (v * 7 + beat * 5) % 48);
      e.insert(e.end(), {0x00, static_cast<std::uint8_t>(0x90 | c), key, static_cast<std::uint8_t>(60 + v)});
    }
    e.insert(e.end(), {0x00, 0xB1, 10, static_cast<std::uint8_t>(beat % 128), 0x00, 0xE2, 0x00,
                       static_cast<std::uint8_t>(0x30 + beat % 32)});
    // 479 ticks later every note of the beat is released, one tick before the next.
    for (std::uint8_t v = 0; v < 24; ++v) {
      const std::uint8_t c = v % 8;
      const std::uint8_t key = static_cast<std::uint8_t>(36 + (v * 7 + beat * 5) % 48);
      if (v == 0) e.insert(e.end(), {0x83, 0x5F});
      else e.push_back(0x00);
      e.insert(e.end(), {static_cast<std::uint8_t>(0x80 | c), key, 0x00});
    }
    e.push_back(0x01);
    e.insert(e.end(), {0xB0, 7, static_cast<std::uint8_t>(100 + beat % 27)});
  }
  e.insert(e.end(), {0x00, 0xFF, 0x2F, 0x00});
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  using namespace psxdig::tools;
  // Four programs of one tone each, long looping samples, slow release.
  std::vector<TestTone> tones;
  for (std::uint8_t p = 0; p < 4; ++p) tones.push_back({p, 0, 127, 60, 0, 110, 64, 0x00FF, 0x1FC8, static_cast<std::uint16_t>(p + 1)});
  std::vector<Bytes> samples;
  for (int k = 0; k < 4; ++k) samples.push_back(EncodeAdpcm(MakeSine(28 * 200, 37.0 + 11 * k, 9000), AdpcmEnd::kLoop, 2));
  const Bytes vab = MakeTestVab(tones, samples);
  const std::uint32_t beats = 360;  // 3 minutes at 120 BPM
  const Bytes seq = MakeSeqFile(480, 500000, DenseSong(beats));
  const psxdig::convert::SequenceFile split = psxdig::convert::SplitSequenceFile(seq);
  const psxdig::render::PlayableBank bank = psxdig::render::LoadBankFile(vab);
  // Wall time, and the process's CPU time (the machine may be shared).
  std::vector<double> times, cpu;
  double seconds = 0;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t startCpu = std::clock();
    const psxdig::render::RenderedSong song = psxdig::render::RenderSequence(split.sequences.at(0), bank, {});
    cpu.push_back(static_cast<double>(std::clock() - startCpu) / CLOCKS_PER_SEC);
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    seconds = song.seconds();
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu.begin(), cpu.end());
  const double median = times[times.size() / 2], medianCpu = cpu[cpu.size() / 2];
  std::printf("render: %.1f s of music (24 voices busy), median of %d runs: %.3f s wall = %.0f x real time;"
              " %.3f s CPU = %.0f x real time on one core\n",
              seconds, runs, median, seconds / median, medianCpu, seconds / medianCpu);
  return 0;
}
