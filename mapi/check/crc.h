// The CRC-32 the checked formats use (pages, blocks and the header of a data file, and the hash
// of string names in both formats' name-to-id maps): the reflected polynomial 0xEDB88320,
// started at the given value, not inverted at the end. Computed bit by bit as the polynomial
// defines it, apart from the writers' fast versions, so that a fault in those shows up here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qc::mapi::check {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace qc::mapi::check
