#include "mapi/pst/ndb/block.h"

#include "mapi/crc32.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ndb/page.h"

namespace qc::mapi::pst {

std::size_t BlockFileSize(std::size_t cb) {
  return (cb + kBlockTrailerSize + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
}

void SealBlock(Bytes& block, std::size_t cb, std::uint64_t ib, std::uint64_t bid) {
  const std::size_t total = BlockFileSize(cb);
  block.resize(total, 0);
  std::uint8_t* trailer = block.data() + total - kBlockTrailerSize;
  Put16(trailer, static_cast<std::uint16_t>(cb));
  Put16(trailer + 2, BlockSignature(ib, bid));
  Put32(trailer + 4, Crc32(block.data(), cb));
  Put64(trailer + 8, bid);
}

Bytes DataTreeBlock(std::uint8_t level, const std::vector<std::uint64_t>& bids,
                    std::uint64_t totalSize) {
  Bytes out;
  out.reserve(8 + 8 * bids.size());
  out.push_back(kBlockTypeXBlock);
  out.push_back(level);
  Append16(out, static_cast<std::uint16_t>(bids.size()));
  Append32(out, static_cast<std::uint32_t>(totalSize));
  for (const std::uint64_t bid : bids) Append64(out, bid);
  return out;
}

Bytes SubnodeLeafBlock(const SubnodeLeaf* entries, std::size_t count) {
  Bytes out;
  out.reserve(8 + 24 * count);
  out.push_back(kBlockTypeSubnode);
  out.push_back(0);
  Append16(out, static_cast<std::uint16_t>(count));
  Append32(out, 0);
  for (std::size_t i = 0; i < count; ++i) {
    Append64(out, entries[i].nid);
    Append64(out, entries[i].bidData);
    Append64(out, entries[i].bidSub);
  }
  return out;
}

Bytes SubnodeBranchBlock(const SubnodeBranch* entries, std::size_t count) {
  Bytes out;
  out.reserve(8 + 16 * count);
  out.push_back(kBlockTypeSubnode);
  out.push_back(1);
  Append16(out, static_cast<std::uint16_t>(count));
  Append32(out, 0);
  for (std::size_t i = 0; i < count; ++i) {
    Append64(out, entries[i].nid);
    Append64(out, entries[i].bid);
  }
  return out;
}

}  // namespace qc::mapi::pst
