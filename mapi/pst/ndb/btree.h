// The node and block B-trees (BTPAGE with NBTENTRY, BBTENTRY and BTENTRY records). Leaf pages
// can be written as their entries become final (the block tree's, while the store is written:
// blocks get rising identifiers), the pages above them once every leaf is known.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "mapi/pst/ndb/allocation_map.h"
#include "mapi/pst/ndb/header.h"

namespace qc::mapi::pst {

// NBTENTRY
struct NodeEntry {
  std::uint64_t bidData = 0;
  std::uint64_t bidSub = 0;
  std::uint32_t nid = 0;
  std::uint32_t nidParent = 0;
};

// BBTENTRY
struct BlockEntry {
  std::uint64_t bid = 0;
  std::uint64_t ib = 0;
  std::uint16_t cb = 0;
  std::uint16_t refs = 0;
};

// A written page, as the level above refers to it (BTENTRY).
struct PageRef {
  std::uint64_t firstKey = 0;
  BlockRef ref;
};

// Where pages go and how they get their identifiers.
struct PageWriter {
  SpaceAllocator& space;
  PositionedSink& sink;
  std::uint64_t& nextPageBid;
};

// Leaf pages over `count` entries sorted by key, full but for the last.
std::vector<PageRef> WriteBlockLeaves(const BlockEntry* entries, std::size_t count,
                                      const PageWriter& out);
// The pages above the leaves (or one empty leaf when there are none); returns the root.
BlockRef WriteBlockBTreeAbove(std::vector<PageRef> leaves, const PageWriter& out);
// The whole node tree over entries sorted by NID.
BlockRef WriteNodeBTree(const std::deque<NodeEntry>& entries, const PageWriter& out);

}  // namespace qc::mapi::pst
