// The node and block B-trees (BTPAGE with NBTENTRY, BBTENTRY and BTENTRY records), written
// bottom-up once every node and block is known.
#pragma once

#include <cstdint>
#include <vector>

#include "mapi/pst/allocation_map.h"
#include "mapi/pst/header.h"

namespace qc::mapi::pst {

// NBTENTRY
struct NodeEntry {
  std::uint32_t nid = 0;
  std::uint64_t bidData = 0;
  std::uint64_t bidSub = 0;
  std::uint32_t nidParent = 0;
};

// BBTENTRY
struct BlockEntry {
  std::uint64_t bid = 0;
  std::uint64_t ib = 0;
  std::uint16_t cb = 0;
  std::uint16_t refs = 0;
};

// Writes the tree over entries sorted by key and returns the root page. `nextPageBid` gives
// the pages their identifiers.
BlockRef WriteNodeBTree(const std::vector<NodeEntry>& entries, SpaceAllocator& space,
                        PositionedSink& sink, std::uint64_t& nextPageBid);
BlockRef WriteBlockBTree(const std::vector<BlockEntry>& entries, SpaceAllocator& space,
                         PositionedSink& sink, std::uint64_t& nextPageBid);

}  // namespace qc::mapi::pst
