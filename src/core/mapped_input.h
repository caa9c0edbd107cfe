// The whole input file as one read-only byte span. The file is mapped where
// the system allows it, so that its pages stay the page cache's and nothing
// is copied; where it cannot be mapped it is read into memory instead.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/bytes.h"
#include "platform/platform.h"

namespace psxdig {

class MappedInput {
 public:
  MappedInput() = default;
  ~MappedInput();
  MappedInput(const MappedInput&) = delete;
  MappedInput& operator=(const MappedInput&) = delete;

  // Maps the `size` bytes of the open file `f`, or reads them when mapping
  // fails. Returns false with the system error set (platform::LastErrorCode)
  // when memory for the copy cannot be had (Failure::kNoMemory) or the file
  // cannot be read whole (Failure::kIo when the system gave no reason); the
  // view is then empty.
  bool Load(std::FILE* f, std::uint64_t size);

  ByteSpan bytes() const { return view_; }
  bool mapped() const { return mapping_.data != nullptr; }

 private:
  platform::FileMapping mapping_;
  std::vector<std::uint8_t> copy_;
  ByteSpan view_;
};

}  // namespace psxdig
