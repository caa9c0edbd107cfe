#include "compare/content_index.h"

// xxHash compiled in from its header: no library to link on any platform.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>

namespace psxdig {
namespace {

bool SameContent(ItemContent a, ItemContent b) {
  return a.bytes.size() == b.bytes.size() && a.padding == b.padding &&
         std::equal(a.bytes.begin(), a.bytes.end(), b.bytes.begin());
}

}  // namespace

std::uint64_t HashContent(ItemContent content) {
  XXH64_state_t state;
  XXH64_reset(&state, 0);
  XXH64_update(&state, content.bytes.data(), content.bytes.size());
  static constexpr std::uint8_t kZeros[16] = {};
  for (std::uint32_t left = content.padding; left > 0;) {
    const std::uint32_t n = std::min<std::uint32_t>(left, sizeof kZeros);
    XXH64_update(&state, kZeros, n);
    left -= n;
  }
  return XXH64_digest(&state);
}

std::optional<std::size_t> ContentIndex::Find(const std::string& cls, ItemContent content,
                                              std::uint64_t hash) const {
  const auto [first, last] = entries_.equal_range(hash);
  for (auto it = first; it != last; ++it) {
    if (it->second.cls == cls && SameContent(it->second.content, content)) return it->second.id;
  }
  return std::nullopt;
}

void ContentIndex::Add(const std::string& cls, ItemContent content, std::uint64_t hash,
                       std::size_t id) {
  entries_.emplace(hash, Entry{cls, content, id});
}

}  // namespace psxdig
