#include "core/mapped_input.h"

#include <new>

namespace psxdig {

MappedInput::~MappedInput() { platform::UnmapFile(mapping_); }

bool MappedInput::Load(std::FILE* f, std::uint64_t size) {
  platform::UnmapFile(mapping_);
  copy_.clear();
  view_ = {};
  if (size == 0) return true;
  if (platform::MapFile(f, size, mapping_)) {
    view_ = ByteSpan(mapping_.data, static_cast<std::size_t>(mapping_.size));
    return true;
  }
  try {
    copy_.assign(static_cast<std::size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    platform::SetLastError(platform::Failure::kNoMemory);
    return false;
  }
  if (std::fread(copy_.data(), 1, copy_.size(), f) != copy_.size()) {
    // A read error leaves the system's own code; a file shorter than it
    // claimed to be is an I/O failure of its own.
    if (!std::ferror(f)) platform::SetLastError(platform::Failure::kIo);
    copy_.clear();
    return false;
  }
  view_ = ByteSpan(copy_);
  return true;
}

}  // namespace psxdig
