// A node's data written as it comes: 8,176-byte data blocks, gathered under XBLOCKs of up to
// 1,021 blocks and, past that, one XXBLOCK. Only the current block and the identifiers of the
// open XBLOCK are held.
#pragma once

#include <cstdint>
#include <vector>

#include "mapi/pst/ndb/node_database.h"

namespace qc::mapi::pst {

class DataTreeWriter {
 public:
  explicit DataTreeWriter(NodeDatabase& db) : db_(db) {}

  void append(const std::uint8_t* data, std::size_t size);
  // Ends a block here even when it is not full (the rows of a table never span two blocks).
  void endBlock();
  // A data block written elsewhere joins the tree next (nothing may be pending).
  void addBlock(std::uint64_t bid, std::size_t size);
  std::uint64_t size() const { return total_; }
  // The identifier of the tree's root (0 for no data at all). Throws qc::Error past 4 GiB,
  // which the XBLOCK's byte count cannot hold.
  std::uint64_t finish();

 private:
  void addLeaf(std::uint64_t bid, std::size_t size);
  void closeXBlock();

  NodeDatabase& db_;
  Bytes current_;
  std::vector<std::uint64_t> leaves_;  // of the open XBLOCK
  std::uint64_t leavesSize_ = 0;
  std::vector<std::uint64_t> xblocks_;
  std::uint64_t total_ = 0;
};

// A whole value at once.
std::uint64_t WriteData(NodeDatabase& db, const std::uint8_t* data, std::size_t size);

}  // namespace qc::mapi::pst
