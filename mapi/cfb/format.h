// The numbers of the Compound File format (MS-CFB, version 3): sizes, special sector
// numbers, the signature, object types. The writer and the strict reader share them; nothing
// else lives here, so that the reader computes everything else by its own rules.
#pragma once

#include <cstdint>

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

}  // namespace qc::mapi::cfb
