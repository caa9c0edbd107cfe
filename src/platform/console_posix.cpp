// POSIX: terminals, folder contents and the capture of standard output.
#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"

namespace psxdig::platform {

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
