#include "image_banks.h"

#include <algorithm>
#include <numeric>

namespace psxdig::tools {
namespace {

constexpr std::uint32_t kBlock = 16;

void PutU16(Bytes& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<std::uint8_t>(v);
  out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(Bytes& out, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) out[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

std::uint32_t NextRandom(std::uint32_t& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

// Filler bytes from which no signature can start.
void FillSafe(Bytes& out, std::size_t from, std::size_t to, std::uint32_t& state) {
  for (std::size_t k = from; k < to; ++k) out[k] = SafeByte(static_cast<std::uint8_t>(NextRandom(state)));
}

// Byte 0 of an ADPCM block: filter 1..4 (so never a valid flag value),
// shift 0..12, avoiding the bytes that may start a signature.
std::uint8_t BlockHead(std::uint32_t& state) {
  for (;;) {
    const std::uint32_t r = NextRandom(state);
    const auto head = static_cast<std::uint8_t>(((1 + r % 4) << 4) | ((r >> 8) % 13));
    if (SafeByte(head) == head) return head;
  }
}

std::uint32_t Sum(const std::vector<std::uint32_t>& sizes) {
  return std::accumulate(sizes.begin(), sizes.end(), 0u);
}

}  // namespace

Bytes MakeAdpcmSample(std::uint32_t size, std::uint32_t seed, std::uint8_t endFlag,
                      bool zeroBlockFirst) {
  Bytes out(size, 0);
  std::uint32_t state = seed ? seed : 1;
  for (std::uint32_t block = zeroBlockFirst ? kBlock : 0; block + kBlock <= size; block += kBlock) {
    out[block] = BlockHead(state);
    out[block + 1] = block + kBlock == size ? endFlag : 0;
    FillSafe(out, block + 2, block + kBlock, state);
  }
  return out;
}

Bytes MakeAdpcmBody(const std::vector<std::uint32_t>& sizes, std::uint32_t seed,
                    bool zeroBlockFirst) {
  Bytes out;
  for (std::size_t k = 0; k < sizes.size(); ++k) {
    const Bytes sample = MakeAdpcmSample(sizes[k], seed + static_cast<std::uint32_t>(k) * 7919, 1,
                                         zeroBlockFirst || k > 0);
    out.insert(out.end(), sample.begin(), sample.end());
  }
  return out;
}

Bytes MakeVabHeader(std::uint16_t programs, const std::vector<std::uint32_t>& sizes,
                    std::uint32_t seed, std::uint32_t bankId) {
  const std::size_t toneBytes = std::size_t{programs} * 512;
  const std::size_t headerSize = 2592 + toneBytes;
  Bytes out(headerSize, 0);
  std::uint32_t state = seed ? seed : 1;
  out[0] = 'p';
  out[1] = 'B';
  out[2] = 'A';
  out[3] = 'V';
  PutU32(out, 4, 7);  // format version
  PutU32(out, 8, bankId);
  PutU32(out, 12, static_cast<std::uint32_t>(headerSize) + Sum(sizes));
  PutU16(out, 18, programs);
  PutU16(out, 20, static_cast<std::uint16_t>(programs * 2));  // tones
  PutU16(out, 22, static_cast<std::uint16_t>(sizes.size()));
  out[24] = 0x7F;  // master volume
  out[25] = 0x40;  // master pan
  PutU32(out, 28, 0xFFFFFFFF);
  // Program attributes: 128 entries of 16 bytes, reserved words all ones.
  for (std::size_t p = 0; p < 128; ++p) {
    const std::size_t at = 32 + p * 16;
    if (p < programs) {
      out[at] = 2;         // tones
      out[at + 1] = 0x7F;  // volume
      out[at + 4] = 0x40;  // pan
    }
    PutU32(out, at + 8, 0xFFFFFFFF);
    PutU32(out, at + 12, 0xFFFFFFFF);
  }
  FillSafe(out, 2080, 2080 + toneBytes, state);
  const std::size_t table = 2080 + toneBytes;
  for (std::size_t k = 0; k < sizes.size() && k < 255; ++k) {
    PutU16(out, table + 2 * (k + 1), static_cast<std::uint16_t>(sizes[k] / 8));
  }
  return out;
}

Bytes MakeVh2Header(std::uint32_t headerSize, const std::vector<std::uint32_t>& sizes,
                    std::uint32_t seed, bool shuffled) {
  Bytes out(headerSize, 0);
  std::uint32_t state = seed ? seed : 1;
  FillSafe(out, 4, headerSize, state);
  out[0] = 'p';
  out[1] = 'B';
  out[2] = 'A';
  out[3] = 'V';
  PutU32(out, 4, 7);
  PutU32(out, 32, headerSize);  // below 65536: bytes 34..35 stay zero
  PutU32(out, 36, Sum(sizes));
  out[40] = 0x00;  // the first program entry is not that of a plain VAB header
  out[41] = 0x01;
  std::vector<std::uint32_t> offsets;
  std::uint32_t at = 0;
  for (const std::uint32_t size : sizes) {
    offsets.push_back(at);
    at += size;
  }
  if (shuffled && offsets.size() > 2) std::reverse(offsets.begin() + 1, offsets.end());
  const std::size_t tableAt = headerSize - 4 * offsets.size();
  // The word in front of the table must not end it early: make it nonzero.
  if (tableAt >= 44) PutU32(out, tableAt - 4, 0x10101010);
  for (std::size_t k = 0; k < offsets.size(); ++k) PutU32(out, tableAt + 4 * k, offsets[k]);
  return out;
}

Bytes MakeSShdHeader(std::uint32_t headerSize, std::uint32_t bodySize, std::uint32_t seed) {
  Bytes out(headerSize, 0);
  std::uint32_t state = seed ? seed : 1;
  PutU32(out, 0, headerSize);
  PutU32(out, 4, bodySize);
  out[12] = 'S';
  out[13] = 'S';
  out[14] = 'h';
  out[15] = 'd';
  FillSafe(out, 16, headerSize, state);
  return out;
}

Bytes MakeSShdBody(std::uint32_t size, std::uint32_t seed) {
  return MakeAdpcmSample(size, seed, 1, true);
}

Bytes MakeInstHeader(std::uint32_t headerSize, std::uint32_t bodySize, std::uint32_t seed) {
  Bytes out(headerSize, 0);
  std::uint32_t state = seed ? seed : 1;
  FillSafe(out, 20, headerSize, state);
  out[0] = 'I';
  out[1] = 'N';
  out[2] = 'S';
  out[3] = 'T';
  PutU32(out, 8, headerSize);
  PutU32(out, 16, bodySize);
  return out;
}

void AddVabBanks(ImageBuilder& img) {
  const std::vector<std::uint32_t> sizes0 = {2048, 1024, 512};
  const std::vector<std::uint32_t> sizes1 = {1536, 4096};
  const std::vector<std::uint32_t> sizes2 = {768, 768, 2560};
  const std::vector<std::uint32_t> sizes3 = {3072, 1024};
  const Bytes header0 = MakeVabHeader(1, sizes0, 301);
  const Bytes body0 = MakeAdpcmBody(sizes0, 401);

  img.Filler(1000);
  img.Plant(header0, ".vh", "bank 1, body right behind it");
  img.Plant(body0, ".vb", "body of bank 1");
  img.Filler(1200);
  img.Plant(MakeVabHeader(2, sizes1, 302), ".vh", "bank 2, body after the headers");
  img.Filler(300);
  img.Plant(MakeVabHeader(1, sizes2, 303), ".vh", "bank 3, no body anywhere");
  img.Filler(300);
  img.Plant(MakeVabHeader(0, sizes3, 304), ".vh", "bank 4, body after the headers");
  img.Filler(500);
  img.Plant(MakeAdpcmBody(sizes1, 402), ".vb", "body of bank 2");
  img.Filler(400);
  img.Plant(MakeAdpcmBody(sizes3, 404), ".vb", "body of bank 4");
  img.Filler(900);
  img.Plant(header0, ".vh", "bank 5, duplicate of bank 1");
  img.Plant(body0, ".vb", "body of bank 5, duplicate of body 1");
  img.Filler(1500);
}

namespace {

void AddVh2Banks(ImageBuilder& img) {
  const std::vector<std::uint32_t> sizes0 = {1024, 512, 2048};
  const std::vector<std::uint32_t> sizes1 = {1536, 512, 256};
  const std::vector<std::uint32_t> sizes2 = {4096};
  img.Filler(700);
  img.Plant(MakeVh2Header(0x200, sizes0, 311), ".vh2", "bank 1, body right behind it");
  img.Plant(MakeAdpcmBody(sizes0, 411), ".vb", "body of bank 1");
  img.Filler(600);
  img.Plant(MakeVh2Header(0x180, sizes1, 312, true), ".vh2", "bank 2, offset table out of order");
  img.Filler(300);
  img.Plant(MakeVh2Header(0x40, sizes2, 313), ".vh2", "bank 3, one sample (zero last word)");
  img.Filler(500);
  img.Plant(MakeAdpcmBody(sizes1, 412), ".vb", "body of bank 2");
  img.Filler(200);
  img.Plant(MakeAdpcmBody(sizes2, 413), ".vb", "body of bank 3");
  img.Filler(800);
}

void AddSShdBanks(ImageBuilder& img) {
  img.Filler(900);
  const Bytes header0 = MakeSShdHeader(0x80, 2048, 321);
  img.Plant(header0, ".sshd", "bank 1, body right behind it");
  img.Plant(MakeSShdBody(2048, 421), ".vb", "body of bank 1");
  img.Filler(500);
  img.Plant(MakeSShdHeader(0x60, 1024, 322), ".sshd", "bank 2");
  img.Filler(300);
  img.Plant(MakeSShdHeader(0x40, 3072, 323), ".sshd", "bank 3");
  img.Filler(400);
  img.Plant(MakeSShdBody(1024, 422), ".vb", "body of bank 2");
  img.Plant(MakeSShdBody(3072, 423), ".vb", "body of bank 3, right behind body 2");
  img.Filler(600);
}

void AddInstBanks(ImageBuilder& img) {
  img.Filler(800);
  img.Plant(MakeInstHeader(0x40, 0x800, 331), ".inst", "bank 1");
  img.Plant(MakeAdpcmBody({0x800}, 431), ".vb", "body of bank 1");
  img.Filler(300);
  img.Plant(MakeInstHeader(0x30, 0x400, 332), ".inst", "bank 2");
  img.Plant(MakeAdpcmBody({0x400}, 432), ".vb", "body of bank 2");
  img.Filler(500);
}

}  // namespace

Bytes BuildBankImage(const std::string& kind, std::vector<Planted>* planted) {
  ImageBuilder img(77);
  if (kind == "vab") {
    AddVabBanks(img);
  } else if (kind == "vh2") {
    AddVh2Banks(img);
  } else if (kind == "sshd") {
    AddSShdBanks(img);
  } else if (kind == "inst") {
    AddInstBanks(img);
  } else {
    return {};
  }
  img.Align(2048);
  if (planted) *planted = img.planted();
  return img.bytes();
}

}  // namespace psxdig::tools
