// Atelier data: the whole input is one code stream. Bytes D0, D4, D7, D8,
// E2, E3 and E6 are escape codes (an escaped literal, a repeated triple and
// back-references with fixed or short distances); every other byte is a
// literal.
#include <cstdio>
#include <new>

#include "core/output.h"
#include "decompress/decompressors.h"
#include "platform/platform.h"

namespace psxdig {
namespace {

constexpr std::uint64_t kOutputPerInputByte = 10;

struct Output {
  std::vector<std::uint8_t>& bytes;
  std::uint64_t cap;

  bool Full() const { return bytes.size() >= cap; }
  void Put(std::uint8_t b) {
    if (!Full()) bytes.push_back(b);
  }
  // Copies `length` bytes from `distance` bytes back, byte by byte, so a copy
  // longer than its distance repeats the last `distance` bytes. A source
  // before the start of the output gives zero bytes.
  void PutBack(std::uint64_t distance, std::uint64_t length) {
    const bool beforeStart = distance > bytes.size();
    for (std::uint64_t k = 0; k < length && !Full(); ++k) {
      const std::uint8_t b = beforeStart ? 0 : bytes[bytes.size() - distance];
      bytes.push_back(b);
    }
  }
};

}  // namespace

std::vector<std::uint8_t> DecodeGust(ByteSpan in) {
  std::vector<std::uint8_t> bytes;
  Output out{bytes, static_cast<std::uint64_t>(in.size()) * kOutputPerInputByte};
  std::size_t s = 0;
  while (s < in.size() && !out.Full()) {
    const std::uint8_t c = in[s];
    // Bytes of the code, its parameters included.
    std::size_t codeBytes = 1;
    switch (c) {
      case 0xD0: case 0xD7: case 0xD8: case 0xE2: codeBytes = 2; break;
      case 0xE3: codeBytes = 3; break;
      case 0xE6: codeBytes = 4; break;
      case 0xD4: codeBytes = 5; break;
      default: break;
    }
    if (!HasBytes(in, s, codeBytes)) break;  // parameters cut off by the end of the input
    const std::uint8_t* p = in.data() + s + 1;
    switch (c) {
      case 0xD0: out.Put(p[0]); break;
      case 0xD4:  // the fourth parameter byte is not used
        for (int k = 0; k < 2; ++k) {
          out.Put(p[0]);
          out.Put(p[1]);
          out.Put(p[2]);
        }
        break;
      case 0xD7: out.PutBack(16, p[0] + 3u); break;
      case 0xD8: out.PutBack(17, p[0] + 3u); break;
      case 0xE2: out.PutBack(15, p[0] + 3u); break;
      case 0xE3: out.PutBack(p[0] + 4u, p[1] + 4u); break;
      case 0xE6: out.PutBack(p[0] + 256u * p[1] + 5u, p[2] + 5u); break;
      default: out.Put(c); break;
    }
    s += codeBytes;
  }
  return bytes;
}

std::uint32_t uncompressGust(ByteSpan input, const std::string& inputPath, DataOfs& table) {
  std::vector<std::uint8_t> out;
  try {
    out = DecodeGust(input);
  } catch (const std::bad_alloc&) {
    platform::SetLastError(platform::Failure::kNoMemory);
    ReportLastError("uncompressGust", __LINE__);
    return 0;
  }
  FilePtr file = OpenOutputFile(inputPath, nullptr, nullptr, ".dec", "wb", 0, table.seqNum);
  if (!file) {
    ReportLastError("uncompressGust", __LINE__);
    return 0;
  }
  if (!out.empty() && std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) {
    ReportLastError("uncompressGust", __LINE__);
    return 0;
  }
  return 1;
}

}  // namespace psxdig
