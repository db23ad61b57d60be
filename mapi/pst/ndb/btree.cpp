#include "mapi/pst/ndb/btree.h"

#include <functional>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ndb/page.h"

namespace qc::mapi::pst {

namespace {

using PutEntry = std::function<std::uint64_t(std::size_t index, std::uint8_t* out)>;

// BTPAGE: `count` records of `entrySize` bytes, then cEnt, cEntMax, cbEnt, cLevel.
PageRef WritePage(std::uint8_t type, std::uint8_t level, std::size_t entrySize, std::size_t first,
                  std::size_t count, const PutEntry& put, const PageWriter& out) {
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
  const std::uint64_t ib = out.space.allocate(kPageSize, kPageSize);
  const std::uint64_t bid = out.nextPageBid++;
  SealPage(page, type, BlockSignature(ib, bid), bid);
  PutAt(out.sink, ib, page.data(), page.size());
  return {firstKey, {bid, ib}};
}

std::vector<PageRef> WriteLeaves(std::uint8_t type, std::size_t entrySize, std::size_t count,
                                 const PutEntry& put, const PageWriter& out) {
  const std::size_t perPage = kBTreeEntryArea / entrySize;
  std::vector<PageRef> leaves;
  for (std::size_t first = 0; first < count; first += perPage) {
    leaves.push_back(
        WritePage(type, 0, entrySize, first, std::min(perPage, count - first), put, out));
  }
  return leaves;
}

BlockRef WriteAbove(std::uint8_t type, std::size_t leafEntrySize, std::vector<PageRef> level,
                    const PageWriter& out) {
  if (level.empty()) {
    const PutEntry none = [](std::size_t, std::uint8_t*) { return std::uint64_t{0}; };
    return WritePage(type, 0, leafEntrySize, 0, 0, none, out).ref;
  }
  const std::size_t perPage = kBTreeEntryArea / kBTEntrySize;
  for (std::uint8_t depth = 1; level.size() > 1; ++depth) {
    std::vector<PageRef> upper;
    const PutEntry put = [&level](std::size_t i, std::uint8_t* entry) {
      Put64(entry, level[i].firstKey);
      Put64(entry + 8, level[i].ref.bid);
      Put64(entry + 16, level[i].ref.ib);
      return level[i].firstKey;
    };
    for (std::size_t first = 0; first < level.size(); first += perPage) {
      const std::size_t n = std::min(perPage, level.size() - first);
      upper.push_back(WritePage(type, depth, kBTEntrySize, first, n, put, out));
    }
    level = std::move(upper);
  }
  return level.front().ref;
}

}  // namespace

std::vector<PageRef> WriteBlockLeaves(const BlockEntry* entries, std::size_t count,
                                      const PageWriter& out) {
  const PutEntry put = [entries](std::size_t i, std::uint8_t* entry) {
    const BlockEntry& e = entries[i];
    Put64(entry, e.bid);
    Put64(entry + 8, e.ib);
    Put16(entry + 16, e.cb);
    Put16(entry + 18, e.refs);
    Put32(entry + 20, 0);
    return e.bid;
  };
  return WriteLeaves(kPageTypeBBT, kBBTEntrySize, count, put, out);
}

BlockRef WriteBlockBTreeAbove(std::vector<PageRef> leaves, const PageWriter& out) {
  return WriteAbove(kPageTypeBBT, kBBTEntrySize, std::move(leaves), out);
}

BlockRef WriteNodeBTree(const std::deque<NodeEntry>& entries, const PageWriter& out) {
  const PutEntry put = [&entries](std::size_t i, std::uint8_t* entry) {
    const NodeEntry& e = entries[i];
    Put64(entry, e.nid);
    Put64(entry + 8, e.bidData);
    Put64(entry + 16, e.bidSub);
    Put32(entry + 24, e.nidParent);
    Put32(entry + 28, 0);
    return std::uint64_t{e.nid};
  };
  return WriteAbove(kPageTypeNBT, kNBTEntrySize,
                    WriteLeaves(kPageTypeNBT, kNBTEntrySize, entries.size(), put, out), out);
}

}  // namespace qc::mapi::pst
