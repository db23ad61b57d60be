// The subnodes of a node (a message's recipient and attachment tables, attachments, large
// values), written as an SLBLOCK or, past 340 subnodes, SLBLOCKs under an SIBLOCK.
#pragma once

#include <cstdint>
#include <vector>

#include "mapi/pst/ndb/block.h"
#include "mapi/pst/ndb/node_database.h"

namespace qc::mapi::pst {

class SubnodeTree {
 public:
  void add(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub) {
    entries_.push_back({nid, bidData, bidSub});
  }
  bool empty() const { return entries_.empty(); }
  // Writes the tree; returns its identifier, 0 when there are no subnodes.
  std::uint64_t write(NodeDatabase& db);

 private:
  std::vector<SubnodeLeaf> entries_;
};

}  // namespace qc::mapi::pst
