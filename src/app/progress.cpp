#include "app/progress.h"

#include <cstdio>
#include <cstdlib>

namespace psxdig {

void SearchProgressReader::Feed(std::string_view text) {
  static constexpr std::string_view kMark = "SearchFile ";
  pending_ += text;
  std::size_t done = 0;
  for (;;) {
    const std::size_t at = pending_.find(kMark, done);
    if (at == std::string::npos) {
      // Keep a tail that may be the start of a mark cut in two.
      const std::size_t keep = std::min(pending_.size() - done, kMark.size() - 1);
      done = pending_.size() - keep;
      break;
    }
    // "SearchFile %10u/%10u" ends with the "\r" or "\n" of what follows.
    const std::size_t end = pending_.find_first_of("\r\n", at);
    if (end == std::string::npos) {
      done = at;
      break;
    }
    unsigned long long next = 0;
    unsigned long long size = 0;
    const std::string line = pending_.substr(at + kMark.size(), end - at - kMark.size());
    if (std::sscanf(line.c_str(), "%llu/%llu", &next, &size) == 2) {
      scanned_ = next < size ? next : size;
      ++found_;
    }
    done = end;
  }
  pending_.erase(0, done);
}

ProgressLine::ProgressLine(std::string name, std::uint64_t total, bool show)
    : name_(std::move(name)), total_(total), show_(show), start_(std::chrono::steady_clock::now()) {
  capturing_ = platform::CaptureStdout(capture_);
  if (capturing_) thread_ = std::thread([this] { Run(); });
}

ProgressLine::~ProgressLine() { Stop(); }

void ProgressLine::Stop() {
  if (!capturing_) return;
  platform::EndStdoutCapture(capture_);
  thread_.join();
  platform::CloseCaptured(capture_);
  capturing_ = false;
}

void ProgressLine::Run() {
  SearchProgressReader reader;
  char buffer[4096];
  auto drawn = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  for (;;) {
    const long n = platform::ReadCaptured(capture_, buffer, sizeof buffer, 100);
    if (n < 0) break;
    reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    const auto now = std::chrono::steady_clock::now();
    if (show_ && now - drawn >= std::chrono::milliseconds(100)) {
      Draw(reader, false);
      drawn = now;
    }
  }
  if (show_) Draw(reader, true);
}

void ProgressLine::Draw(const SearchProgressReader& reader, bool final) {
  if (final) {
    std::fprintf(stderr, "\r%-79s\r", "");  // the line goes; the summary follows
    std::fflush(stderr);
    return;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::uint64_t scanned = scanDone_ ? total_ : reader.scanned();
  const double mib = 1024.0 * 1024.0;
  char line[160];
  std::snprintf(line, sizeof line, "%s: %.1f/%.1f MiB scanned, %llu items, %.1f s",
                name_.c_str(), scanned / mib, total_ / mib,
                static_cast<unsigned long long>(reader.found()), seconds);
  std::fprintf(stderr, "\r%-79s", line);
  std::fflush(stderr);
}

}  // namespace psxdig
