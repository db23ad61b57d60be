// Reads and checks the node database of an Outlook data file: the header, the two B-trees,
// every block the block tree lists, the data and subnode trees of every node, the reference
// counts and the allocation maps. Every read is bounds-checked: damaged files give findings,
// never a crash.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
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
  // A file of `size` bytes that is read as it is searched, through `readAt` (true when all `n`
  // bytes at `offset` could be read; safe to call from several threads): only open() reads
  // it. A file cut short meanwhile gives damaged pages and blocks, not a crash.
  using ReadAt = std::function<bool(std::uint64_t offset, std::uint8_t* out, std::size_t n)>;
  NodeDatabaseReader(std::uint64_t size, ReadAt readAt, Findings& findings,
                     CrcFunction crc = nullptr);

  // Runs every check of the node database; false when the header is too broken to go on.
  bool check();
  // Only what reading nodes needs: the header, both B-trees, and every block's trailer and CRC
  // (reference counts, allocation maps and identifiers go unchecked).
  bool read();
  // Only the header. Nodes and blocks are then found by searching the B-trees in the file: each
  // page is checked as it is passed (its CRC and key order the first time only), a block's
  // trailer and CRC each time it is read, and a block that fails reads as missing. A damaged page
  // or block then fails only what lies under it, and a reader of a few nodes of a file of millions
  // holds no lists of them. Searches may run on several threads at once.
  bool open();

  // Every node read() found (none after open()).
  const SortedTable<std::uint32_t, NodeInfo>& nodes() const { return nodes_; }
  // Node `nid`; nothing when the file does not have it, or when a B-tree page on the way to it
  // is damaged (named in `fault`).
  std::optional<NodeInfo> node(std::uint32_t nid, std::string* fault = nullptr) const;
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
  // A block's bytes (cb of them): in the file held in memory, or read into `owned`.
  struct BlockRef {
    const std::uint8_t* data = nullptr;
    std::uint16_t cb = 0;
    Bytes owned;
    explicit operator bool() const { return data != nullptr; }
  };
  // `n` bytes of the file at `offset` into `out`; false when they cannot be read.
  bool fetch(std::uint64_t offset, std::uint8_t* out, std::size_t n) const;
  // The leaf entry under `key` in the B-tree of pages of `type`, searched in the file, copied
  // into `entry`; false when there is none, with `fault` naming the damaged page when that is
  // why.
  bool seek(std::uint8_t type, std::uint64_t key, std::uint8_t* entry, std::string& fault) const;
  // What is wrong with the B-tree page `p`, at `ib`, on its own (its trailer, CRC and entries);
  // empty when it is sound. Its CRC, signature and key order are checked once per page.
  std::string pageFault(const std::uint8_t* p, std::uint64_t ib, std::uint64_t bid,
                        std::uint8_t type) const;
  // Block `bid` as the searched block tree places it; nothing when it is missing or placed
  // outside the file.
  std::optional<Block> soughtBlock(std::uint64_t bid) const;
  const std::uint8_t* blockBytes(std::uint64_t bid, std::uint16_t* cb) const;
  // Block `bid` whose trailer and CRC are sound; empty when it is not.
  BlockRef readBlock(std::uint64_t bid) const;
  bool collectLeaves(std::uint64_t bid, int depth, std::vector<std::uint64_t>& leaves) const;
  bool collectSubnodes(std::uint64_t bid, int depth, Subnodes& out) const;

  const std::uint8_t* data_;  // null when the file is read as it is searched
  std::uint64_t size_;
  ReadAt readAt_;
  Findings& findings_;
  CrcFunction crc_;
  bool seeking_ = false;
  std::unique_ptr<std::atomic<std::uint64_t>[]> soundPages_;  // a bit per page, once checked
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
