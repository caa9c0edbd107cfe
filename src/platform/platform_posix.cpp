#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace psxdig::platform {

std::uint32_t LastErrorCode() { return static_cast<std::uint32_t>(errno); }

std::string ErrorText(std::uint32_t code) { return std::strerror(static_cast<int>(code)); }

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool RemoveDirectory(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

bool JoinPath(const std::string& folder, const std::string& name, std::string& out) {
  std::string joined = folder;
  if (!joined.empty() && joined.back() != '/' && !name.empty()) joined += '/';
  joined += name;
  if (joined.size() + 1 > kMaxPath) {
    errno = ENAMETOOLONG;
    return false;
  }
  out = std::move(joined);
  return true;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
  // rename() replaces an existing target file atomically on POSIX.
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::int64_t FileSize(std::FILE* f) {
  if (::fseeko(f, 0, SEEK_END) != 0) return -1;
  const off_t size = ::ftello(f);
  ::fseeko(f, 0, SEEK_SET);
  return size;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsTerminal(std::FILE* f) { return f && ::isatty(::fileno(f)) == 1; }

bool IsEmptyDirectory(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return false;
  bool empty = true;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      empty = false;
      break;
    }
  }
  ::closedir(dir);
  return empty;
}

bool CaptureStdout(StdoutCapture& capture) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  if (saved < 0 || ::dup2(fds[1], STDOUT_FILENO) < 0) {
    if (saved >= 0) ::close(saved);
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  ::close(fds[1]);  // standard output is now the only writing end
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // every line reaches the reader as it is printed
  capture.savedFd = saved;
  capture.readFd = fds[0];
  return true;
}

long ReadCaptured(const StdoutCapture& capture, char* buffer, std::size_t size, int timeoutMs) {
  pollfd p{capture.readFd, POLLIN, 0};
  const int ready = ::poll(&p, 1, timeoutMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  const ssize_t n = ::read(capture.readFd, buffer, size);
  if (n < 0) return errno == EINTR || errno == EAGAIN ? 0 : -1;
  return n == 0 ? -1 : static_cast<long>(n);
}

void EndStdoutCapture(StdoutCapture& capture) {
  if (capture.savedFd < 0) return;
  std::fflush(stdout);
  ::dup2(capture.savedFd, STDOUT_FILENO);
  ::close(capture.savedFd);
  std::setvbuf(stdout, nullptr, ::isatty(STDOUT_FILENO) ? _IOLBF : _IOFBF, BUFSIZ);
  capture.savedFd = -1;
}

void CloseCaptured(StdoutCapture& capture) {
  if (capture.readFd >= 0) ::close(capture.readFd);
  capture.readFd = -1;
}

}  // namespace psxdig::platform
