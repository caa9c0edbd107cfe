// The convert command on the generator's convert set, with bad inputs among
// good ones. (The real bank in both of its forms is tools/check_convert.sh's.)
#include <gtest/gtest.h>

#include <algorithm>

#include "image_audio.h"
#include "test_util.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::RunPsxdig;

TEST(ConvertCommand, ConvertsGoodFilesAndReportsBadOnes) {
  testing::TempDir dir;
  ASSERT_EQ(testing::RunMkimage({"convert-set", dir.path().string()}).exitCode, 0);
  const std::string vh = dir.File("split.vh");
  fs::copy_file(vh, dir.File("lonely.vh"));
  testing::WriteBytes(dir.File("empty.seq"), tools::MakeSeqFile(480, 500000, {0x00, 0xFF, 0x2F, 0x00}));
  const std::string out = dir.File("out");
  const testing::RunResult r = RunPsxdig({"convert", dir.File("song.seq"), dir.File("lonely.vh"), dir.File("empty.seq"),
                                          dir.File("multi.sep"), vh, dir.File("split.vb"), "-o", out});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "psxdig convert: " + dir.File("lonely.vh") + ": no .vb body of the same name beside this header\n" +
                       "psxdig convert: " + dir.File("empty.seq") + ": the sequence has no events\n");
  const std::vector<std::string> written = {"multi_0.mid", "multi_1.mid", "song.mid", "split.sf2",
                                            "split_1.wav", "split_2.wav", "split_3.wav", "split_4.wav"};
  std::vector<std::string> listed;
  for (const auto& e : fs::directory_iterator(out)) listed.push_back(e.path().filename().string());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, written);
  std::string lines;
  for (const char* name : {"song.mid", "multi_0.mid", "multi_1.mid", "split.sf2", "split_1.wav",
                                  "split_2.wav", "split_3.wav", "split_4.wav"}) {
    lines += (fs::path(out) / name).string() + "\n";
    if (name == std::string("song.mid")) lines += dir.File("song.seq") + ": 2 bank select events (CC 0, CC 32) left out of the MIDI\n";
  }
  EXPECT_EQ(r.out, lines);

  // --no-wav, and output beside the input when no folder is given.
  EXPECT_EQ(RunPsxdig({"convert", "--no-wav", dir.File("tone.vab")}).exitCode, 0);
  EXPECT_TRUE(fs::exists(dir.File("tone.sf2")));
  EXPECT_FALSE(fs::exists(dir.File("tone_1.wav")));
  // Usage: help, a missing file argument, an unknown option.
  EXPECT_EQ(RunPsxdig({"convert", "--help"}).exitCode, 0);
  EXPECT_EQ(RunPsxdig({"convert"}).exitCode, 2);
  EXPECT_EQ(RunPsxdig({"convert", "--bogus", vh}).exitCode, 2);
}

}  // namespace
}  // namespace psxdig
