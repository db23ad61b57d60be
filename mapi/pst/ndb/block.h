// Blocks: data blocks (permute-encoded), the XBLOCK/XXBLOCK of a data tree and the
// SLBLOCK/SIBLOCK of a subnode tree, each followed by its BLOCKTRAILER.
#pragma once

#include <cstdint>
#include <vector>

#include "mapi/property.h"

namespace qc::mapi::pst {

// Bytes a block of `cb` data bytes takes in the file: data and trailer, on 64-byte boundaries.
std::size_t BlockFileSize(std::size_t cb);

// BLOCKTRAILER: appends padding and the trailer after `cb` bytes already in `block`.
void SealBlock(Bytes& block, std::size_t cb, std::uint64_t ib, std::uint64_t bid);

// XBLOCK (level 1) or XXBLOCK (level 2): the blocks of a data tree and their total size.
Bytes DataTreeBlock(std::uint8_t level, const std::vector<std::uint64_t>& bids,
                    std::uint64_t totalSize);

// SLENTRY and SIENTRY.
struct SubnodeLeaf {
  std::uint32_t nid = 0;
  std::uint64_t bidData = 0;
  std::uint64_t bidSub = 0;
};
struct SubnodeBranch {
  std::uint32_t nid = 0;  // the first subnode of the SLBLOCK
  std::uint64_t bid = 0;
};

// SLBLOCK
Bytes SubnodeLeafBlock(const SubnodeLeaf* entries, std::size_t count);
// SIBLOCK
Bytes SubnodeBranchBlock(const SubnodeBranch* entries, std::size_t count);

}  // namespace qc::mapi::pst
