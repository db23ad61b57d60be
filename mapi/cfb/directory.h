// The directory of a Compound File: one 128-byte entry per storage and stream, the children of
// each storage kept in a red-black tree through their sibling links.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "mapi/cfb/compound_file.h"
#include "mapi/cfb/format.h"

namespace qc::mapi::cfb {

// Small, as a file may have hundreds of thousands: the name, CLSID and bytes are read from the
// tree when the entry is written.
struct DirEntry {
  // The storage or stream (which outlives the entry); null for the root and unused entries.
  const Storage::Child* item = nullptr;
  ObjectType type = ObjectType::Unused;
  Colour colour = Colour::Red;  // 0, as unused entries need
  std::uint32_t left = kNoStream;
  std::uint32_t right = kNoStream;
  std::uint32_t child = kNoStream;
  std::uint32_t startSector = 0;
  std::uint64_t size = 0;

  std::u16string_view name(const Storage& root) const;
};

// Directory entry field offsets, shared with the reader.
namespace entry_offset {
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
}  // namespace entry_offset

// Entry 0 is the root; the children of each storage get consecutive numbers in sibling order,
// followed by the entries below them. Start sectors and sizes of storages are left 0.
std::vector<DirEntry> BuildDirectory(const Storage& root);

// The entry's 128 bytes; `root` is the tree's root, which entry 0 stands for.
void EncodeDirEntry(const DirEntry& entry, const Storage& root, std::uint8_t* out);

}  // namespace qc::mapi::cfb
