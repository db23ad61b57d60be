// Reads and checks the node database of an Outlook data file: the header, the two B-trees,
// every block the block tree lists, the data and subnode trees of every node, the reference
// counts and the allocation maps. Every read is bounds-checked: damaged files give findings,
// never a crash.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "mapi/check/pst/findings.h"
#include "mapi/check/pst/sorted_table.h"
#include "mapi/property.h"

namespace qc::mapi::pst::check {

struct NodeInfo {
  std::uint32_t nid = 0;
  std::uint64_t bidData = 0;
  std::uint64_t bidSub = 0;
  std::uint32_t parent = 0;
};

struct SubnodeInfo {
  std::uint64_t bidData = 0;
  std::uint64_t bidSub = 0;
};
using Subnodes = std::map<std::uint32_t, SubnodeInfo>;

class NodeDatabaseReader {
 public:
  // The CRC is computed bit by bit by default, apart from the writer's; a reader that trusts
  // that one for speed may pass it.
  using CrcFunction = std::uint32_t (*)(const std::uint8_t*, std::size_t, std::uint32_t);
  NodeDatabaseReader(const std::uint8_t* data, std::uint64_t size, Findings& findings,
                     CrcFunction crc = nullptr);

  // Runs every check of the node database; false when the header is too broken to go on.
  bool check();
  // Only what reading nodes needs: the header, both B-trees, and every block's trailer and CRC
  // (reference counts, allocation maps and identifiers go unchecked). With `blocksWhenRead`, a
  // block's trailer and CRC are checked each time it is read instead, and a block that fails
  // reads as missing: a reader of a few nodes does not read the whole file.
  bool read(bool blocksWhenRead = false);
  // Called after every few thousand B-tree pages read, for a reader that lets the pages of a
  // mapped file go from memory as it goes.
  void releasePagesWith(std::function<void()> release) { releasePages_ = std::move(release); }

  const SortedTable<std::uint32_t, NodeInfo>& nodes() const { return nodes_; }
  // The decoded blocks of a node's data (empty for bid 0); nothing when the tree is broken.
  std::optional<std::vector<Bytes>> dataBlocks(std::uint64_t bid) const;
  std::optional<Bytes> data(std::uint64_t bid) const;
  // The subnodes of a subnode tree; nothing when the tree is broken.
  std::optional<Subnodes> subnodes(std::uint64_t bid) const;

 private:
  struct Block {
    std::uint64_t ib = 0;
    std::uint16_t cb = 0;
    std::uint16_t refs = 0;
    std::uint32_t found = 0;  // references found from nodes and trees
    bool sound = false;       // trailer and CRC checked
  };

  bool checkHeader();
  void walkBTree(std::uint64_t bid, std::uint64_t ib, std::uint8_t type, int expectedLevel,
                 std::optional<std::uint64_t> parentKey, std::uint64_t& lastKey, bool& first,
                 int depth);
  void checkBlocks();
  void checkNodeTrees();
  void countDataTree(std::uint64_t bid, int depth, const std::string& owner);
  void countSubnodeTree(std::uint64_t bid, int nesting, bool underBranch, const std::string& owner);
  void reference(std::uint64_t bid, const std::string& owner);
  void checkAllocationMaps();
  void checkIdentifiers();
  const std::uint8_t* blockBytes(std::uint64_t bid, std::uint16_t* cb) const;
  bool collectLeaves(std::uint64_t bid, int depth, std::vector<std::uint64_t>& leaves) const;
  bool collectSubnodes(std::uint64_t bid, int depth, Subnodes& out) const;

  const std::uint8_t* data_;
  std::uint64_t size_;
  Findings& findings_;
  CrcFunction crc_;
  bool lazyBlocks_ = false;
  std::function<void()> releasePages_;
  std::uint8_t crypt_ = 0;
  std::uint64_t nextBlockBid_ = 0;
  std::uint64_t nextPageBid_ = 0;
  std::array<std::uint32_t, 32> nextNid_{};
  std::uint64_t fileEof_ = 0;
  std::uint64_t lastAMap_ = 0;
  std::uint64_t amapFree_ = 0;
  std::uint64_t nbtBid_ = 0, nbtIb_ = 0, bbtBid_ = 0, bbtIb_ = 0;
  SortedTable<std::uint64_t, Block> blocks_;
  SortedTable<std::uint32_t, NodeInfo> nodes_;
  std::vector<std::uint64_t> pages_;  // offsets of B-tree pages
  std::set<std::uint64_t> visitedPages_;
  std::set<std::uint64_t> walked_;  // blocks whose children are counted
};

}  // namespace qc::mapi::pst::check
