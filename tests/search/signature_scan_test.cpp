// The signature scan's start finder against a plain byte loop. (The body
// searches that jump between candidate positions are checked against the
// search of every position by bank_fuzz.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "search/data_ofs.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;

std::uint32_t Rand(std::uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

bool IsPair(std::uint8_t a, std::uint8_t b) {
  for (const std::string_view pair : {"pQ", "pB", "SS", "SN", "SE", "KC", "qQ", ".s", "IN"}) {
    if (a == static_cast<std::uint8_t>(pair[0]) && b == static_cast<std::uint8_t>(pair[1])) return true;
  }
  return false;
}

TEST(SignatureScan, NextStartMatchesAByteLoop) {
  std::uint32_t s = 5;
  for (int round = 0; round < 200; ++round) {
    Bytes buf = testing::RandomBytes(s, Rand(s) % 700);
    for (std::size_t k = 0; k + 1 < buf.size(); k += 2) {
      if (Rand(s) % 16 == 0) {  // a pair, often a mixed-up one
        buf[k] = static_cast<std::uint8_t>("pSKq.I"[Rand(s) % 6]);
        buf[k + 1] = static_cast<std::uint8_t>("QBSNECs"[Rand(s) % 7]);
      }
    }
    const std::uint64_t from = Rand(s) % (buf.size() + 1);
    std::uint64_t want = from;
    while (want + 1 < buf.size() && !IsPair(buf[want], buf[want + 1])) ++want;
    if (want + 1 >= buf.size()) want = std::max<std::uint64_t>(from, buf.size());
    ASSERT_EQ(NextSignatureStart(ByteSpan(buf), from, true), want);
    ASSERT_EQ(NextSignatureStart(ByteSpan(buf), from, false), want);
  }
}

}  // namespace
}  // namespace psxdig
