// The one CRC-32 of the writers: of the pages, blocks and header of a data file, of compressed
// RTF, and the hash of string names in the name-to-id maps. The reflected polynomial 0xEDB88320,
// started at the given value and not inverted at the end (so not zlib's crc32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace qc::mapi {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

// Every implementation this processor can run, by name, the one Crc32() uses first: tests
// compare them with each other.
using Crc32Function = std::uint32_t (*)(const std::uint8_t*, std::size_t, std::uint32_t);
std::vector<std::pair<const char*, Crc32Function>> Crc32Implementations();

}  // namespace qc::mapi
