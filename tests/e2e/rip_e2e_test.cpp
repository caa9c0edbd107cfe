// Runs the built psxdig on generated images in scratch folders and checks
// what it prints and writes.
#include <gtest/gtest.h>

#include <regex>

#include "image_builder.h"
#include "test_util.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::ReadText;
using testing::RunPsxdig;
using tools::ImageBuilder;
using tools::MakeSeq;
using tools::MakeSep;
using Buf = std::vector<std::uint8_t>;

constexpr const char* kUsageHead = "Usage\n\trip <file> <startOfs(hex)> <maxSearchFileNum(dec)> [/c] [/p1|/p2] [/n]\n";

class RipRun : public ::testing::Test {
 protected:
  std::string Image(const ImageBuilder& img, const std::string& name = "game.bin") {
    const std::string path = dir.File(name);
    testing::WriteBytes(path, img.bytes());
    return path;
  }
  testing::TempDir dir;
};

TEST_F(RipRun, BannerUsageHelpAndVersion) {
  const auto r = RunPsxdig({});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("^psxdig [0-9]+\\.[0-9]+\\.[0-9]+\n\t(x64|x86|[a-z0-9]+), AnsiBuild, "
                        "[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\nUsage\n")));
  EXPECT_NE(r.out.find(kUsageHead), std::string::npos);
  EXPECT_NE(r.out.find("\t\t\tElie no Atelier (SLPS-01751, SLPS-91180)\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Start:"), std::string::npos);
  EXPECT_EQ(r.err, "");
  const auto help = RunPsxdig({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find(kUsageHead), std::string::npos);
  EXPECT_EQ(RunPsxdig({"-h"}).exitCode, 0);
  const auto version = RunPsxdig({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.find("Usage"), std::string::npos);
  EXPECT_EQ(version.out.rfind("psxdig ", 0), 0u);
}

TEST_F(RipRun, WritesSequencesListingAndErrorLog) {
  ImageBuilder img(3);
  img.Pad(2048);
  const auto a = img.Plant(MakeSeq(100, 1), ".seq", "");
  img.Filler(300);
  const auto sep = img.Plant(MakeSep(2, 40, 2), ".sep", "");
  img.Filler(300);
  Buf cut = MakeSeq(10, 3);
  cut.resize(20);
  const auto bad = img.Plant(cut, ".seq", "");
  img.Filler(100);
  const auto b = img.Plant(MakeSeq(1001, 4), ".seq", "");
  img.Pad(100);
  const std::string path = Image(img);

  const auto r = RunPsxdig({"rip", path, "0", "100"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("\nStart: "), std::string::npos);
  EXPECT_NE(r.out.find("\rCreate .seq    3/   3\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nEnd: "), std::string::npos);

  char row[3][128];
  std::snprintf(row[0], sizeof row[0], ".seq,1,%9u-%9u,%8x-%8x,%6u,%5x,\r\n", a, a + 118, a, a + 118, 119u, 119u);
  const std::uint32_t sepSize = static_cast<std::uint32_t>(MakeSep(2, 40, 2).size());
  std::snprintf(row[1], sizeof row[1], ".sep,2,%9u-%9u,%8x-%8x,%6u,%5x, 2\r\n", sep, sep + sepSize - 1, sep,
                sep + sepSize - 1, sepSize, sepSize);
  std::snprintf(row[2], sizeof row[2], ".seq,3,%9u-%9u,%8x-%8x,%6u,%5x,\r\n", b, b + 1019, b, b + 1019, 1020u,
                1020u);
  EXPECT_EQ(ReadText(path + ".csv"),
            std::string("Ext,No,Ofs(dec),Ofs(hex),Size(dec),Size(hex),SeqNumInSep\r\n") + row[0] + row[1] +
                row[2]);
  char logLine[96];
  std::snprintf(logLine, sizeof logLine, "Invalid seq. (EOF doesn't exist) ofs: %u, %#x\r\n", bad, bad);
  EXPECT_EQ(ReadText(path + "_Error.txt"), logLine);

  const auto& bytes = img.bytes();
  const Buf first = ReadBytes(path + "_1.seq");
  ASSERT_EQ(first.size(), 120u);
  EXPECT_TRUE(std::equal(first.begin(), first.begin() + 119, bytes.begin() + a));
  EXPECT_EQ(first[119], 0);
  EXPECT_EQ(ReadBytes(path + "_2.sep").size(), (sepSize + 3) / 4 * 4);
  EXPECT_EQ(ReadBytes(path + "_3.seq"), Buf(bytes.begin() + b, bytes.begin() + b + 1020));
}

TEST_F(RipRun, NoDuplicatesLeaveNoListingNorFolder) {
  ImageBuilder img(5);
  img.Plant(MakeSeq(50, 9), ".seq", "");
  img.Plant(MakeSeq(51, 9), ".seq", "");
  const std::string path = Image(img, "other.bin");
  EXPECT_EQ(RunPsxdig({"rip", path, "0", "100", "/c"}).exitCode, 0);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"other.bin", "other.bin.csv", "other.bin_1.seq", "other.bin_2.seq"}));
}

}  // namespace
}  // namespace psxdig
