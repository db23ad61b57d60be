// HEADER and ROOT: the first 564 bytes of the file, where a reader starts.
#pragma once

#include <array>
#include <cstdint>

#include "mapi/property.h"

namespace qc::mapi::pst {

struct BlockRef {
  std::uint64_t bid = 0;
  std::uint64_t ib = 0;
};

// ROOT
struct Root {
  std::uint64_t fileEof = 0;
  std::uint64_t lastAMap = 0;
  std::uint64_t amapFree = 0;
  std::uint64_t pmapFree = 0;
  BlockRef nbt;
  BlockRef bbt;
  std::uint8_t amapValid = 0;
};

// HEADER (Unicode)
struct Header {
  std::uint64_t nextPageBid = 0;            // bidNextP
  std::uint64_t nextBlockBid = 0;           // bidNextB
  std::uint32_t unique = 0;                 // dwUnique
  std::array<std::uint32_t, 32> nextNid{};  // rgnid: the last index given out, per node type
  Root root;
  std::uint8_t cryptMethod = 0;
};

// Offsets of the fields that the checker and tests look at.
namespace header_offset {
constexpr std::size_t kCrcPartial = 4;
constexpr std::size_t kVersion = 10;
constexpr std::size_t kNextPageBid = 32;
constexpr std::size_t kUnique = 40;
constexpr std::size_t kNids = 44;
constexpr std::size_t kRoot = 180;
constexpr std::size_t kFileEof = kRoot + 4;
constexpr std::size_t kLastAMap = kRoot + 12;
constexpr std::size_t kAMapFree = kRoot + 20;
constexpr std::size_t kPMapFree = kRoot + 28;
constexpr std::size_t kNbt = kRoot + 36;
constexpr std::size_t kBbt = kRoot + 52;
constexpr std::size_t kAMapValid = kRoot + 68;
constexpr std::size_t kFreeMap = 256;
constexpr std::size_t kFreePageMap = 384;
constexpr std::size_t kSentinel = 512;
constexpr std::size_t kCryptMethod = 513;
constexpr std::size_t kNextBlockBid = 516;
constexpr std::size_t kCrcFull = 524;
constexpr std::size_t kPartialStart = 8;
constexpr std::size_t kPartialLength = 471;
constexpr std::size_t kFullLength = 516;
}  // namespace header_offset

// The 564 bytes, both CRCs included.
Bytes SerializeHeader(const Header& header);

}  // namespace qc::mapi::pst
