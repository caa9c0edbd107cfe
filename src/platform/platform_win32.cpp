#include "platform/platform.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

// windows.h names the ANSI and wide variants through macros; psxdig's own
// function of the same name must keep its name.
#undef RemoveDirectory

namespace psxdig::platform {

std::uint32_t LastErrorCode() { return ::GetLastError(); }

std::string ErrorText(std::uint32_t code) {
  // The system's message as it stands in its message table, line end
  // included, in the user's default language.
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0,
      nullptr);
  if (length == 0 || text == nullptr) return "Unknown error " + std::to_string(code);
  std::string message(text, length);
  ::LocalFree(text);
  return message;
}

void SetLastError(Failure failure) {
  DWORD code = ERROR_SUCCESS;
  switch (failure) {
    case Failure::kNotFound: code = ERROR_FILE_NOT_FOUND; break;
    case Failure::kNameTooLong: code = ERROR_FILENAME_EXCED_RANGE; break;
    case Failure::kNoMemory: code = ERROR_NOT_ENOUGH_MEMORY; break;
    case Failure::kIsDirectory: code = ERROR_ACCESS_DENIED; break;
    case Failure::kIo: code = ERROR_READ_FAULT; break;
    case Failure::kInvalid: code = ERROR_INVALID_PARAMETER; break;
  }
  ::SetLastError(code);
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MakeDirectory(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool RemoveDirectory(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != 0; }

bool RemoveFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

bool JoinPath(const std::string& folder, const std::string& name, std::string& out) {
  std::string joined = folder;
  if (!joined.empty() && joined.back() != '\\' && joined.back() != '/' && !name.empty()) joined += '\\';
  joined += name;
  if (joined.size() + 1 > kMaxPath) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  out = std::move(joined);
  return true;
}

// Windows' C library knows no "x" mode: the system call refuses an existing
// file, and the stream is made over its handle.
std::FILE* CreateNewFile(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_BINARY | _O_WRONLY);
  if (fd < 0) {
    ::CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = ::_fdopen(fd, "wb");
  if (!stream) ::_close(fd);
  return stream;
}

bool MoveReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

std::int64_t FileSize(std::FILE* f) {
  if (::_fseeki64(f, 0, SEEK_END) != 0) return -1;
  const __int64 size = ::_ftelli64(f);
  ::_fseeki64(f, 0, SEEK_SET);
  return size;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  if (slash != std::string::npos) return path.substr(slash + 1);
  // A drive without a folder: "C:game.bin".
  if (path.size() >= 2 && path[1] == ':') return path.substr(2);
  return path;
}

std::string FolderName(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool MapFile(std::FILE* f, std::uint64_t size, FileMapping& out) {
  out = FileMapping{};
  if (size == 0) return true;
  const auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(f)));
  if (file == INVALID_HANDLE_VALUE) return false;
  HANDLE mapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, static_cast<DWORD>(size >> 32),
                                        static_cast<DWORD>(size), nullptr);
  if (mapping == nullptr) return false;
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
  if (view == nullptr) {
    ::CloseHandle(mapping);
    return false;
  }
  out.data = static_cast<const std::uint8_t*>(view);
  out.size = size;
  out.handle = mapping;
  return true;
}

void UnmapFile(FileMapping& mapping) {
  if (mapping.data) ::UnmapViewOfFile(mapping.data);
  if (mapping.handle) ::CloseHandle(static_cast<HANDLE>(mapping.handle));
  mapping = FileMapping{};
}

}  // namespace psxdig::platform
