// Windows: terminals, folder contents and the capture of standard output.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "platform/platform.h"

namespace psxdig::platform {

bool IsTerminal(std::FILE* f) { return f && ::_isatty(::_fileno(f)) != 0; }

bool IsEmptyDirectory(const std::string& path) {
  if (!IsDirectory(path)) return false;
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA entry;
  HANDLE find = ::FindFirstFileA(pattern.c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  bool empty = true;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") {
      empty = false;
      break;
    }
  } while (::FindNextFileA(find, &entry));
  ::FindClose(find);
  return empty;
}

bool CaptureStdout(StdoutCapture& capture) {
  int fds[2];
  if (::_pipe(fds, 65536, _O_BINARY | _O_NOINHERIT) != 0) return false;
  std::fflush(stdout);
  const int saved = ::_dup(::_fileno(stdout));
  if (saved < 0 || ::_dup2(fds[1], ::_fileno(stdout)) != 0) {
    if (saved >= 0) ::_close(saved);
    ::_close(fds[0]);
    ::_close(fds[1]);
    return false;
  }
  ::_close(fds[1]);  // standard output is now the only writing end
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // every line reaches the reader as it is printed
  capture.savedFd = saved;
  capture.readFd = fds[0];
  return true;
}

long ReadCaptured(const StdoutCapture& capture, char* buffer, std::size_t size, int timeoutMs) {
  // An anonymous pipe cannot be waited on: look into it every few
  // milliseconds until bytes come, the writing end closes or time is up.
  const auto pipe = reinterpret_cast<HANDLE>(::_get_osfhandle(capture.readFd));
  if (pipe == INVALID_HANDLE_VALUE) return -1;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
      // The writing end is closed: what is left, if anything, comes at once.
      available = static_cast<DWORD>(size);
    }
    if (available > 0) {
      const unsigned want = static_cast<unsigned>(size < available ? size : available);
      const int n = ::_read(capture.readFd, buffer, want);
      return n <= 0 ? -1 : n;
    }
    if (std::chrono::steady_clock::now() >= until) return 0;
    ::Sleep(5);
  }
}

void EndStdoutCapture(StdoutCapture& capture) {
  if (capture.savedFd < 0) return;
  std::fflush(stdout);
  ::_dup2(capture.savedFd, ::_fileno(stdout));
  ::_close(capture.savedFd);
  // Windows' C library has no line buffering: a terminal gets every byte.
  std::setvbuf(stdout, nullptr, ::_isatty(::_fileno(stdout)) ? _IONBF : _IOFBF, BUFSIZ);
  capture.savedFd = -1;
}

void CloseCaptured(StdoutCapture& capture) {
  if (capture.readFd >= 0) ::_close(capture.readFd);
  capture.readFd = -1;
}

}  // namespace psxdig::platform
