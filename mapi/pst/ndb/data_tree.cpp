#include "mapi/pst/ndb/data_tree.h"

#include <algorithm>

#include "mapi/pst/format.h"
#include "mapi/pst/ndb/block.h"
#include "util/error.h"

namespace qc::mapi::pst {

namespace {
constexpr std::uint64_t kMaxTreeSize = 0xFFFFFFFFu;
}

void DataTreeWriter::append(const std::uint8_t* data, std::size_t size) {
  total_ += size;
  if (total_ > kMaxTreeSize) {
    throw Error("a value of more than 4 GiB does not fit in an Outlook data file");
  }
  while (size > 0) {
    const std::size_t n = std::min(size, kMaxBlockData - current_.size());
    current_.insert(current_.end(), data, data + n);
    data += n;
    size -= n;
    if (current_.size() == kMaxBlockData) endBlock();
  }
}

void DataTreeWriter::endBlock() {
  if (current_.empty()) return;
  addLeaf(db_.writeDataBlock(current_.data(), current_.size()), current_.size());
  current_.clear();
}

void DataTreeWriter::addBlock(std::uint64_t bid, std::size_t size) {
  endBlock();
  total_ += size;
  addLeaf(bid, size);
}

void DataTreeWriter::addLeaf(std::uint64_t bid, std::size_t size) {
  if (leaves_.size() == kXBlockMaxEntries) closeXBlock();
  leaves_.push_back(bid);
  leavesSize_ += size;
}

void DataTreeWriter::closeXBlock() {
  xblocks_.push_back(db_.writeInternalBlock(DataTreeBlock(1, leaves_, leavesSize_)));
  leaves_.clear();
  leavesSize_ = 0;
}

std::uint64_t DataTreeWriter::finish() {
  endBlock();
  if (xblocks_.empty()) {
    if (leaves_.empty()) return 0;
    if (leaves_.size() == 1) return leaves_.front();
    return db_.writeInternalBlock(DataTreeBlock(1, leaves_, leavesSize_));
  }
  if (!leaves_.empty()) closeXBlock();
  if (xblocks_.size() > kXBlockMaxEntries) {
    throw Error("a value too large for an Outlook data file");
  }
  return db_.writeInternalBlock(DataTreeBlock(2, xblocks_, total_));
}

std::uint64_t WriteData(NodeDatabase& db, const std::uint8_t* data, std::size_t size) {
  DataTreeWriter tree(db);
  tree.append(data, size);
  return tree.finish();
}

}  // namespace qc::mapi::pst
