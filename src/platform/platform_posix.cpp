#include "platform/platform.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace psxdig::platform {

std::uint32_t LastErrorCode() { return static_cast<std::uint32_t>(errno); }

std::string ErrorText(std::uint32_t code) { return std::strerror(static_cast<int>(code)); }

void SetLastError(Failure failure) {
  switch (failure) {
    case Failure::kNotFound: errno = ENOENT; break;
    case Failure::kNameTooLong: errno = ENAMETOOLONG; break;
    case Failure::kNoMemory: errno = ENOMEM; break;
    case Failure::kIsDirectory: errno = EISDIR; break;
    case Failure::kIo: errno = EIO; break;
    case Failure::kInvalid: errno = EINVAL; break;
  }
}

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

std::FILE* CreateNewFile(const std::string& path) { return std::fopen(path.c_str(), "wbx"); }

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

std::string FolderName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool MapFile(std::FILE* f, std::uint64_t size, FileMapping& out) {
  out = FileMapping{};
  if (size == 0) return true;  // nothing to map; an empty view
  if (size > static_cast<std::uint64_t>(SIZE_MAX)) return false;
  const int fd = ::fileno(f);
  if (fd < 0) return false;
  const auto length = static_cast<std::size_t>(size);
  void* p = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
  if (p == MAP_FAILED) return false;
  // Only a hint: the data is read once from start to end.
  (void)::posix_madvise(p, length, POSIX_MADV_SEQUENTIAL);
  out.data = static_cast<const std::uint8_t*>(p);
  out.size = size;
  return true;
}

void UnmapFile(FileMapping& mapping) {
  if (mapping.data && mapping.size > 0) {
    ::munmap(const_cast<std::uint8_t*>(mapping.data), static_cast<std::size_t>(mapping.size));
  }
  mapping = FileMapping{};
}

}  // namespace psxdig::platform
