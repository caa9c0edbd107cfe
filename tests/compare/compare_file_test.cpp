// The duplicate check: pairs, moves, listing lines and progress.
#include "compare/compare_file.h"

#include <gtest/gtest.h>

#include "core/output.h"
#include "test_util.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;

class CompareFiles : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directory(folder); }
  // Writes item `index` of a class of `count` under its output name.
  void Item(const char* ext, std::uint32_t index, std::uint32_t count, const std::string& text) {
    testing::WriteBytes(BuildOutputName(path, ext, index, count),
                        std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  void Compare(std::uint32_t count, const std::string& ext, std::vector<std::uint32_t> created) {
    const testing::Captured c = testing::Capture([&] { CompareFile(path, folder, count, ext, created, listing.get()); });
    out = c.out;
    err = c.err;
  }
  bool InFolder(const std::string& name) const { return fs::exists(folder + "/" + name); }
  bool Beside(const std::string& name) const { return fs::exists(dir.File(name)); }

  testing::TempDir dir;
  std::string path = dir.File("game.bin");
  std::string folder = path + "_DupFiles";
  testing::ScratchFile listing;
  std::string out, err;
};

TEST_F(CompareFiles, ThreeIdenticalFilesPairWithTheFirstReplacingFilesInTheFolder) {
  for (std::uint32_t k = 0; k < 3; ++k) Item(".seq", k, 3, "same bytes");
  testing::WriteBytes(folder + "/game.bin_2.seq", {'o', 'l', 'd'});
  Compare(3, ".seq", {1, 1, 1});
  EXPECT_EQ(listing.Text(), "game.bin_1.seq,game.bin_2.seq\r\ngame.bin_1.seq,game.bin_3.seq\r\n");
  EXPECT_TRUE(Beside("game.bin_1.seq"));
  EXPECT_TRUE(InFolder("game.bin_2.seq"));
  EXPECT_TRUE(InFolder("game.bin_3.seq"));
  EXPECT_FALSE(Beside("game.bin_2.seq"));
  EXPECT_EQ(testing::ReadText(folder + "/game.bin_2.seq"), "same bytes");
  EXPECT_EQ(out, "\rCompare .seq    1 and    2\rCompare .seq    1 and    3\n");
}

TEST_F(CompareFiles, VabHeadersAreDuplicatesOnlyWithTheirBodies) {
  for (std::uint32_t k = 0; k < 3; ++k) Item(".vh", k, 3, "header");
  Item(".vb", 0, 3, "body A");
  Item(".vb", 1, 3, "body B");
  Item(".vb", 2, 3, "body A");
  Compare(3, ".vh", {1, 1, 1});
  EXPECT_EQ(listing.Text(), "game.bin_1.vh,game.bin_3.vh,game.bin_1.vb,game.bin_3.vb\r\n");
  EXPECT_TRUE(InFolder("game.bin_3.vh"));
  EXPECT_TRUE(InFolder("game.bin_3.vb"));
  EXPECT_TRUE(Beside("game.bin_2.vh"));
  EXPECT_TRUE(Beside("game.bin_2.vb"));
  // Differing bodies print no progress line for the pair (1, 2) nor (2, 3).
  EXPECT_EQ(out, "\rCompare .vh    1 and    3\n");
}

}  // namespace
}  // namespace psxdig
