#include "mapi/cfb/directory.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "mapi/little_endian.h"
#include "util/error.h"

namespace qc::mapi::cfb {

namespace {

// One red-black tree of siblings: a size-balanced tree has every level full except perhaps the
// deepest, so colouring that level red (when it is not full) and all else black gives every
// path the same number of black nodes, and no red node has a child.
std::uint32_t BuildTree(std::vector<DirEntry>& out, std::size_t first, std::size_t lo,
                        std::size_t hi, int depth, int redDepth) {
  if (lo >= hi) return kNoStream;
  const std::size_t mid = lo + (hi - lo) / 2;
  const auto id = static_cast<std::uint32_t>(first + mid);
  out[id].left = BuildTree(out, first, lo, mid, depth + 1, redDepth);
  out[id].right = BuildTree(out, first, mid + 1, hi, depth + 1, redDepth);
  out[id].colour = depth == redDepth ? Colour::Red : Colour::Black;
  return id;
}

std::uint32_t BuildSiblingTree(std::vector<DirEntry>& out, std::size_t first, std::size_t count) {
  const int deepest = static_cast<int>(std::bit_width(count)) - 1;
  const bool full = std::has_single_bit(count + 1);
  return BuildTree(out, first, 0, count, 0, full ? -1 : deepest);
}

// The entries of a storage's children, then of everything below them.
void AddChildren(const Storage& storage, std::size_t self, std::vector<DirEntry>& out) {
  const std::vector<Storage::Child>& children = storage.children();
  const std::size_t first = out.size();
  for (const std::uint32_t i : storage.siblingOrder()) {
    const Storage::Child& child = children[i];
    DirEntry& entry = out.emplace_back();
    entry.item = &child;
    if (child.storage) {
      entry.type = ObjectType::Storage;
    } else {
      entry.type = ObjectType::Stream;
      entry.size = child.streamSize();
      if (entry.size > kMaxStreamSize) {
        throw Error("the stream \"" + child.name.utf8() + "\" is larger than 2 GiB, which a " +
                    "Compound File cannot hold");
      }
    }
  }
  if (out.size() >= kMaxRegSect) throw Error("too many entries for a Compound File");
  out[self].child = BuildSiblingTree(out, first, children.size());
  for (std::size_t k = 0; k < children.size(); ++k) {
    const Storage::Child& child = children[storage.siblingOrder()[k]];
    if (child.storage) AddChildren(*child.storage, first + k, out);
  }
}

// How many entries lie below a storage.
std::size_t CountEntries(const Storage& storage) {
  std::size_t count = storage.children().size();
  for (const Storage::Child& child : storage.children()) {
    if (child.storage) count += CountEntries(*child.storage);
  }
  return count;
}

}  // namespace

std::vector<DirEntry> BuildDirectory(const Storage& root) {
  std::vector<DirEntry> out(1);
  out.reserve(1 + CountEntries(root));
  out[0].type = ObjectType::Root;
  out[0].colour = Colour::Black;
  AddChildren(root, 0, out);
  return out;
}

// Directory entry (MS-CFB 2.6.1); state bits and times stay 0 so output is reproducible.
std::u16string_view DirEntry::name(const Storage& root) const {
  if (type == ObjectType::Root) return root.entryName().units();
  return item != nullptr ? item->name.units() : std::u16string_view();
}

void EncodeDirEntry(const DirEntry& entry, const Storage& root, std::uint8_t* out) {
  namespace at = entry_offset;
  std::memset(out, 0, kDirEntrySize);
  const std::u16string_view name = entry.name(root);
  if constexpr (std::endian::native == std::endian::little) {
    // An unused entry's name has no units, and may have no address either.
    if (!name.empty()) std::memcpy(out + at::kName, name.data(), 2 * name.size());
  } else {
    for (std::size_t i = 0; i < name.size(); ++i) Put16(out + at::kName + 2 * i, name[i]);
  }
  if (entry.type != ObjectType::Unused) {
    Put16(out + at::kNameLength, static_cast<std::uint16_t>(2 * (name.size() + 1)));
  }
  out[at::kType] = static_cast<std::uint8_t>(entry.type);
  out[at::kColour] = static_cast<std::uint8_t>(entry.colour);
  Put32(out + at::kLeft, entry.left);
  Put32(out + at::kRight, entry.right);
  Put32(out + at::kChild, entry.child);
  const Storage* storage = entry.type == ObjectType::Root ? &root
                           : entry.item != nullptr && entry.item->storage
                               ? entry.item->storage.get()
                               : nullptr;
  if (storage != nullptr) {
    std::memcpy(out + at::kClsid, storage->clsid().bytes.data(), storage->clsid().bytes.size());
  }
  Put32(out + at::kStartSector, entry.startSector);
  Put64(out + at::kSize, entry.size);
}

}  // namespace qc::mapi::cfb
