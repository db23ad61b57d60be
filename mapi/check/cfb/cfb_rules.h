// What the strict Compound File reader computes from MS-CFB by itself rather than borrow from
// the writer: where the header's and a directory entry's fields lie, the upper-casing and order
// of sibling names, and what a name must not be. The format's numbers (sector sizes, special
// sector numbers, the signature) come from mapi/cfb/format.h, which holds nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qc::mapi::cfb::check {

// The 512-byte header (MS-CFB 2.2).
namespace header_at {
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
}  // namespace header_at

// What version 3 with 512-byte sectors puts in the header.
constexpr std::uint16_t kMinorVersion = 0x003E;
constexpr std::uint16_t kMajorVersion = 3;
constexpr std::uint16_t kByteOrderMark = 0xFFFE;
constexpr std::uint16_t kSectorShift = 9;
constexpr std::uint16_t kMiniSectorShift = 6;

// A 128-byte directory entry (MS-CFB 2.6).
namespace entry_at {
constexpr std::size_t kName = 0;  // 32 UTF-16 units
constexpr std::size_t kNameLength = 64;
constexpr std::size_t kType = 66;
constexpr std::size_t kColour = 67;
constexpr std::size_t kLeft = 68;
constexpr std::size_t kRight = 72;
constexpr std::size_t kChild = 76;
constexpr std::size_t kClsid = 80;
constexpr std::size_t kStateBits = 96;
constexpr std::size_t kCreationTime = 100;
constexpr std::size_t kModifiedTime = 108;
constexpr std::size_t kStartSector = 116;
constexpr std::size_t kSize = 120;
}  // namespace entry_at

// Units of `unit` bytes that `size` bytes take.
constexpr std::uint64_t UnitsFor(std::uint64_t size, std::uint64_t unit) {
  return size / unit + (size % unit != 0 ? 1 : 0);
}

// The simple upper-case mapping of one UTF-16 unit, for the scripts names are likely to use.
char16_t UpperCase(char16_t c);
// The order of siblings: the shorter name first, then unit by unit after upper-casing.
// Negative, zero or positive as `a` sorts before, with or after `b`.
int SiblingOrder(std::u16string_view a, std::u16string_view b);
// Why `name` cannot name an entry ("is empty", ...), or an empty string when it can.
std::string NameFault(std::u16string_view name);

}  // namespace qc::mapi::cfb::check
