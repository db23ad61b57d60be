// What the checker computes from MS-PST's rules by itself, rather than borrow from the writer:
// field offsets of the header, signatures and sizes of blocks, where the map pages stand, the
// fill levels of heap blocks, the sizes of table cells and the permutation's decoding. A fault
// in the writer's helpers then shows up as a finding instead of passing unseen. The numbers of
// the format itself (sizes, page types, signatures) come from mapi/pst/format.h, which holds
// nothing else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mapi/check/crc.h"

namespace qc::mapi::pst::check {

using ::qc::mapi::check::Crc32;

// Offsets of the HEADER's fields (Unicode), and the ranges its two CRCs cover.
namespace header_at {
constexpr std::size_t kCrcPartial = 4;
constexpr std::size_t kVersion = 10;
constexpr std::size_t kNextPageBid = 32;
constexpr std::size_t kUnique = 40;
constexpr std::size_t kNids = 44;  // rgnid[32]
constexpr std::size_t kRoot = 180;
constexpr std::size_t kFileEof = kRoot + 4;
constexpr std::size_t kLastAMap = kRoot + 12;
constexpr std::size_t kAMapFree = kRoot + 20;
constexpr std::size_t kPMapFree = kRoot + 28;
constexpr std::size_t kNbt = kRoot + 36;  // BREF: bid, ib
constexpr std::size_t kBbt = kRoot + 52;
constexpr std::size_t kAMapValid = kRoot + 68;
constexpr std::size_t kSentinel = 512;
constexpr std::size_t kCryptMethod = 513;
constexpr std::size_t kNextBlockBid = 516;
constexpr std::size_t kCrcFull = 524;
constexpr std::size_t kCrcStart = 8;            // both CRCs start at wMagicClient
constexpr std::size_t kCrcPartialLength = 471;  // up to dwCRCPartial's 471 bytes
constexpr std::size_t kCrcFullLength = 516;     // up to bidNextB included
}  // namespace header_at

// wSig of a page or block trailer: its offset and identifier folded into 16 bits.
std::uint16_t Signature(std::uint64_t ib, std::uint64_t bid);

// Bytes a block of `cb` data bytes takes in the file: data and BLOCKTRAILER, rounded up to 64.
std::uint64_t BlockBytesInFile(std::uint64_t cb);

// Where the AMap of range `index` stands, and which of the other map pages follow it there (a
// PMap every 8 ranges, an FMap every 496 from range 128, an FPMap every 31,744 from 8,192).
std::uint64_t AMapAt(std::uint64_t index);
struct MapPagesAfterAMap {
  bool pmap = false;   // at +512
  bool fmap = false;   // at +1024
  bool fpmap = false;  // at +1536
};
MapPagesAfterAMap MapPagesAt(std::uint64_t index);

// FILL_LEVEL of a heap block with `freeBytes` unused, as the HNPAGEMAP's neighbours record it.
std::uint8_t FillLevel(std::uint64_t freeBytes);

// The size of a table cell kept in the row itself (1, 2, 4 or 8 bytes) for the fixed-size
// property types; 0 for the types a row refers to by HNID.
std::uint8_t FixedCellSize(std::uint16_t type);

// True for the types whose value a property context keeps in the entry itself (dwValueHnid):
// the fixed-size ones of four bytes or fewer.
bool KeptInEntry(std::uint16_t type);

// Undoes NDB_CRYPT_PERMUTE in place.
void DecodePermuted(std::uint8_t* data, std::size_t size);

}  // namespace qc::mapi::pst::check
