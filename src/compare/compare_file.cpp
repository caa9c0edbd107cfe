#include "compare/compare_file.h"

#include <cstring>
#include <new>
#include <optional>

#include "core/output.h"
#include "platform/platform.h"

namespace psxdig {
namespace {

// One output file opened for comparison; its bytes are read on first use.
struct ItemFile {
  FilePtr file;
  std::string fullName;
  std::string baseName;
  std::int32_t size = 0;
  std::vector<std::uint8_t> bytes;
  bool loaded = false;

  bool Open(const std::string& inputPath, const char* ext, std::uint32_t index,
            std::uint32_t count) {
    file = OpenOutputFile(inputPath, &fullName, &baseName, ext, "rb", index, count);
    if (!file) return false;
    size = GetStreamSize(file.get());
    return true;
  }
  // Reads the whole file once. False when its buffer cannot be had.
  bool Load() {
    if (loaded) return true;
    try {
      bytes.assign(static_cast<std::size_t>(size < 0 ? 0 : size), 0);
    } catch (const std::bad_alloc&) {
      platform::SetLastError(platform::Failure::kNoMemory);
      return false;
    }
    if (!bytes.empty()) {
      const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
      (void)got;  // a short read leaves zeros, as the buffer was zero-filled
    }
    loaded = true;
    return true;
  }
  void Close() { file.reset(); }
};

// A header and, for classes with bodies, its ".vb".
struct Item {
  ItemFile header;
  std::optional<ItemFile> body;
};

bool OpenItem(Item& item, const std::string& path, const char* ext, bool withBody,
              std::uint32_t index, std::uint32_t count) {
  if (!item.header.Open(path, ext, index, count)) return false;
  if (withBody) {
    item.body.emplace();
    if (!item.body->Open(path, ".vb", index, count)) return false;
  }
  return true;
}

bool MoveInto(const std::string& folder, const ItemFile& f) {
  std::string target;
  if (!platform::JoinPath(folder, f.baseName, target)) {
    ReportLastError("CompareFile", __LINE__);
    return false;
  }
  if (!platform::MoveReplacing(f.fullName, target)) {
    ReportLastError("CompareFile", __LINE__);
    return false;
  }
  return true;
}

enum class PairResult { kDifferent, kGivenUp, kDuplicate };

// Compares two items whose header files have the same size.
PairResult CompareContents(Item& earlier, Item& later, bool withBody) {
  if (withBody) {
    if (earlier.body->size != later.body->size) return PairResult::kGivenUp;
    if (!earlier.body->Load() || !later.body->Load()) {
      ReportLastError("CompareFile", __LINE__);
      return PairResult::kGivenUp;
    }
  }
  if (!earlier.header.Load() || !later.header.Load()) {
    ReportLastError("CompareFile", __LINE__);
    return PairResult::kGivenUp;
  }
  if (earlier.header.bytes != later.header.bytes) return PairResult::kDifferent;
  if (withBody && earlier.body->bytes != later.body->bytes) return PairResult::kGivenUp;
  return PairResult::kDuplicate;
}

// Lists a duplicate pair, then moves the later header (and its body) into
// the duplicate folder. False when a move fails (reported); the line stays.
bool ListAndMove(const Item& earlier, Item& later, const std::string& folder, std::FILE* listing) {
  if (later.body) {
    WriteText(listing, "%s,%s,%s,%s\n", earlier.header.baseName.c_str(),
              later.header.baseName.c_str(), earlier.body->baseName.c_str(),
              later.body->baseName.c_str());
  } else {
    WriteText(listing, "%s,%s\n", earlier.header.baseName.c_str(), later.header.baseName.c_str());
  }
  later.header.Close();
  if (later.body) later.body->Close();
  if (!MoveInto(folder, later.header)) return false;
  return !later.body || MoveInto(folder, *later.body);
}

}  // namespace

void CompareFile(const std::string& inputPath, const std::string& folderPath, std::uint32_t count,
                 const std::string& ext, const std::vector<std::uint32_t>& created,
                 std::FILE* listing) {
  const bool withBody = ext == ".vh" || ext == ".sshd";
  auto isCreated = [&](std::uint32_t k) { return k < created.size() && created[k] != 0; };
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!isCreated(i)) continue;
    Item earlier;
    if (!OpenItem(earlier, inputPath, ext.c_str(), withBody, i, count)) continue;
    for (std::uint32_t j = i + 1; j < count; ++j) {
      if (!isCreated(j)) continue;
      Item later;
      if (!later.header.Open(inputPath, ext.c_str(), j, count)) continue;
      // Sizes first: files of different sizes are never read.
      if (later.header.size == earlier.header.size) {
        if (withBody) {
          later.body.emplace();
          if (!later.body->Open(inputPath, ".vb", j, count)) continue;
        }
        const PairResult result = CompareContents(earlier, later, withBody);
        if (result == PairResult::kGivenUp) continue;
        if (result == PairResult::kDuplicate && !ListAndMove(earlier, later, folderPath, listing))
          continue;
      }
      std::printf("\rCompare %s %4u and %4u", ext.c_str(), i + 1, j + 1);
    }
  }
  if (count >= 2) std::printf("\n");
}

}  // namespace psxdig
