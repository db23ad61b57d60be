// The node database of a store being written: blocks go to the file as they are made, and so
// do the block tree's leaf pages (blocks get rising identifiers, so their entries come in key
// order); a small record per node and per leaf page stays in memory until close() writes the
// node tree, the pages above the leaves, the last allocation map, the density list and the
// header.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "mapi/pst/ndb/allocation_map.h"
#include "mapi/pst/ndb/btree.h"
#include "mapi/sink.h"

namespace qc::mapi::pst {

class NodeDatabase {
 public:
  explicit NodeDatabase(PositionedSink& sink);

  // A data block of at most 8,176 bytes, permute-encoded; returns its identifier.
  std::uint64_t writeDataBlock(const std::uint8_t* data, std::size_t size);
  // An XBLOCK, XXBLOCK, SLBLOCK or SIBLOCK (stored as is).
  std::uint64_t writeInternalBlock(const Bytes& body);
  // One more node or tree refers to a block already written. Only blocks written after
  // holdBlockTree() can be shared: the entries of earlier ones may be on disk already.
  void addReference(std::uint64_t bid);
  void holdBlockTree() { holdBlocks_ = true; }

  // The next free identifier of a node type (rgnid); indexes below `floor` are never given.
  std::uint32_t newNid(std::uint8_t type);
  void useNid(std::uint32_t nid);  // a fixed identifier, so rgnid never hands it out again
  void addNode(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub,
               std::uint32_t nidParent);

  // Writes what remains; the sink then holds a complete store.
  void close();

  std::uint64_t blockCount() const { return blockCount_; }
  // About the size the file would have if it were closed now: the space handed out, and the
  // pages that the nodes and blocks still held in memory will take.
  std::uint64_t sizeSoFar() const {
    return space_.used() + (nodes_.size() + blocks_.size()) * kEntryShare + kClosingPages;
  }

 private:
  std::uint64_t writeBlock(std::uint64_t bid, const std::uint8_t* data, std::size_t size,
                           bool encode);

  PositionedSink& sink_;
  SpaceAllocator space_;
  void flushBlockEntries(bool all);

  std::vector<BlockEntry> blocks_;  // not yet in a leaf page; in identifier order
  std::vector<PageRef> blockLeaves_;
  std::uint64_t blockCount_ = 0;
  bool holdBlocks_ = false;
  std::deque<NodeEntry> nodes_;  // a deque: no copy of them all when it grows
  std::array<std::uint32_t, 32> nextNid_{};
  std::uint64_t nextBlockBid_ = kFirstBlockBid;
  std::uint64_t nextPageBid_ = kFirstPageBid;
  Bytes scratch_;
  bool closed_ = false;

  static constexpr std::size_t kFlushEntries = 20 * 64;  // 64 leaf pages at a time
  // A B-tree page of 512 bytes holds 15 to 20 entries; a few pages, the header and the last
  // maps come at close.
  static constexpr std::uint64_t kEntryShare = 512 / 15;
  static constexpr std::uint64_t kClosingPages = 64 * 1024;
  static constexpr std::uint64_t kFirstBlockBid = 4;
  static constexpr std::uint64_t kFirstPageBid = 1;
};

}  // namespace qc::mapi::pst
