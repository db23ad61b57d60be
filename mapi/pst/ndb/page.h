// PAGETRAILER and the 512-byte pages of the node database.
#pragma once

#include <array>
#include <cstdint>

namespace qc::mapi::pst {

using Page = std::array<std::uint8_t, 512>;

// The signature of a block or B-tree page: its offset folded with its identifier (wSig).
std::uint16_t BlockSignature(std::uint64_t ib, std::uint64_t bid);

// PAGETRAILER: fills the last 16 bytes of `page` (type, signature, CRC of the first 496 bytes,
// identifier). Map pages carry signature 0 and their own offset as identifier.
void SealPage(Page& page, std::uint8_t type, std::uint16_t signature, std::uint64_t bid);

}  // namespace qc::mapi::pst
