// The extract command's progress: while the engine runs, its console lines
// (which belong to the rip command) are kept from standard output; the
// search's "SearchFile <next offset>/<size>" lines tell how far the scan has
// come, and on a terminal one self-updating line on standard error shows the
// bytes scanned, the items found and the time taken.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

#include "platform/platform.h"

namespace psxdig {

// Reads the search's progress lines from the engine's console text, which
// may arrive in pieces of any size.
class SearchProgressReader {
 public:
  void Feed(std::string_view text);
  std::uint64_t scanned() const { return scanned_; }
  std::uint64_t found() const { return found_; }

 private:
  std::string pending_;
  std::uint64_t scanned_ = 0;
  std::uint64_t found_ = 0;
};

class ProgressLine {
 public:
  // `show`: draw the line on standard error; otherwise only keep the engine's
  // console text away.
  ProgressLine(std::string name, std::uint64_t total, bool show);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  // The scan has ended (the last item may lie long before the end).
  void ScanDone() { scanDone_ = true; }
  // Gives standard output back and clears the line.
  void Stop();

 private:
  void Run();
  void Draw(const SearchProgressReader& reader, bool final);

  std::string name_;
  std::uint64_t total_;
  bool show_;
  std::atomic<bool> scanDone_{false};
  platform::StdoutCapture capture_;
  bool capturing_ = false;
  std::chrono::steady_clock::time_point start_;
  std::thread thread_;
};

}  // namespace psxdig
