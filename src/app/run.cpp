#include <cstdio>
#include <ctime>
#include <new>
#include <vector>

#include "app/cli.h"
#include "app/convert_cmd.h"
#include "app/extract.h"
#include "app/report_cmd.h"
#include "app/render_cmd.h"
#include "compare/compare_file.h"
#include "core/mapped_input.h"
#include "decompress/exec_dec.h"
#include "platform/platform.h"
#include "rip/rip_context.h"

namespace psxdig {
namespace {

// Inputs this large cannot be searched: every offset must sort below the
// free-entry mark of the offset list.
constexpr std::uint64_t kMaxInputSize = 0x7F7F7F7F;

void PrintTimeStamp(const char* format) {
  const std::time_t now = std::time(nullptr);
  char text[128] = "";
  if (const std::tm* local = std::localtime(&now)) {
    std::strftime(text, sizeof text, "%a %Y-%m-%d %H:%M:%S", local);
  }
  std::printf(format, text);
}

// Maps (or reads) the whole input into `input`. False after reporting a
// failure.
bool LoadInput(const std::string& path, MappedInput& input) {
  FilePtr in(std::fopen(path.c_str(), "rb"));
  if (in && platform::IsDirectory(path)) {
    in.reset();
    platform::SetLastError(platform::Failure::kIsDirectory);
  }
  if (!in) {
    ReportLastError("exec", __LINE__);
    return false;
  }
  const std::int64_t size = platform::FileSize(in.get());
  if (size < 0) {
    ReportLastError("exec", __LINE__);
    return false;
  }
  if (static_cast<std::uint64_t>(size) >= kMaxInputSize) {
    std::fprintf(stderr, "File too large: %s\n", path.c_str());
    return false;
  }
  if (!input.Load(in.get(), static_cast<std::uint64_t>(size))) {
    ReportLastError("exec", __LINE__);
    return false;
  }
  return true;
}

// With /c: compares both classes, moving duplicates into <input>_DupFiles
// and listing them in <input>_DupFiles.txt; both go again when empty.
std::uint32_t RunDuplicateCheck(const std::string& path, const DataOfs& table) {
  std::string listingName;
  FilePtr listing = OpenOutputFile(path, &listingName, nullptr, "_DupFiles.txt", "w", 0, 0);
  if (!listing) {
    ReportLastError("exec", __LINE__);
    return 0;
  }
  if (path.size() + 9 >= platform::kMaxPath) {
    std::fprintf(stderr, "Path too long\n");
    return 0;
  }
  const std::string folder = path + "_DupFiles";
  if (!platform::IsDirectory(folder) && !platform::MakeDirectory(folder)) {
    ReportLastError("exec", __LINE__);
    return 0;
  }
  CompareFile(path, folder, table.seqNum, table.seqExt, table.seqCreated, listing.get());
  CompareFile(path, folder, table.vhNum, table.vhExt, table.vhCreated, listing.get());
  const std::int32_t size = GetStreamSize(listing.get());
  listing.reset();
  if (size == 0) {
    if (!platform::RemoveFile(listingName)) ReportLastError("exec", __LINE__);
    if (!platform::RemoveDirectory(folder)) ReportLastError("exec", __LINE__);
  }
  return 1;
}

}  // namespace

std::uint32_t exec(const char* const* argv, const RunOptions& options, const ErrorLog& log) {
  const std::string path = argv[2];
  MappedInput mapped;
  if (!LoadInput(path, mapped)) return 0;
  const ByteSpan input = mapped.bytes();
  DataOfs table;
  std::uint32_t result = 0;
  if (options.runMode == kRunRip) {
    result = execRip(RipContext{path, input, nullptr, log, options}, table);
  } else if (options.runMode == kRunDec) {
    result = execDec(DecContext{path, argv[3], input, log, options}, table);
  }
  if (result != 0 && options.compareFlag == 1) result = RunDuplicateCheck(path, table);
  return result;
}

int RunMain(int argc, const char* const* argv) {
  const std::string first = argc >= 2 ? argv[1] : "";
  if (first == "convert") return RunConvert(argc, argv);
  if (first == "extract") return RunExtract(argc, argv);
  if (first == "report") return RunReport(argc, argv);
  if (first == "render") return RunRender(argc, argv);
  if (first == "-h" || first == "--help" || first == "--version") {
    PrintBanner();
    if (first != "--version") {
      PrintUsage();
      PrintMoreHelp();
    }
    return 0;
  }
  PrintBanner();
  RunOptions options;
  if (!ParseArgs(argc, argv, options)) {
    PrintUsage();
    return 1;
  }
  PrintTimeStamp("Start: %s\n");
  std::string logName;
  FilePtr logFile = OpenOutputFile(argv[2], &logName, nullptr, "_Error.txt", "w", 0, 0);
  if (!logFile) {
    ReportLastError("main", __LINE__);
    return 1;
  }
  const std::uint32_t result = exec(argv, options, ErrorLog(logFile.get()));
  const std::int32_t logSize = GetStreamSize(logFile.get());
  logFile.reset();
  if (logSize == 0 && !platform::RemoveFile(logName)) ReportLastError("main", __LINE__);
  PrintTimeStamp("End: %s\n");
  return result == 1 ? 0 : 1;
}

}  // namespace psxdig
