// Bad files and folders: psxdig reports them clearly, exits with 1, does
// not crash and writes nothing outside the input's folder.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <regex>

#include "image_builder.h"
#include "test_util.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::RunPsxdig;

// The report line of a failed system call, with its function and error.
std::string Report(const std::string& function, const testing::SystemError& error) {
  return testing::ReportPattern(function, error);
}

class Failures : public ::testing::Test {
 protected:
  std::string SeqImage(const std::string& name = "game.bin") {
    const std::string path = dir.File(name);
    tools::ImageBuilder img(1);
    img.Plant(tools::MakeSeq(40, 1), ".seq", "");
    img.Plant(tools::MakeSeq(40, 1), ".seq", "");
    testing::WriteBytes(path, img.bytes());
    return path;
  }
  // Runs psxdig as an unprivileged user (root reads and writes everywhere).
  testing::RunResult RunUnprivileged(const std::vector<std::string>& args) {
#ifdef _WIN32
    return RunPsxdig(args);
#else
    std::vector<std::string> all = {"--reuid=65534", "--regid=65534", "--clear-groups", PSXDIG_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    return ::geteuid() == 0 ? testing::Run("/usr/bin/setpriv", all) : RunPsxdig(args);
#endif
  }
  // Why psxdig cannot be run as an unprivileged user here; empty when it can.
  std::string NoUnprivilegedRun() const {
#ifdef _WIN32
    return "file and folder modes for another user exist on POSIX systems only";
#else
    return ::geteuid() != 0 || fs::exists("/usr/bin/setpriv") ? "" : "needs setpriv to drop root";
#endif
  }

  testing::TempDir dir;
};

#ifdef _WIN32
TEST_F(Failures, InputLockedByAnotherProgramIsReportedByExec) {
  const std::string path = SeqImage();
  HANDLE lock = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const auto r = RunPsxdig({"rip", path, "0", "100"});
  ::CloseHandle(lock);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("exec", {0, "", ERROR_SHARING_VIOLATION})))) << r.err;
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"game.bin"}));
}
#endif

TEST_F(Failures, UnreadableInputIsReportedByExec) {
  if (const std::string why = NoUnprivilegedRun(); !why.empty()) GTEST_SKIP() << why;
  const std::string path = SeqImage();
  fs::permissions(path, fs::perms::none);
  fs::permissions(dir.path(), fs::perms::all);
  const auto r = RunUnprivileged({"rip", path, "0", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("exec", {13, "Permission denied", 5})))) << r.err;
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"game.bin"}));
}

TEST_F(Failures, FolderNotWritableFailsAtTheErrorLog) {
  if (const std::string why = NoUnprivilegedRun(); !why.empty()) GTEST_SKIP() << why;
  const std::string path = SeqImage();
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const auto r = RunUnprivileged({"rip", path, "0", "100", "/c"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("main", {13, "Permission denied", 5})))) << r.err;
  EXPECT_EQ(r.out.find("End:"), std::string::npos);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"game.bin"}));
}

TEST_F(Failures, ItemFilesThatCannotBeOpenedStopTheWriter) {
  const std::string path = SeqImage();
  fs::create_directory(path + "_1.seq");  // a folder where the first item file belongs
  const auto r = RunPsxdig({"rip", path, "0", "100"});
  EXPECT_EQ(r.exitCode, 0);  // the rip itself ran; the writer reports and stops
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("CreateSeq", {21, "Is a directory", 5})))) << r.err;
  EXPECT_FALSE(fs::exists(path + "_2.seq"));
  // The row of the item whose file failed is written before the open.
  EXPECT_NE(ReadText(path + ".csv").find(".seq,1,"), std::string::npos);
}

TEST_F(Failures, DuplicateFolderNameTakenByAFile) {
  const std::string path = SeqImage();
  testing::WriteBytes(path + "_DupFiles", {'x'});
  const auto r = RunPsxdig({"rip", path, "0", "100", "/c"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("exec", {17, "File exists", 183})))) << r.err;
  EXPECT_EQ(ReadText(path + "_DupFiles"), "x");
  EXPECT_TRUE(fs::exists(path + "_DupFiles.txt"));  // a failed check leaves its listing
  EXPECT_TRUE(fs::exists(path + "_2.seq"));         // nothing was moved
}

TEST_F(Failures, PathsAtTheLimitOf259Bytes) {
  // Nest folders so that the input path is 249 bytes: its error log name
  // ("_Error.txt") is 259 bytes and fits; the duplicate listing does not.
  fs::path folder = dir.path();
  while (folder.string().size() < 200) folder /= std::string(40, 'd');
  fs::create_directories(folder);
  const std::string base = folder.string() + "/";
  const std::string path = base + std::string(249 - base.size(), 'g');
  ASSERT_EQ(path.size(), 249u);
  tools::ImageBuilder img(1);
  img.Plant(tools::MakeSeq(40, 1), ".seq", "");
  testing::WriteBytes(path, img.bytes());

  auto r = RunPsxdig({"rip", path, "0", "100", "/c"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("exec", {36, "File name too long", 206})))) << r.err;
  EXPECT_TRUE(fs::exists(path + ".seq"));

  // One byte more and not even the error log can be named.
  const std::string longer = path + "x";
  testing::WriteBytes(longer, img.bytes());
  r = RunPsxdig({"rip", longer, "0", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("main", {36, "File name too long", 206})))) << r.err;
  EXPECT_FALSE(fs::exists(longer + ".seq"));
}

TEST_F(Failures, StartOffsetPastTheEnd) {
  const std::string path = SeqImage();
  const auto r = RunPsxdig({"rip", path, "ffffff", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Not found seq and|or vh: " + path + "\n");
  EXPECT_NE(r.out.find("Start: "), std::string::npos);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"game.bin"}));
}

TEST_F(Failures, CapacityZeroAndTheLargestCapacity) {
  const std::string path = SeqImage();
  auto r = RunPsxdig({"rip", path, "0", "0"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Not found seq and|or vh: " + path + "\n");
  EXPECT_EQ(ReadText(path + "_Error.txt"), "Reached to max. Seq and|or Vh exists more over\r\n");

  r = RunPsxdig({"rip", path, "0", "4294967295"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(path + "_1.seq"));
  EXPECT_TRUE(fs::exists(path + "_2.seq"));
  EXPECT_FALSE(fs::exists(path + "_Error.txt"));
}

}  // namespace
}  // namespace psxdig
