// The CRC-32 of pages, blocks and the header: the reflected polynomial 0xEDB88320, started at
// the given value and not inverted at the end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qc::mapi::pst {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace qc::mapi::pst
