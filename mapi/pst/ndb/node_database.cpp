#include "mapi/pst/ndb/node_database.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "mapi/pst/format.h"
#include "mapi/pst/ndb/block.h"
#include "mapi/pst/ndb/density_list.h"
#include "mapi/pst/ndb/header.h"
#include "mapi/pst/ndb/permute.h"

namespace qc::mapi::pst {

namespace {

// Where Outlook starts each node type's identifiers in a new store (rgnid): the indexes below
// are kept for the store's own special nodes.
std::array<std::uint32_t, 32> InitialNids() {
  std::array<std::uint32_t, 32> nids{};
  nids.fill(0x400);
  nids[nid_type::kSearchFolder] = 0x4000;
  nids[nid_type::kNormalMessage] = 0x10000;
  nids[nid_type::kAssocMessage] = 0x8000;
  return nids;
}

}  // namespace

NodeDatabase::NodeDatabase(PositionedSink& sink)
    : sink_(sink), space_(sink), nextNid_(InitialNids()) {
  scratch_.reserve(kMaxBlockSize);
}

std::uint64_t NodeDatabase::writeBlock(std::uint64_t bid, const std::uint8_t* data,
                                       std::size_t size, bool encode) {
  if (closed_) throw std::logic_error("write to a closed store");
  if (size > kMaxBlockData) throw std::logic_error("block larger than 8,176 bytes");
  scratch_.resize(size);
  if (encode) {
    PermuteEncode(data, scratch_.data(), size);
  } else if (size > 0) {
    std::memcpy(scratch_.data(), data, size);
  }
  const std::size_t fileSize = BlockFileSize(size);
  const std::uint64_t ib = space_.allocate(fileSize, kBlockAlign);
  SealBlock(scratch_, size, ib, bid);
  PutAt(sink_, ib, scratch_.data(), scratch_.size());
  // A block's count holds one reference for the block tree and one for whoever points to it.
  blocks_.push_back({bid, ib, static_cast<std::uint16_t>(size), 2});
  ++blockCount_;
  if (!holdBlocks_ && blocks_.size() >= kFlushEntries) flushBlockEntries(false);
  return bid;
}

// Leaf pages for the pending entries, written together so they share one alignment gap.
void NodeDatabase::flushBlockEntries(bool all) {
  const std::size_t perPage = kBTreeEntryArea / kBBTEntrySize;
  const std::size_t count = all ? blocks_.size() : blocks_.size() / perPage * perPage;
  const auto leaves = WriteBlockLeaves(blocks_.data(), count, {space_, sink_, nextPageBid_});
  blockLeaves_.insert(blockLeaves_.end(), leaves.begin(), leaves.end());
  blocks_.erase(blocks_.begin(), blocks_.begin() + static_cast<std::ptrdiff_t>(count));
}

std::uint64_t NodeDatabase::writeDataBlock(const std::uint8_t* data, std::size_t size) {
  const std::uint64_t bid = nextBlockBid_;
  nextBlockBid_ += kBidStep;
  return writeBlock(bid, data, size, true);
}

std::uint64_t NodeDatabase::writeInternalBlock(const Bytes& body) {
  const std::uint64_t bid = nextBlockBid_ | kBidInternal;
  nextBlockBid_ += kBidStep;
  return writeBlock(bid, body.data(), body.size(), false);
}

void NodeDatabase::addReference(std::uint64_t bid) {
  const auto it = std::lower_bound(blocks_.begin(), blocks_.end(), bid,
                                   [](const BlockEntry& e, std::uint64_t b) { return e.bid < b; });
  if (it == blocks_.end() || it->bid != bid) {
    throw std::logic_error("reference to a block not held");
  }
  ++it->refs;
}

std::uint32_t NodeDatabase::newNid(std::uint8_t type) {
  return MakeNid(type, ++nextNid_[type]);
}

void NodeDatabase::useNid(std::uint32_t nid) {
  std::uint32_t& next = nextNid_[NidType(nid)];
  next = std::max(next, NidIndex(nid));
}

void NodeDatabase::addNode(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub,
                           std::uint32_t nidParent) {
  nodes_.push_back({bidData, bidSub, nid, nidParent});
  // A folder's tables share its index under their own types; their counters follow.
  useNid(nid);
}

void NodeDatabase::close() {
  if (closed_) throw std::logic_error("store closed twice");
  // Messages come with rising identifiers; the folders and fixed nodes added last go into
  // place with a merge instead of a sort of them all.
  const auto byNid = [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; };
  const auto sorted = std::is_sorted_until(nodes_.begin(), nodes_.end(), byNid);
  std::sort(sorted, nodes_.end(), byNid);
  std::inplace_merge(nodes_.begin(), sorted, nodes_.end(), byNid);
  for (std::size_t i = 1; i < nodes_.size(); ++i) {
    if (nodes_[i].nid == nodes_[i - 1].nid) throw std::logic_error("two nodes with one NID");
  }
  Header header;
  const PageWriter pages{space_, sink_, nextPageBid_};
  header.root.nbt = WriteNodeBTree(nodes_, pages);
  flushBlockEntries(true);
  header.root.bbt = WriteBlockBTreeAbove(std::move(blockLeaves_), pages);
  // Outlook gives the density list the next page identifier without using it up.
  WriteDensityList(sink_, nextPageBid_);
  space_.finish();
  closed_ = true;
  header.nextPageBid = nextPageBid_;
  header.nextBlockBid = nextBlockBid_;
  header.unique = 1;
  header.nextNid = nextNid_;
  header.root.fileEof = space_.fileEof();
  header.root.lastAMap = space_.lastAMap();
  header.root.amapFree = space_.freeBytes();
  header.root.pmapFree = 0;
  header.root.amapValid = kAMapValid;
  header.cryptMethod = kCryptPermute;
  const Bytes bytes = SerializeHeader(header);
  PutAt(sink_, 0, bytes.data(), bytes.size());
}

}  // namespace qc::mapi::pst
