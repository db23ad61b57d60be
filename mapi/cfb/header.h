// The 512-byte file header of a version 3 Compound File.
#pragma once

#include <array>
#include <cstdint>

#include "mapi/cfb/format.h"

namespace qc::mapi::cfb {

// The fields that depend on the layout; the rest are fixed for version 3 with 512-byte sectors.
struct HeaderFields {
  std::uint32_t fatSectorCount = 0;
  std::uint32_t firstDirectorySector = kEndOfChain;
  std::uint32_t firstMiniFatSector = kEndOfChain;
  std::uint32_t miniFatSectorCount = 0;
  std::uint32_t firstDifatSector = kEndOfChain;
  std::uint32_t difatSectorCount = 0;
  std::array<std::uint32_t, kHeaderDifatEntries> difat = FreeDifat();

 private:
  static constexpr std::array<std::uint32_t, kHeaderDifatEntries> FreeDifat() {
    std::array<std::uint32_t, kHeaderDifatEntries> all{};
    all.fill(kFreeSect);
    return all;
  }
};

// Header field offsets, shared with the reader.
namespace header_offset {
constexpr std::size_t kClsid = 8;
constexpr std::size_t kMinorVersion = 24;
constexpr std::size_t kMajorVersion = 26;
constexpr std::size_t kByteOrder = 28;
constexpr std::size_t kSectorShift = 30;
constexpr std::size_t kMiniSectorShift = 32;
constexpr std::size_t kReserved = 34;  // 6 bytes
constexpr std::size_t kDirectorySectorCount = 40;
constexpr std::size_t kFatSectorCount = 44;
constexpr std::size_t kFirstDirectorySector = 48;
constexpr std::size_t kTransactionSignature = 52;
constexpr std::size_t kMiniStreamCutoff = 56;
constexpr std::size_t kFirstMiniFatSector = 60;
constexpr std::size_t kMiniFatSectorCount = 64;
constexpr std::size_t kFirstDifatSector = 68;
constexpr std::size_t kDifatSectorCount = 72;
constexpr std::size_t kDifat = 76;  // 109 sector numbers
}  // namespace header_offset

constexpr std::uint16_t kMinorVersion = 0x003E;
constexpr std::uint16_t kMajorVersion = 3;
constexpr std::uint16_t kByteOrderMark = 0xFFFE;
constexpr std::uint16_t kSectorShift = 9;
constexpr std::uint16_t kMiniSectorShift = 6;

std::array<std::uint8_t, kHeaderSize> EncodeHeader(const HeaderFields& fields);

}  // namespace qc::mapi::cfb
