// The few operating-system services psxdig needs: the last system error and
// its text, directory test and creation, path joining, moving a file over an
// existing one, and the base name of a path. Nothing outside this folder
// includes OS headers. platform_posix.cpp implements it for POSIX systems,
// platform_win32.cpp for Windows; the build takes one of them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace psxdig::platform {

// Longest path, terminator included, that psxdig builds or accepts.
inline constexpr std::size_t kMaxPath = 260;

// The calling thread's current system error code.
std::uint32_t LastErrorCode();
// The system's message text for an error code.
std::string ErrorText(std::uint32_t code);

// Failures psxdig detects itself. SetLastError makes one the current system
// error, as the system's own code for it, so that the report line shows it
// like any failed system call.
enum class Failure { kNotFound, kNameTooLong, kNoMemory, kIsDirectory, kIo, kInvalid };
void SetLastError(Failure failure);

bool IsDirectory(const std::string& path);
// Creates one directory with default permissions. False on failure.
bool MakeDirectory(const std::string& path);
// Removes an empty directory. False on failure.
bool RemoveDirectory(const std::string& path);
// Deletes a file. False on failure.
bool RemoveFile(const std::string& path);
// Joins a folder and a file name with the platform's separator. Fails (false)
// when the result would not fit in kMaxPath bytes with its terminator.
bool JoinPath(const std::string& folder, const std::string& name, std::string& out);
// Creates a file for binary writing that must not exist yet: null (with the
// system's error) when it does or cannot be made.
std::FILE* CreateNewFile(const std::string& path);
// Moves a file, replacing a file of the target name. False on failure.
bool MoveReplacing(const std::string& from, const std::string& to);
// Size in bytes of the file behind an open stream, which is left at its
// start; -1 when it cannot be told.
std::int64_t FileSize(std::FILE* f);
// The last component of a path: file name and extension, no folder.
std::string BaseName(const std::string& path);
// The folder part of a path, without its last separator; empty when the path
// names no folder.
std::string FolderName(const std::string& path);

// A read-only mapping of a whole open file. `data` is null for an empty file
// or no mapping; `handle` is the system's own (unused where none is needed).
struct FileMapping {
  const std::uint8_t* data = nullptr;
  std::uint64_t size = 0;
  void* handle = nullptr;
};
// Maps the whole file behind an open stream read-only and hints sequential
// reading. False (nothing mapped) when the system cannot map it: the caller
// then reads the file instead.
bool MapFile(std::FILE* f, std::uint64_t size, FileMapping& out);
// Releases a mapping made by MapFile (nothing for an empty one).
void UnmapFile(FileMapping& mapping);

// True when the stream is a terminal (progress lines are drawn only there).
bool IsTerminal(std::FILE* f);
// True when the folder exists and holds no entry.
bool IsEmptyDirectory(const std::string& path);

// Standard output sent into a pipe for a while, so that the engine's console
// lines can be read (or dropped) instead of reaching the user.
struct StdoutCapture {
  int savedFd = -1;  // the real standard output
  int readFd = -1;   // what was written to standard output meanwhile
};
// Starts capturing. False (nothing changed) when the system refuses.
bool CaptureStdout(StdoutCapture& capture);
// Waits up to timeoutMs for captured bytes: the number read, 0 when none came
// in time, -1 once the capture has ended and everything was read.
long ReadCaptured(const StdoutCapture& capture, char* buffer, std::size_t size, int timeoutMs);
// Gives standard output back; the reader then sees the end.
void EndStdoutCapture(StdoutCapture& capture);
// Closes the reading side once it has seen the end.
void CloseCaptured(StdoutCapture& capture);

}  // namespace psxdig::platform
