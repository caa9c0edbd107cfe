// Byte-identical items by content hash: every item is hashed once; only items
// of equal class, hash and size are compared byte for byte, so no pair of
// differing items is ever compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "core/bytes.h"

namespace psxdig {

// An item's bytes as its file holds them: bytes of the input, then zeros.
struct ItemContent {
  ByteSpan bytes;
  std::uint32_t padding = 0;
};

// XXH64 (seed 0) of the item's file contents.
std::uint64_t HashContent(ItemContent content);

class ContentIndex {
 public:
  // The id of an item of class `cls` kept earlier with the same contents.
  std::optional<std::size_t> Find(const std::string& cls, ItemContent content,
                                  std::uint64_t hash) const;
  // Keeps an item under `id`; its bytes must outlive the index.
  void Add(const std::string& cls, ItemContent content, std::uint64_t hash, std::size_t id);

 private:
  struct Entry {
    std::string cls;
    ItemContent content;
    std::size_t id;
  };
  std::unordered_multimap<std::uint64_t, Entry> entries_;
};

}  // namespace psxdig
