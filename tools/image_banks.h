// Sound banks for synthetic images: VAB headers and their SPU ADPCM bodies,
// the VAB variant (".vh2"), SShd and INST banks, and small images holding
// banks of one class in several layouts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_builder.h"

namespace psxdig::tools {

// One SPU ADPCM sample of `size` bytes (a multiple of 16, at least 16):
// 16-byte blocks whose byte 0 holds a filter of 1..4 and a shift of 0..12
// and whose flag byte is 0, the last block carrying `endFlag`. With
// `zeroBlockFirst` the sample opens with a block of 16 zero bytes.
Bytes MakeAdpcmSample(std::uint32_t size, std::uint32_t seed, std::uint8_t endFlag = 1,
                      bool zeroBlockFirst = true);

// A bank body: the samples of `sizes` one after another. The first sample
// opens with a zero block unless `zeroBlockFirst` is false; the later ones
// always do.
Bytes MakeAdpcmBody(const std::vector<std::uint32_t>& sizes, std::uint32_t seed,
                    bool zeroBlockFirst = true);

// A VAB header ("pBAV") with `programs` programs and a VAG size table for
// samples of `sizes` bytes; its total-size field holds header + body size.
// Size: 2592 + 512 * programs.
Bytes MakeVabHeader(std::uint16_t programs, const std::vector<std::uint32_t>& sizes,
                    std::uint32_t seed, std::uint32_t bankId = 0);

// A VAB variant header of `headerSize` bytes (at least 40 + 4 * samples,
// below 65536): header size at 32, body size at 36, and the start offset of
// every sample in its last words, the first sample's zero entry first. With
// `shuffled` the nonzero entries stand in reverse order.
Bytes MakeVh2Header(std::uint32_t headerSize, const std::vector<std::uint32_t>& sizes,
                    std::uint32_t seed, bool shuffled = false);

// An SShd header item from its start (12 bytes before "SShd"): header size,
// body size, four zero bytes, the signature and filler up to `headerSize`.
Bytes MakeSShdHeader(std::uint32_t headerSize, std::uint32_t bodySize, std::uint32_t seed);

// An SShd body: a zero block, then blocks whose byte 0 is below 0x4F and
// whose flag is 0, the last block with flag 1.
Bytes MakeSShdBody(std::uint32_t size, std::uint32_t seed);

// An INST header: "INST", four zero bytes, header size at 8, body size at
// 16, filler up to `headerSize` (at least 20).
Bytes MakeInstHeader(std::uint32_t headerSize, std::uint32_t bodySize, std::uint32_t seed);

// Plants the demo's VAB banks: a body right behind its header, headers
// followed by their bodies, a bank without a body, and a copy of the first
// bank with its body.
void AddVabBanks(ImageBuilder& img);

// A small image of one bank class ("vab", "vh2", "sshd" or "inst"), empty for
// an unknown kind.
Bytes BuildBankImage(const std::string& kind, std::vector<Planted>* planted = nullptr);

}  // namespace psxdig::tools
