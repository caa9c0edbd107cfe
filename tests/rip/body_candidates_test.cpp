// The body searches that jump between candidate positions against the
// reference that tests every position: same positions, same bodies, same
// "_VagOfs.txt" lines, on random and hostile buffers. Also the signature
// scan's start finder against a plain byte loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "image_banks.h"
#include "rip/bank_writers.h"
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

// Segments of random kinds: noise, zero runs of 14..40 bytes before small
// bytes, a dense "16 zeros, 01 01" pattern, sparse nonzero bytes, all 01,
// and bank bodies of the sizes in `sizes`.
Bytes HostileBuffer(std::uint32_t& s, const std::vector<std::uint32_t>& sizes) {
  Bytes b;
  const std::uint32_t segments = Rand(s) % 8;
  for (std::uint32_t k = 0; k < segments; ++k) {
    const std::size_t n = Rand(s) % 40000;
    switch (Rand(s) % 6) {
      case 0: { Bytes r = testing::RandomBytes(s, n); b.insert(b.end(), r.begin(), r.end()); break; }
      case 1:
        for (std::size_t i = 0; i < n / 32; ++i) {
          b.insert(b.end(), 14 + Rand(s) % 27, 0);
          for (int j = 0; j < 3; ++j) b.push_back(static_cast<std::uint8_t>(Rand(s) % 10));
        }
        break;
      case 2:
        for (std::size_t i = 0; i < n / 18; ++i) b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1});
        break;
      case 3:
        for (std::size_t i = 0; i < n; ++i) b.push_back(Rand(s) % 997 == 0 ? static_cast<std::uint8_t>(Rand(s)) : 0);
        break;
      case 4: b.insert(b.end(), n, 1); break;
      default: {
        const Bytes body = tools::MakeAdpcmBody(sizes, Rand(s), Rand(s) % 2 == 0);
        b.insert(b.end(), body.begin(), body.end());
        const Bytes sshd = tools::MakeSShdBody(sizes[0], Rand(s));
        b.insert(b.end(), sshd.begin(), sshd.end());
      }
    }
  }
  return b;
}

TEST(BodyCandidates, NextMatchesTestingEveryPosition) {
  std::uint32_t s = 77;
  for (int round = 0; round < 40; ++round) {
    const Bytes buf = HostileBuffer(s, {64, 32});
    const ByteSpan b(buf);
    for (const BodyStart kind : {BodyStart::kZeroBlockFirst, BodyStart::kBlockFirst, BodyStart::kSShd}) {
      BodyCandidates index(b, kind);
      std::vector<std::uint64_t> expected;
      for (std::uint64_t x = 0; x < b.size() + 2; ++x) {
        if (index.Passes(x)) expected.push_back(x);
      }
      for (int q = 0; q < 200; ++q) {
        const std::uint64_t from = Rand(s) % (b.size() + 3);
        const std::uint64_t limit = q % 4 == 0 ? b.size() + 1 : Rand(s) % (b.size() + 3);
        const auto it = std::lower_bound(expected.begin(), expected.end(), from);
        const std::uint64_t want = from >= limit ? from : (it != expected.end() && *it < limit ? *it : limit);
        ASSERT_EQ(index.Next(from, limit), want) << "round " << round << " from " << from << " limit " << limit;
      }
      EXPECT_LE(index.kept(), (b.size() / 65536 + 1) * 256);  // 256 a chunk at most
    }
  }
}

// One run of banks through the scan, as the body writer runs them: the
// search state carries over from bank to bank.
struct ScanRun {
  std::vector<BodyHit> hits;
  std::size_t cursor = 0;
  std::string log;
};

ScanRun RunBanks(ByteSpan b, const OccupiedRanges& ranges, bool zeroCheck, bool jump,
                 const std::vector<std::vector<std::uint32_t>>& banks, const std::vector<std::uint64_t>& froms) {
  testing::ScratchFile log;
  std::optional<BodyCandidates> index;
  BodySearch search;
  search.input = b;
  search.ranges = ranges;
  search.headZeroCheck = zeroCheck;
  search.vagLog = log.get();
  if (jump) search.candidates = &index.emplace(b, zeroCheck ? BodyStart::kZeroBlockFirst : BodyStart::kBlockFirst);
  ScanRun run;
  for (std::size_t i = 0; i < banks.size(); ++i) {
    std::uint64_t bodySize = 0;
    for (const std::uint32_t size : banks[i]) bodySize += size;
    const BodyHit hit = ScanForBody(search, static_cast<std::uint32_t>(i), i + 1 == banks.size(), banks[i], bodySize, froms[i]);
    if (hit.found && i == 0) search.firstBodyOfs = hit.ofs;
    run.hits.push_back(hit);
  }
  run.cursor = search.cursor;
  run.log = log.Text();
  return run;
}

TEST(BodyCandidates, ScansFindTheSameBodiesAndLogTheSameLines) {
  std::uint32_t s = 2026;
  int found = 0;
  for (int round = 0; round < 120; ++round) {
    const std::vector<std::uint32_t> sizes = {16u * (1 + Rand(s) % 8), 16u * (1 + Rand(s) % 4), 8u * (Rand(s) % 3)};
    const Bytes buf = HostileBuffer(s, sizes);
    const ByteSpan b(buf);
    OccupiedRanges ranges;
    for (std::uint32_t k = Rand(s) % 6; k > 0 && !buf.empty(); --k) {
      const std::uint32_t start = Rand(s) % buf.size();
      ranges.starts.push_back(start);
      ranges.ends.push_back(start + Rand(s) % 5000);
    }
    std::sort(ranges.starts.begin(), ranges.starts.end());
    std::sort(ranges.ends.begin(), ranges.ends.end());
    std::vector<std::vector<std::uint32_t>> banks;
    std::vector<std::uint64_t> froms;
    for (std::uint32_t i = 0; i < 1 + Rand(s) % 4; ++i) {
      banks.push_back(Rand(s) % 3 ? sizes : std::vector<std::uint32_t>{16u * (1 + Rand(s) % 64), 32});
      froms.push_back(Rand(s) % 2 ? 0 : Rand(s) % (buf.size() + 1));
    }
    for (const bool zeroCheck : {true, false}) {
      const ScanRun ref = RunBanks(b, ranges, zeroCheck, false, banks, froms);
      const ScanRun fast = RunBanks(b, ranges, zeroCheck, true, banks, froms);
      ASSERT_EQ(fast.log, ref.log) << "round " << round;
      ASSERT_EQ(fast.cursor, ref.cursor);
      for (std::size_t i = 0; i < ref.hits.size(); ++i) {
        ASSERT_EQ(fast.hits[i].found, ref.hits[i].found) << "round " << round << " bank " << i;
        ASSERT_EQ(fast.hits[i].ofs, ref.hits[i].ofs);
        ASSERT_EQ(fast.hits[i].lastSampleStart, ref.hits[i].lastSampleStart);
        found += ref.hits[i].found;
      }
    }
    for (int q = 0; q < 4; ++q) {
      const std::uint64_t from = Rand(s) % (buf.size() + 1);
      const std::uint64_t bodySize = q == 0 ? sizes[0] : Rand(s) % (buf.size() + 2);
      BodyCandidates index(b, BodyStart::kSShd);
      ASSERT_EQ(FindSShdBody(b, from, bodySize, &index), FindSShdBody(b, from, bodySize, nullptr));
    }
  }
  EXPECT_GT(found, 20);  // the buffers hold bodies that the scans find
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
