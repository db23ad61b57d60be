// Constants and helpers shared by the Compound File writer and reader (MS-CFB, version 3).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mapi/little_endian.h"

namespace qc::mapi::cfb {

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kSectorSize = 512;
constexpr std::size_t kMiniSectorSize = 64;
constexpr std::size_t kDirEntrySize = 128;
constexpr std::size_t kEntriesPerSector = kSectorSize / kDirEntrySize;
constexpr std::size_t kIdsPerSector = kSectorSize / 4;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kIdsPerDifatSector = kIdsPerSector - 1;  // the last one links to the next
constexpr std::uint64_t kMiniStreamCutoff = 4096;
// Version 3 files address streams with 32-bit sizes and readers reject anything larger.
constexpr std::uint64_t kMaxStreamSize = 0x80000000;
constexpr std::size_t kMaxNameUnits = 31;

constexpr std::uint32_t kMaxRegSect = 0xFFFFFFFA;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

enum class ObjectType : std::uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5 };
enum class Colour : std::uint8_t { Red = 0, Black = 1 };

constexpr std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) {
  return (a + b - 1) / b;
}

// UTF-8 to UTF-16; throws qc::Error on malformed input.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// The upper-casing readers apply to each UTF-16 unit when they order siblings.
char16_t UpperUnit(char16_t c);
// Sibling order in a storage: shorter names first, then unit by unit after upper-casing.
int CompareNames(std::u16string_view a, std::u16string_view b);
// Why `name` cannot name a directory entry, or an empty string when it can.
std::string NameProblem(std::u16string_view name);

}  // namespace qc::mapi::cfb
