// End to end: the built psxdig rips generated images of each game sequence
// format, and one mixed image, written by the built generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "image_gameseq.h"
#include "test_util.h"

namespace psxdig {
namespace {

using tools::GameSeqPlanted;

struct ImageCase {
  const char* name;  // generator image
  const char* ext;   // extension of every written file
  bool padded;       // files padded to a multiple of 4
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

struct Row {
  std::string ext;
  unsigned no = 0, start = 0, end = 0, size = 0;
  bool operator==(const Row&) const = default;
};
void PrintTo(const Row& r, std::ostream* os) { *os << r.ext << "," << r.no << "," << r.start << "-" << r.end << "," << r.size; }

std::vector<Row> ReadRows(const std::string& csv) {
  std::vector<Row> rows;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    Row r;
    char ext[16] = "";
    if (std::sscanf(line.c_str(), "%15[^,],%u,%u-%u,%*[^,],%u,", ext, &r.no, &r.start, &r.end,
                    &r.size) == 5) {
      r.ext = ext;
      rows.push_back(r);
    }
  }
  return rows;
}

class GameSeqRip : public ::testing::TestWithParam<ImageCase> {
 protected:
  // Writes the image with the generator and rips it.
  testing::RunResult Rip(const std::string& fileName) {
    path_ = dir_.File(fileName);
    const auto made = testing::RunMkimage({std::string("gameseq-") + GetParam().name, path_});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    image_ = tools::BuildGameSeqImage(GetParam().name, &planted_);
    EXPECT_EQ(testing::ReadBytes(path_), image_);
    return testing::RunPsxdig({"rip", path_, "0", "100"});
  }

  testing::TempDir dir_;
  std::string path_;
  tools::Bytes image_;
  std::vector<GameSeqPlanted> planted_;
};

TEST_P(GameSeqRip, WritesAndListsEveryAcceptedItemAndNothingForRejectedOnes) {
  const ImageCase& c = GetParam();
  const auto run = Rip("game.bin");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ASSERT_GE(planted_.size(), 4u);
  const auto count = static_cast<unsigned>(planted_.size());

  std::vector<std::string> expectedFiles = {"game.bin", "game.bin.csv"};
  std::vector<Row> expectedRows;
  for (unsigned i = 0; i < count; ++i) {
    const GameSeqPlanted& p = planted_[i];
    const std::string name = "game.bin_" + std::to_string(i + 1) + c.ext;
    const std::string progress = "Create " + std::string(c.ext) + " " + std::to_string(i + 1);
    if (p.size == 0) {
      EXPECT_FALSE(testing::fs::exists(dir_.File(name))) << p.note;
      continue;
    }
    expectedFiles.push_back(name);
    expectedRows.push_back({c.ext, i + 1, p.start, p.start + p.size - 1, p.size});
    tools::Bytes want(image_.begin() + p.start, image_.begin() + p.start + p.size);
    if (c.padded) want.resize((want.size() + 3) / 4 * 4, 0);
    EXPECT_EQ(testing::ReadBytes(dir_.File(name)), want) << name << ": " << p.note;
  }
  if (std::string(c.ext) == ".seqq") {
    expectedFiles.push_back("game.bin_1.vb");
    expectedFiles.push_back("game.bin_2.vb");
    EXPECT_EQ(testing::ReadBytes(dir_.File("game.bin_1.vb")).size(), 0u);
    EXPECT_EQ(testing::ReadBytes(dir_.File("game.bin_2.vb")).size(), 0u);
  }
  std::sort(expectedFiles.begin(), expectedFiles.end());
  EXPECT_EQ(dir_.List(), expectedFiles);  // no error log either: rejections are silent

  EXPECT_EQ(ReadRows(testing::ReadText(path_ + ".csv")), expectedRows);
  char last[64];
  std::snprintf(last, sizeof last, "\rCreate %s %4u/%4u", c.ext, expectedRows.back().no, count);
  EXPECT_NE(run.out.find(last), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(EachFormat, GameSeqRip,
                         ::testing::Values(ImageCase{"sssq", ".sssq", true},
                                           ImageCase{"kcet", ".kcet", false},
                                           ImageCase{"sntp", ".sntp", false},
                                           ImageCase{"seqg", ".seqg", false},
                                           ImageCase{"seqq", ".seqq", false},
                                           ImageCase{"sqv", ".sqv", true},
                                           ImageCase{"sseq", ".sseq", true},
                                           ImageCase{"mix", ".sseq", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace psxdig
