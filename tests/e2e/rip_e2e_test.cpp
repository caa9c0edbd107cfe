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

TEST_F(RipRun, BannerUsageAndExitCodeWithoutArguments) {
  const auto r = RunPsxdig({});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_search(
      r.out, std::regex("^psxdig [0-9]+\\.[0-9]+\\.[0-9]+\n\t(x64|x86|[a-z0-9]+), AnsiBuild, "
                        "[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\nUsage\n")));
  EXPECT_NE(r.out.find(kUsageHead), std::string::npos);
  EXPECT_NE(r.out.find("\t\t\tElie no Atelier (SLPS-01751, SLPS-91180)\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Start:"), std::string::npos);
  EXPECT_EQ(r.err, "");
}

TEST_F(RipRun, HelpAndVersion) {
  const auto help = RunPsxdig({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find(kUsageHead), std::string::npos);
  EXPECT_EQ(RunPsxdig({"-h"}).exitCode, 0);
  const auto version = RunPsxdig({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.find("Usage"), std::string::npos);
  EXPECT_EQ(version.out.rfind("psxdig ", 0), 0u);
}

TEST_F(RipRun, BadNumberPrintsInvalidArgThenUsage) {
  const auto r = RunPsxdig({"rip", dir.File("game.bin"), "1G4", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Invalid arg: G4\n");
  EXPECT_NE(r.out.find(kUsageHead), std::string::npos);
  EXPECT_TRUE(dir.List().empty());
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

TEST_F(RipRun, StartOffsetSkipsEarlierItems) {
  ImageBuilder img(3);
  img.Plant(MakeSeq(10, 1), ".seq", "");
  img.Pad(0x100 - img.size());
  img.Plant(MakeSeq(20, 2), ".seq", "");
  const std::string path = Image(img);
  EXPECT_EQ(RunPsxdig({"rip", path, "100", "10"}).exitCode, 0);
  EXPECT_EQ(ReadBytes(path + ".seq").size(), 40u);  // one item: no number in its name
  EXPECT_FALSE(fs::exists(path + "_Error.txt"));
}

TEST_F(RipRun, DuplicatesAreMovedAsideWithC) {
  ImageBuilder img(5);
  for (int k = 0; k < 3; ++k) {
    img.Plant(MakeSeq(50, 9), ".seq", "");
    img.Filler(77);
  }
  img.Plant(MakeSeq(50, 10), ".seq", "");
  const std::string path = Image(img);
  const auto r = RunPsxdig({"rip", path, "0", "100", "/c"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(ReadText(path + "_DupFiles.txt"),
            "game.bin_1.seq,game.bin_2.seq\r\ngame.bin_1.seq,game.bin_3.seq\r\n");
  EXPECT_TRUE(fs::exists(path + "_DupFiles/game.bin_2.seq"));
  EXPECT_TRUE(fs::exists(path + "_DupFiles/game.bin_3.seq"));
  EXPECT_TRUE(fs::exists(path + "_1.seq"));
  EXPECT_TRUE(fs::exists(path + "_4.seq"));
  // Moved items take no part in later pairs.
  EXPECT_NE(r.out.find("\rCompare .seq    1 and    2\rCompare .seq    1 and    3"
                       "\rCompare .seq    1 and    4\nEnd: "),
            std::string::npos)
      << r.out;
}

TEST_F(RipRun, NoDuplicatesLeaveNoListingNorFolder) {
  ImageBuilder img(5);
  img.Plant(MakeSeq(50, 9), ".seq", "");
  img.Plant(MakeSeq(51, 9), ".seq", "");
  const std::string path = Image(img);
  EXPECT_EQ(RunPsxdig({"rip", path, "0", "100", "/c"}).exitCode, 0);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"game.bin", "game.bin.csv", "game.bin_1.seq", "game.bin_2.seq"}));
}

TEST_F(RipRun, ExistingNonEmptyFolderIsUsedAndItsRemovalFailureReported) {
  ImageBuilder img(5);
  img.Plant(MakeSeq(50, 9), ".seq", "");
  const std::string path = Image(img);
  fs::create_directory(path + "_DupFiles");
  testing::WriteBytes(path + "_DupFiles/keep", {1});
  const auto r = RunPsxdig({"rip", path, "0", "100", "/c"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err.rfind("[F:exec][L:", 0), 0u) << r.err;
  EXPECT_TRUE(std::regex_search(r.err, std::regex(testing::ReportPattern("exec", {39, "Directory not empty", 145}))))
      << r.err;
  EXPECT_FALSE(fs::exists(path + "_DupFiles.txt"));
  EXPECT_TRUE(fs::exists(path + "_DupFiles/keep"));
}

TEST_F(RipRun, NothingFoundFailsWithoutDuplicateCheck) {
  ImageBuilder img(5);
  img.Filler(5000);
  const std::string path = Image(img);
  const auto r = RunPsxdig({"rip", path, "0", "100", "/c"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Not found seq and|or vh: " + path + "\n");
  EXPECT_NE(r.out.find("\nEnd: "), std::string::npos);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"game.bin"}));
}

TEST_F(RipRun, EmptyInputIsSearchedAndFindsNothing) {
  const std::string path = dir.File("empty.bin");
  testing::WriteBytes(path, {});
  const auto r = RunPsxdig({"rip", path, "0", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Not found seq and|or vh: " + path + "\n");
}

TEST_F(RipRun, MissingInputIsReportedByExec) {
  const std::string path = dir.File("missing.bin");
  const auto r = RunPsxdig({"rip", path, "0", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(testing::ReportPattern("exec", {2, "No such file or directory", 2}))))
      << r.err;
  EXPECT_NE(r.out.find("\nEnd: "), std::string::npos);
  EXPECT_TRUE(dir.List().empty());  // the empty error log is gone again
}

TEST_F(RipRun, DirectoryInputIsReportedByExec) {
  fs::create_directory(dir.File("adir"));
  const auto r = RunPsxdig({"rip", dir.File("adir"), "0", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(testing::ReportPattern("exec", {21, "Is a directory", 5}))))
      << r.err;
}

TEST_F(RipRun, ErrorLogThatCannotBeCreatedFailsInMain) {
  // A folder that does not exist: the error log is the first file opened.
  const auto r = RunPsxdig({"rip", dir.File("nofolder/game.bin"), "0", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(testing::ReportPattern("main", {2, "No such file or directory", 3}))))
      << r.err;
  EXPECT_EQ(r.out.find("End:"), std::string::npos);
}

TEST_F(RipRun, TooLargeInputIsRefusedBeforeTheSearch) {
  const std::string path = dir.File("huge.bin");
  testing::WriteBytes(path, {});
  fs::resize_file(path, 0x7F7F7F7F);  // sparse: takes no disk space
  const auto r = RunPsxdig({"rip", path, "0", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "File too large: " + path + "\n");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"huge.bin"}));
}

}  // namespace
}  // namespace psxdig
