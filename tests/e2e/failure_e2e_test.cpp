// Bad arguments, files and folders: psxdig reports them clearly, exits with the
// right code, does not crash and writes nothing outside the input's folder.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <functional>
#include <regex>

#include "image_builder.h"
#include "test_util.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;

// The report line of a failed system call, with its function and error.
std::string Report(const std::string& function, const testing::SystemError& error) {
  return testing::ReportPattern(function, error);
}
std::string NotFound() { return "Not found seq and\\|or vh: @\n"; }

// `count` identical sequences.
void SeqImage(const std::string& path, int count = 2) {
  tools::ImageBuilder img(1);
  for (int k = 0; k < count; ++k) img.Plant(tools::MakeSeq(40, 1), ".seq", "");
  testing::WriteBytes(path, img.bytes());
}
void Seqs(const std::string& path) { SeqImage(path); }

struct Case {
  const char* name;
  std::function<void(const std::string& path)> setup;  // makes the input (game.bin) and what is around it
  std::vector<std::string> args;                       // after "rip" and the input
  bool unprivileged;                                   // root reads and writes everywhere
  int exitCode;
  std::string err;                   // a regex; @ stands for the input's path
  const char* outHas;                // printed to standard output
  int ended;                         // "End:" printed (1), not printed (0), not checked (-1)
  std::vector<std::string> files;    // the folder afterwards (unchecked when empty)
  std::function<void(const std::string& path)> check;
};

