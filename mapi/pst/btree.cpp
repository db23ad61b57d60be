#include "mapi/pst/btree.h"

#include <functional>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/page.h"

namespace qc::mapi::pst {

namespace {

struct Child {
  std::uint64_t key = 0;
  BlockRef ref;
};

using PutEntry = std::function<std::uint64_t(std::size_t index, std::uint8_t* out)>;

// BTPAGE: `count` records of `entrySize` bytes, then cEnt, cEntMax, cbEnt, cLevel.
Child WritePage(std::uint8_t type, std::uint8_t level, std::size_t entrySize, std::size_t first,
                std::size_t count, const PutEntry& put, SpaceAllocator& space, PositionedSink& sink,
                std::uint64_t& nextPageBid) {
  Page page{};
  std::uint64_t firstKey = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t key = put(first + i, page.data() + i * entrySize);
    if (i == 0) firstKey = key;
  }
  page[488] = static_cast<std::uint8_t>(count);
  page[489] = static_cast<std::uint8_t>(kBTreeEntryArea / entrySize);
  page[490] = static_cast<std::uint8_t>(entrySize);
  page[491] = level;
  const std::uint64_t ib = space.allocate(kPageSize, kPageSize);
  const std::uint64_t bid = nextPageBid++;
  SealPage(page, type, BlockSignature(ib, bid), bid);
  PutAt(sink, ib, page.data(), page.size());
  return {firstKey, {bid, ib}};
}

BlockRef WriteTree(std::uint8_t type, std::size_t leafEntrySize, std::size_t count,
                   const PutEntry& putLeaf, SpaceAllocator& space, PositionedSink& sink,
                   std::uint64_t& nextPageBid) {
  const std::size_t leafMax = kBTreeEntryArea / leafEntrySize;
  std::vector<Child> level;
  for (std::size_t first = 0; first < count || level.empty(); first += leafMax) {
    const std::size_t n = std::min(leafMax, count - first);
    level.push_back(WritePage(type, 0, leafEntrySize, first, n, putLeaf, space, sink, nextPageBid));
    if (count == 0) break;
  }
  const std::size_t branchMax = kBTreeEntryArea / kBTEntrySize;
  for (std::uint8_t depth = 1; level.size() > 1; ++depth) {
    std::vector<Child> upper;
    const PutEntry putBranch = [&level](std::size_t i, std::uint8_t* out) {
      Put64(out, level[i].key);
      Put64(out + 8, level[i].ref.bid);
      Put64(out + 16, level[i].ref.ib);
      return level[i].key;
    };
    for (std::size_t first = 0; first < level.size(); first += branchMax) {
      const std::size_t n = std::min(branchMax, level.size() - first);
      upper.push_back(
          WritePage(type, depth, kBTEntrySize, first, n, putBranch, space, sink, nextPageBid));
    }
    level = std::move(upper);
  }
  return level.front().ref;
}

}  // namespace

BlockRef WriteNodeBTree(const std::vector<NodeEntry>& entries, SpaceAllocator& space,
                        PositionedSink& sink, std::uint64_t& nextPageBid) {
  const PutEntry put = [&entries](std::size_t i, std::uint8_t* out) {
    const NodeEntry& e = entries[i];
    Put64(out, e.nid);
    Put64(out + 8, e.bidData);
    Put64(out + 16, e.bidSub);
    Put32(out + 24, e.nidParent);
    Put32(out + 28, 0);
    return std::uint64_t{e.nid};
  };
  return WriteTree(kPageTypeNBT, kNBTEntrySize, entries.size(), put, space, sink, nextPageBid);
}

BlockRef WriteBlockBTree(const std::vector<BlockEntry>& entries, SpaceAllocator& space,
                         PositionedSink& sink, std::uint64_t& nextPageBid) {
  const PutEntry put = [&entries](std::size_t i, std::uint8_t* out) {
    const BlockEntry& e = entries[i];
    Put64(out, e.bid);
    Put64(out + 8, e.ib);
    Put16(out + 16, e.cb);
    Put16(out + 18, e.refs);
    Put32(out + 20, 0);
    return e.bid;
  };
  return WriteTree(kPageTypeBBT, kBBTEntrySize, entries.size(), put, space, sink, nextPageBid);
}

}  // namespace qc::mapi::pst
