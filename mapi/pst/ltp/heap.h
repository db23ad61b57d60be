// The heap-on-node (HN) of a node: items of up to 3,580 bytes, addressed by HID, packed into
// the node's data blocks with an HNHDR, HNPAGEHDR or HNBITMAPHDR in front and an HNPAGEMAP at
// the end. Blocks are written as they fill, except the first (its header names the root item,
// known last) and each bitmap block until the 128 blocks it describes are complete.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "mapi/pst/ndb/data_tree.h"
#include "mapi/pst/ndb/node_database.h"

namespace qc::mapi::pst {

class HeapWriter {
 public:
  HeapWriter(NodeDatabase& db, std::uint8_t clientSignature);
  ~HeapWriter();
  HeapWriter(const HeapWriter&) = delete;
  HeapWriter& operator=(const HeapWriter&) = delete;

  // Stores an item; returns its HID. An empty item gets HID 0, which readers take as empty.
  std::uint32_t allocate(const std::uint8_t* data, std::size_t size);
  std::uint32_t allocate(const Bytes& data) { return allocate(data.data(), data.size()); }
  // An item of `size` bytes to be filled in later (by finish() at the latest): readers expect
  // a table's or context's headers first in the heap, and they are known last.
  std::uint32_t reserve(std::size_t size);
  void fill(std::uint32_t hid, const std::uint8_t* data, std::size_t size);
  void fill(std::uint32_t hid, const Bytes& data) { fill(hid, data.data(), data.size()); }
  void setRoot(std::uint32_t hid) { root_ = hid; }

  // Writes what is held and the data tree; returns the node's data identifier.
  std::uint64_t finish();

  // A block being filled: its bytes (header and items) and where each item begins. Kept from
  // one heap to the next on a thread: a store's messages each build several heaps.
  struct Block {
    Bytes bytes;
    std::vector<std::uint16_t> starts;
  };

 private:
  std::size_t headerSize(std::size_t index) const;
  void openBlock();
  void sealCurrent();
  void seal(Block& block, std::size_t index);
  void emit(std::size_t index, const Block& block);

  NodeDatabase& db_;
  std::uint8_t client_;
  std::uint32_t root_ = 0;
  std::unique_ptr<Block> current_;
  std::size_t currentIndex_ = 0;
  std::unique_ptr<Block> first_;                           // once sealed, until finish()
  std::map<std::size_t, std::unique_ptr<Block>> bitmaps_;  // open bitmap blocks
  std::vector<std::uint8_t> fillLevels_;                   // one per sealed block
  std::vector<std::uint64_t> bids_;                        // of written blocks, by block index
  std::vector<std::uint16_t> sizes_;
};

// FILL_LEVEL of a block with `freeBytes` unused.
std::uint8_t HeapFillLevel(std::size_t freeBytes);

// HID of the item at `itemIndex` (1-based) of block `blockIndex`.
constexpr std::uint32_t MakeHid(std::size_t blockIndex, std::size_t itemIndex) {
  return static_cast<std::uint32_t>((blockIndex << 16) | (itemIndex << 5));
}

}  // namespace qc::mapi::pst