TEST(Failures, EachIsReportedAndLeavesTheFolderAsExpected) {
  const auto none = [](const std::string&) {};
  const std::vector<std::string> alone = {"game.bin"};
  const Case cases[] = {
      {"missing input", none, {"0", "100"}, false, 1, Report("exec", {2, "No such file or directory", 2}), "", 1, {"-"}, {}},
      {"input is a folder", [](const std::string& p) { fs::create_directory(p); }, {"0", "100"}, false, 1,
       Report("exec", {21, "Is a directory", 5}), "", -1, {}, {}},
      {"error log in a missing folder", none, {"0", "100"}, false, 1, Report("main", {2, "No such file or directory", 3}),
       "", 0, {}, {}},
      {"empty input", [](const std::string& p) { testing::WriteBytes(p, {}); }, {"0", "100"}, false, 1, NotFound(),
       "", -1, {}, {}},
      {"nothing found, no duplicate check", [](const std::string& p) { testing::WriteBytes(p, testing::Bytes(5000, 0x20)); },
       {"0", "100", "/c"}, false, 1, NotFound(), "", 1, alone, {}},
      {"start past the end", Seqs, {"ffffff", "100"}, false, 1, NotFound(), "Start: ", -1, alone, {}},
      {"bad number", none, {"1G4", "100"}, false, 1, "Invalid arg: G4\n", "\nUsage\n\trip <file>", -1, {"-"}, {}},
      {"too large", [](const std::string& p) { testing::WriteBytes(p, {}), fs::resize_file(p, 0x7F7F7F7F); },
       {"0", "100"}, false, 1, "File too large: @\n", "", -1, alone, {}},
      {"capacity zero", Seqs, {"0", "0"}, false, 1, NotFound(), "", -1, {},
       [](const std::string& p) { EXPECT_EQ(ReadText(p + "_Error.txt"), "Reached to max. Seq and|or Vh exists more over\r\n"); }},
      {"largest capacity", Seqs, {"0", "4294967295"}, false, 0, "", "", -1,
       {"game.bin", "game.bin.csv", "game.bin_1.seq", "game.bin_2.seq"}, {}},
      {"unreadable input", [](const std::string& p) { SeqImage(p), fs::permissions(p, fs::perms::none); },
       {"0", "100"}, true, 1, Report("exec", {13, "Permission denied", 5}), "", -1, alone, {}},
      {"folder not writable", Seqs, {"0", "100", "/c"}, true, 1, Report("main", {13, "Permission denied", 5}), "", 0, alone, {}},
      {"item file name taken by a folder", [](const std::string& p) { SeqImage(p), fs::create_directory(p + "_1.seq"); },
       {"0", "100"}, false, 0, Report("CreateSeq", {21, "Is a directory", 5}), "", -1, {},
       [](const std::string& p) {
         EXPECT_FALSE(fs::exists(p + "_2.seq"));  // the writer stops
         EXPECT_NE(ReadText(p + ".csv").find(".seq,1,"), std::string::npos);  // the row is written before the open
       }},
      {"duplicate folder name taken by a file", [](const std::string& p) { SeqImage(p), testing::WriteBytes(p + "_DupFiles", {'x'}); },
       {"0", "100", "/c"}, false, 1, Report("exec", {17, "File exists", 183}), "", -1, {},
       [](const std::string& p) {
         EXPECT_EQ(ReadText(p + "_DupFiles"), "x");
         EXPECT_TRUE(fs::exists(p + "_DupFiles.txt"));  // a failed check leaves its listing
         EXPECT_TRUE(fs::exists(p + "_2.seq"));         // nothing was moved
       }},
      {"duplicate folder not empty", [](const std::string& p) {
         SeqImage(p, 1), fs::create_directory(p + "_DupFiles"), testing::WriteBytes(p + "_DupFiles/keep", {1}); },
       {"0", "100", "/c"}, false, 0, "(?=\\[F:exec\\]\\[L:)[\\s\\S]*" + Report("exec", {39, "Directory not empty", 145}) + "[\\s\\S]*", "", -1, {},
       [](const std::string& p) {
         EXPECT_TRUE(fs::exists(p + "_DupFiles/keep"));  // the folder is used and stays
         EXPECT_FALSE(fs::exists(p + "_DupFiles.txt"));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
#ifdef _WIN32
    if (c.unprivileged) continue;  // modes for another user exist on POSIX systems only
#endif
    testing::TempDir dir;
    const bool missingFolder = std::string(c.name) == "error log in a missing folder";
    const std::string path = missingFolder ? dir.File("nofolder/game.bin") : dir.File("game.bin");
    c.setup(path);
    std::vector<std::string> args = {"rip", path};
    args.insert(args.end(), c.args.begin(), c.args.end());
    testing::RunResult r;
#ifdef _WIN32
    r = testing::RunPsxdig(args);
#else
    if (c.unprivileged && ::geteuid() == 0) {
      if (!fs::exists("/usr/bin/setpriv")) continue;
      const bool writable = std::string(c.name) != "folder not writable";
      fs::permissions(dir.path(), writable ? fs::perms::all : fs::perms::owner_all | fs::perms::group_read |
                                                                 fs::perms::group_exec | fs::perms::others_read |
                                                                 fs::perms::others_exec);
      args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", PSXDIG_BINARY});
      r = testing::Run("/usr/bin/setpriv", args);
    } else {
      r = testing::RunPsxdig(args);
    }
#endif
    std::string err = c.err;
    if (const auto at = err.find('@'); at != std::string::npos) err.replace(at, 1, testing::EscapeRegex(path));
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_TRUE(std::regex_match(r.err, std::regex(err))) << r.err;
    EXPECT_NE(r.out.find(c.outHas), std::string::npos) << r.out;
    if (c.ended >= 0) {
      EXPECT_EQ(r.out.find("\nEnd: ") != std::string::npos, c.ended == 1) << r.out;
    }
    if (!c.files.empty()) {
      EXPECT_EQ(dir.List(), c.files == std::vector<std::string>{"-"} ? std::vector<std::string>{} : c.files);
    }
    if (c.check) c.check(path);
  }
}

#ifdef _WIN32
TEST(Failures, InputLockedByAnotherProgramIsReportedByExec) {
  testing::TempDir dir;
  const std::string path = dir.File("game.bin");
  SeqImage(path);
  HANDLE lock = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const auto r = testing::RunPsxdig({"rip", path, "0", "100"});
  ::CloseHandle(lock);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("exec", {0, "", ERROR_SHARING_VIOLATION})))) << r.err;
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"game.bin"}));
}
#endif

TEST(Failures, PathsAtTheLimitOf259Bytes) {
  // Nest folders so that the input path is 249 bytes: its error log name
  // ("_Error.txt") is 259 bytes and fits; the duplicate listing does not.
  testing::TempDir dir;
  fs::path folder = dir.path();
  while (folder.string().size() < 200) folder /= std::string(40, 'd');
  fs::create_directories(folder);
  const std::string base = folder.string() + "/";
  const std::string path = base + std::string(249 - base.size(), 'g');
  SeqImage(path, 1);
  auto r = testing::RunPsxdig({"rip", path, "0", "100", "/c"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("exec", {36, "File name too long", 206})))) << r.err;
  EXPECT_TRUE(fs::exists(path + ".seq"));
  // One byte more and not even the error log can be named.
  SeqImage(path + "x", 1);
  r = testing::RunPsxdig({"rip", path + "x", "0", "100"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(std::regex_match(r.err, std::regex(Report("main", {36, "File name too long", 206})))) << r.err;
  EXPECT_FALSE(fs::exists(path + "x.seq"));
}

}  // namespace
}  // namespace psxdig
