// Compressed RTF, the form PR_RTF_COMPRESSED holds (MS-OXRTFCP): a 16-byte header (COMPSIZE,
// RAWSIZE, COMPTYPE, CRC) and LZ-compressed content over a 4096-byte circular dictionary that
// starts out holding a fixed string of common RTF.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "mapi/property.h"

namespace qc::mapi::rtf {

constexpr std::uint32_t kCompressedMagic = 0x75465A4C;    // "LZFu"
constexpr std::uint32_t kUncompressedMagic = 0x414C454D;  // "MELA"
constexpr std::size_t kHeaderSize = 16;

// The CRC of the compressed content: the writers' CRC-32 (crc32.h), started at 0 and not
// inverted at the end, as MS-OXRTFCP defines it (so it is not zlib's crc32).
std::uint32_t RtfCrc(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);

// `rtf` compressed ("LZFu"), with a greedy longest match over the dictionary.
Bytes CompressRtf(std::string_view rtf);

// `rtf` in the uncompressed form ("MELA"): the header and the bytes as they are.
Bytes WrapUncompressedRtf(std::string_view rtf);

// The RTF held in either form. Throws qc::Error when the header is short or inconsistent, the
// magic unknown, the CRC wrong, the content cut short before its end marker, or the result's
// size not the one the header announces.
std::string DecompressRtf(std::span<const std::uint8_t> compressed);

}  // namespace qc::mapi::rtf
