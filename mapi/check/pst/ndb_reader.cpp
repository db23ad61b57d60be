#include "mapi/check/pst/ndb_reader.h"

#include <algorithm>
#include <cstring>

#include "mapi/check/pst/format_rules.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"

namespace qc::mapi::pst::check {

namespace {

constexpr int kMaxDepth = 8;      // of a B-tree or data tree
constexpr int kMaxNesting = 256;  // of subnode trees inside subnodes
constexpr std::uint32_t kMagic = 0x4E444221;

std::string PageAt(std::uint64_t ib) {
  return "page at " + Hex(ib);
}
std::string BlockName(std::uint64_t bid) {
  return "block " + Hex(bid);
}

}  // namespace

NodeDatabaseReader::NodeDatabaseReader(const std::uint8_t* data, std::uint64_t size,
                                       Findings& findings, CrcFunction crc)
    : data_(data), size_(size), findings_(findings), crc_(crc ? crc : mapi::check::Crc32) {}

NodeDatabaseReader::NodeDatabaseReader(std::uint64_t size, ReadAt readAt, Findings& findings,
                                       CrcFunction crc)
    : data_(nullptr),
      size_(size),
      readAt_(std::move(readAt)),
      findings_(findings),
      crc_(crc ? crc : mapi::check::Crc32) {}

bool NodeDatabaseReader::fetch(std::uint64_t offset, std::uint8_t* out, std::size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  if (data_) {
    std::memcpy(out, data_ + offset, n);
    return true;
  }
  return readAt_(offset, out, n);
}

bool NodeDatabaseReader::check() {
  if (!read()) return false;
  checkNodeTrees();
  checkAllocationMaps();
  checkIdentifiers();
  return true;
}

bool NodeDatabaseReader::read() {
  if (!data_) {
    findings_.add(Fault::kHeader, "the file is not held in memory: it can only be searched");
    return false;
  }
  if (!checkHeader()) return false;
  std::uint64_t lastKey = 0;
  bool first = true;
  walkBTree(nbtBid_, nbtIb_, kPageTypeNBT, -1, std::nullopt, lastKey, first, 0);
  lastKey = 0;
  first = true;
  walkBTree(bbtBid_, bbtIb_, kPageTypeBBT, -1, std::nullopt, lastKey, first, 0);
  checkBlocks();
  return true;
}

bool NodeDatabaseReader::open() {
  seeking_ = true;
  if (!checkHeader()) return false;
  soundPages_ = std::make_unique<std::atomic<std::uint64_t>[]>(size_ / kPageSize / 64 + 1);
  return true;
}

// HEADER and ROOT
bool NodeDatabaseReader::checkHeader() {
  namespace at = header_at;
  if (size_ < kHeaderSize) {
    findings_.add(Fault::kHeader, "the file is shorter than a header");
    return false;
  }
  std::array<std::uint8_t, kHeaderSize> copy;
  const std::uint8_t* h = data_;
  if (!h) {
    if (!fetch(0, copy.data(), copy.size())) {
      findings_.add(Fault::kHeader, "the header cannot be read");
      return false;
    }
    h = copy.data();
  }
  if (Get32(h) != kMagic) {
    findings_.add(Fault::kHeader, "dwMagic is not !BDN");
    return false;
  }
  if (Get32(h + at::kCrcPartial) != crc_(h + at::kCrcStart, at::kCrcPartialLength, 0)) {
    findings_.add(Fault::kHeaderCrc, "dwCRCPartial does not match");
  }
  if (Get32(h + at::kCrcFull) != crc_(h + at::kCrcStart, at::kCrcFullLength, 0)) {
    findings_.add(Fault::kHeaderCrc, "dwCRCFull does not match");
  }
  if (Get16(h + 8) != 0x4D53) findings_.add(Fault::kHeader, "wMagicClient is not SM");
  if (Get16(h + at::kVersion) != kFileVersionUnicode) {
    findings_.add(Fault::kHeader, "wVer " + std::to_string(Get16(h + at::kVersion)) +
                                      " is not a Unicode store (23)");
    return false;
  }
  if (Get16(h + 12) != kClientVersion) findings_.add(Fault::kHeader, "wVerClient is not 19");
  if (h[at::kSentinel] != 0x80) findings_.add(Fault::kHeader, "bSentinel is not 0x80");
  crypt_ = h[at::kCryptMethod];
  if (crypt_ != 0 && crypt_ != kCryptPermute) {
    findings_.add(Fault::kHeader, "bCryptMethod " + Hex(crypt_) + " is not handled");
    return false;
  }
  nextPageBid_ = Get64(h + at::kNextPageBid);
  nextBlockBid_ = Get64(h + at::kNextBlockBid);
  for (std::size_t i = 0; i < 32; ++i) nextNid_[i] = Get32(h + at::kNids + 4 * i);
  fileEof_ = Get64(h + at::kFileEof);
  lastAMap_ = Get64(h + at::kLastAMap);
  amapFree_ = Get64(h + at::kAMapFree);
  nbtBid_ = Get64(h + at::kNbt);
  nbtIb_ = Get64(h + at::kNbt + 8);
  bbtBid_ = Get64(h + at::kBbt);
  bbtIb_ = Get64(h + at::kBbt + 8);
  if (fileEof_ != size_) {
    findings_.add(Fault::kHeader,
                  "ibFileEof " + Hex(fileEof_) + " is not the file size " + Hex(size_));
  }
  if (size_ < kFirstAMapOffset + kAMapCoverage || (size_ - kFirstAMapOffset) % kAMapCoverage) {
    findings_.add(Fault::kHeader, "the file does not end at the end of an AMap's range");
  } else if (lastAMap_ != size_ - kAMapCoverage) {
    findings_.add(Fault::kHeader, "ibAMapLast " + Hex(lastAMap_) + " is not the last AMap");
  }
  if (h[at::kAMapValid] != kAMapValid) findings_.add(Fault::kHeader, "fAMapValid is not 2");
  if (Get64(h + at::kPMapFree) != 0) findings_.add(Fault::kHeader, "cbPMapFree is not 0");
  return true;
}

// BTPAGE, recursively; keys must rise across the whole tree.
void NodeDatabaseReader::walkBTree(std::uint64_t bid, std::uint64_t ib, std::uint8_t type,
                                   int expectedLevel, std::optional<std::uint64_t> parentKey,
                                   std::uint64_t& lastKey, bool& first, int depth) {
  const std::string where = PageAt(ib);
  if (depth > kMaxDepth) {
    findings_.add(Fault::kBTree, where + ": the tree is deeper than any real store's");
    return;
  }
  if (ib % kPageSize != 0 || ib < kFirstAMapOffset || ib + kPageSize > size_) {
    findings_.add(Fault::kPage, where + ": not a page of the file");
    return;
  }
  if (!visitedPages_.insert(ib).second) {
    findings_.add(Fault::kBTree, where + ": reached twice");
    return;
  }
  pages_.push_back(ib);
  const std::uint8_t* p = data_ + ib;
  const std::uint8_t* t = p + 496;
  if (t[0] != type || t[1] != type) {
    findings_.add(Fault::kPage, where + ": type " + Hex(t[0]) + " where " + Hex(type) + " belongs");
    return;
  }
  if (Get16(t + 2) != Signature(ib, bid)) findings_.add(Fault::kPage, where + ": wSig");
  if (Get32(t + 4) != crc_(p, 496, 0)) findings_.add(Fault::kPageCrc, where);
  if (Get64(t + 8) != bid) {
    findings_.add(Fault::kPage, where + ": bid " + Hex(Get64(t + 8)) + ", named " + Hex(bid));
  }
  if (bid >= nextPageBid_) findings_.add(Fault::kIdentifiers, where + ": bid not below bidNextP");
  const std::uint8_t count = p[488], max = p[489], entrySize = p[490], level = p[491];
  if (expectedLevel >= 0 && level != expectedLevel) {
    findings_.add(Fault::kBTree, where + ": level " + std::to_string(level) + ", expected " +
                                     std::to_string(expectedLevel));
    return;
  }
  const std::size_t wantSize =
      level > 0 ? kBTEntrySize : (type == kPageTypeNBT ? kNBTEntrySize : kBBTEntrySize);
  if (entrySize != wantSize || max != kBTreeEntryArea / wantSize || count > max) {
    findings_.add(Fault::kBTree, where + ": cEnt/cEntMax/cbEnt " + std::to_string(count) + "/" +
                                     std::to_string(max) + "/" + std::to_string(entrySize));
    return;
  }
  if (count == 0 && (level > 0 || depth > 0)) findings_.add(Fault::kBTree, where + ": empty");
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = p + i * wantSize;
    const std::uint64_t key = Get64(e);
    if (i == 0 && parentKey && key != *parentKey) {
      findings_.add(Fault::kBTree,
                    where + ": first key " + Hex(key) + " is not the parent's " + Hex(*parentKey));
    }
    if (level > 0) {
      walkBTree(Get64(e + 8), Get64(e + 16), type, level - 1, key, lastKey, first, depth + 1);
      continue;
    }
    if (!first && key <= lastKey) {
      findings_.add(Fault::kBTree, where + ": key " + Hex(key) + " out of order");
    }
    first = false;
    lastKey = key;
    if (type == kPageTypeNBT) {
      if (Get32(e + 4) != 0) findings_.add(Fault::kBTree, where + ": NID wider than 32 bits");
      const auto nid = static_cast<std::uint32_t>(key);
      nodes_[nid] = {nid, Get64(e + 8), Get64(e + 16), Get32(e + 24)};
    } else {
      blocks_[key] = {Get64(e + 8), Get16(e + 16), Get16(e + 18), 0, false};
    }
  }
}

// BBTENTRY against the block it names, and its BLOCKTRAILER.
void NodeDatabaseReader::checkBlocks() {
  for (auto& [bid, block] : blocks_) {
    const std::string where = BlockName(bid);
    if (bid & 1) findings_.add(Fault::kBlock, where + ": reserved bit set");
    if (bid >= nextBlockBid_) findings_.add(Fault::kIdentifiers, where + ": not below bidNextB");
    const std::uint64_t fileSize = BlockBytesInFile(block.cb);
    if (block.cb > kMaxBlockData || block.ib % kBlockAlign != 0 || block.ib < kFirstAMapOffset ||
        block.ib + fileSize > size_ || block.ib + fileSize < block.ib) {
      findings_.add(Fault::kBlock, where + ": place " + Hex(block.ib) + " size " +
                                       std::to_string(block.cb) + " not in the file");
      continue;
    }
    const std::uint64_t region = (block.ib - kFirstAMapOffset) / kAMapCoverage;
    if ((block.ib + fileSize - 1 - kFirstAMapOffset) / kAMapCoverage != region) {
      findings_.add(Fault::kBlock, where + ": spans two AMap ranges");
    }
    const std::uint8_t* t = data_ + block.ib + fileSize - kBlockTrailerSize;
    if (Get16(t) != block.cb) {
      findings_.add(Fault::kBlock, where + ": trailer cb " + std::to_string(Get16(t)) +
                                       ", BBT says " + std::to_string(block.cb));
      continue;
    }
    if (Get16(t + 2) != Signature(block.ib, bid)) findings_.add(Fault::kBlock, where + ": wSig");
    if (Get64(t + 8) != bid)
      findings_.add(Fault::kBlock, where + ": trailer bid " + Hex(Get64(t + 8)));
    if (Get32(t + 4) != crc_(data_ + block.ib, block.cb, 0)) {
      findings_.add(Fault::kBlockCrc, where);
      continue;
    }
    block.sound = Get64(t + 8) == bid;
  }
}

// SEARCHING the B-trees in the file.

std::string NodeDatabaseReader::pageFault(const std::uint8_t* p, std::uint64_t ib,
                                          std::uint64_t bid, std::uint8_t type) const {
  const std::uint8_t* t = p + 496;
  if (t[0] != type || t[1] != type) return "type " + Hex(t[0]) + " where " + Hex(type) + " belongs";
  if (Get64(t + 8) != bid) return "bid " + Hex(Get64(t + 8)) + ", named " + Hex(bid);
  // Where the entries lie is checked every time: the search reads the page by them.
  const std::uint8_t count = p[488], max = p[489], entrySize = p[490], level = p[491];
  const std::size_t wantSize =
      level > 0 ? kBTEntrySize : (type == kPageTypeNBT ? kNBTEntrySize : kBBTEntrySize);
  if (entrySize != wantSize || max != kBTreeEntryArea / wantSize || count > max ||
      (count == 0 && level > 0)) {
    return "cEnt/cEntMax/cbEnt " + std::to_string(count) + "/" + std::to_string(max) + "/" +
           std::to_string(entrySize);
  }
  // The rest once: a page found sound stays sound, unless the file is changed meanwhile, and
  // then what it leads to fails its own checks.
  std::atomic<std::uint64_t>& checked = soundPages_[ib / kPageSize / 64];
  const std::uint64_t bit = std::uint64_t{1} << (ib / kPageSize % 64);
  if (checked.load(std::memory_order_relaxed) & bit) return {};
  if (Get16(t + 2) != Signature(ib, bid)) return "wSig";
  if (Get32(t + 4) != crc_(p, 496, 0)) return "its CRC does not match";
  if (bid >= nextPageBid_) return "bid not below bidNextP";
  for (std::size_t i = 1; i < count; ++i) {
    if (Get64(p + i * wantSize) <= Get64(p + (i - 1) * wantSize)) return "keys out of order";
  }
  checked.fetch_or(bit, std::memory_order_relaxed);
  return {};
}

bool NodeDatabaseReader::seek(std::uint8_t type, std::uint64_t key, std::uint8_t* entry,
                              std::string& fault) const {
  std::uint64_t bid = type == kPageTypeNBT ? nbtBid_ : bbtBid_;
  std::uint64_t ib = type == kPageTypeNBT ? nbtIb_ : bbtIb_;
  int expectedLevel = -1;
  std::optional<std::uint64_t> parentKey;
  for (int depth = 0; depth <= kMaxDepth; ++depth) {
    if (ib % kPageSize != 0 || ib < kFirstAMapOffset || ib + kPageSize > size_) {
      fault = PageAt(ib) + ": not a page of the file";
      return false;
    }
    std::uint8_t p[kPageSize];
    if (!fetch(ib, p, kPageSize)) {
      fault = PageAt(ib) + ": it cannot be read";
      return false;
    }
    if (std::string why = pageFault(p, ib, bid, type); !why.empty()) {
      fault = PageAt(ib) + ": " + why;
      return false;
    }
    const std::uint8_t count = p[488], entrySize = p[490], level = p[491];
    if (expectedLevel >= 0 && level != expectedLevel) {
      fault = PageAt(ib) + ": level " + std::to_string(level) + ", expected " +
              std::to_string(expectedLevel);
      return false;
    }
    if (parentKey && (count == 0 || Get64(p) != *parentKey)) {
      fault = PageAt(ib) + ": its first key is not its parent's " + Hex(*parentKey);
      return false;
    }
    // The last entry whose key is at most `key` (keys rise through the page).
    std::size_t at = count;
    for (std::size_t i = 0; i < count && Get64(p + i * entrySize) <= key; ++i) at = i;
    if (at == count) return false;
    const std::uint8_t* e = p + at * entrySize;
    if (level == 0) {
      if (Get64(e) != key) return false;
      std::memcpy(entry, e, entrySize);
      return true;
    }
    parentKey = Get64(e);
    bid = Get64(e + 8);
    ib = Get64(e + 16);
    expectedLevel = level - 1;
  }
  fault = PageAt(ib) + ": the tree is deeper than any real store's";
  return false;
}

std::optional<NodeInfo> NodeDatabaseReader::node(std::uint32_t nid, std::string* fault) const {
  if (!seeking_) {
    const auto it = nodes_.find(nid);
    if (it == nodes_.end()) return std::nullopt;
    return it->second;
  }
  std::string why;
  std::uint8_t e[kNBTEntrySize];
  const bool found = seek(kPageTypeNBT, nid, e, why);
  if (fault) *fault = why;
  if (!found) return std::nullopt;
  return NodeInfo{nid, Get64(e + 8), Get64(e + 16), Get32(e + 24)};
}

std::optional<NodeDatabaseReader::Block> NodeDatabaseReader::soughtBlock(std::uint64_t bid) const {
  std::string fault;
  std::uint8_t e[kBBTEntrySize];
  if (!seek(kPageTypeBBT, bid, e, fault)) return std::nullopt;
  // Where checkBlocks() would find it misplaced, it reads as missing; its trailer and CRC are
  // checked when it is read.
  Block found{Get64(e + 8), Get16(e + 16), Get16(e + 18), 0, true};
  const std::uint64_t fileSize = BlockBytesInFile(found.cb);
  if ((bid & 1) || found.cb > kMaxBlockData || found.ib % kBlockAlign != 0 ||
      found.ib < kFirstAMapOffset || found.ib + fileSize > size_ ||
      (found.ib - kFirstAMapOffset) / kAMapCoverage !=
          (found.ib + fileSize - 1 - kFirstAMapOffset) / kAMapCoverage) {
    return std::nullopt;
  }
  return found;
}

const std::uint8_t* NodeDatabaseReader::blockBytes(std::uint64_t bid, std::uint16_t* cb) const {
  const auto it = blocks_.find(bid);
  if (it == blocks_.end() || !it->second.sound) return nullptr;
  *cb = it->second.cb;
  return data_ + it->second.ib;
}

NodeDatabaseReader::BlockRef NodeDatabaseReader::readBlock(std::uint64_t bid) const {
  BlockRef ref;
  if (!seeking_) {
    ref.data = blockBytes(bid, &ref.cb);
    return ref;
  }
  const std::optional<Block> block = soughtBlock(bid);
  if (!block) return ref;
  const std::uint64_t fileSize = BlockBytesInFile(block->cb);
  ref.owned.resize(fileSize);
  if (!fetch(block->ib, ref.owned.data(), ref.owned.size())) return ref;
  const std::uint8_t* t = ref.owned.data() + fileSize - kBlockTrailerSize;
  if (Get16(t) != block->cb || Get16(t + 2) != Signature(block->ib, bid) || Get64(t + 8) != bid ||
      Get32(t + 4) != crc_(ref.owned.data(), block->cb, 0)) {
    return ref;
  }
  ref.data = ref.owned.data();
  ref.cb = block->cb;
  return ref;
}

void NodeDatabaseReader::reference(std::uint64_t bid, const std::string& owner) {
  const auto it = blocks_.find(bid);
  if (it == blocks_.end()) {
    findings_.add(Fault::kMissingBlock, owner + " names " + BlockName(bid) + ", not in the BBT");
    return;
  }
  ++it->second.found;
}

// XBLOCK / XXBLOCK, counting the references they make.
void NodeDatabaseReader::countDataTree(std::uint64_t bid, int depth, const std::string& owner) {
  if (bid == 0) return;
  reference(bid, owner);
  if (!(bid & kBidInternal) || !walked_.insert(bid).second) return;
  std::uint16_t cb = 0;
  const std::uint8_t* b = blockBytes(bid, &cb);
  if (!b) return;
  const std::string where = owner + ", " + BlockName(bid);
  if (cb < 8 || b[0] != kBlockTypeXBlock || (b[1] != 1 && b[1] != 2) || depth > 1) {
    findings_.add(Fault::kDataTree, where + ": not an XBLOCK or XXBLOCK where one belongs");
    return;
  }
  const std::uint16_t count = Get16(b + 2);
  if (count == 0 || cb != 8 + 8u * count) {
    findings_.add(Fault::kDataTree, where + ": cEnt " + std::to_string(count) + " in " +
                                        std::to_string(cb) + " bytes");
    return;
  }
  std::uint64_t total = 0;
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint64_t child = Get64(b + 8 + 8 * i);
    const bool childInternal = (child & kBidInternal) != 0;
    if (childInternal != (b[1] == 2)) {
      findings_.add(Fault::kDataTree, where + ": entry " + Hex(child) + " of the wrong kind");
    }
    countDataTree(child, depth + 1, owner);
    const auto it = blocks_.find(child);
    if (it == blocks_.end()) continue;
    if (b[1] == 1) {
      total += it->second.cb;
    } else if (std::uint16_t ccb = 0; const std::uint8_t* cbytes = blockBytes(child, &ccb)) {
      if (ccb >= 8) total += Get32(cbytes + 4);
    }
  }
  if (total != Get32(b + 4)) {
    findings_.add(Fault::kDataTree, where + ": lcbTotal " + std::to_string(Get32(b + 4)) +
                                        ", blocks hold " + std::to_string(total));
  }
}

// SLBLOCK / SIBLOCK, counting the references they make.
// `nesting` counts the subnode trees of subnodes (embedded messages nest them deeply);
// `underBranch` says an SIBLOCK points here, so an SLBLOCK belongs.
void NodeDatabaseReader::countSubnodeTree(std::uint64_t bid, int nesting, bool underBranch,
                                          const std::string& owner) {
  if (bid == 0) return;
  reference(bid, owner);
  if (!walked_.insert(bid).second) return;
  const std::string where = owner + ", subnode " + BlockName(bid);
  std::uint16_t cb = 0;
  const std::uint8_t* b = blockBytes(bid, &cb);
  if (!b) return;
  if (!(bid & kBidInternal) || cb < 8 || b[0] != kBlockTypeSubnode || b[1] > 1 ||
      (underBranch && b[1] != 0) || nesting > kMaxNesting) {
    findings_.add(Fault::kSubnodeTree, where + ": not an SLBLOCK or SIBLOCK where one belongs");
    return;
  }
  const std::uint16_t count = Get16(b + 2);
  const std::size_t entrySize = b[1] == 0 ? 24 : 16;
  if (count == 0 || cb != 8 + entrySize * count) {
    findings_.add(Fault::kSubnodeTree, where + ": cEnt " + std::to_string(count) + " in " +
                                           std::to_string(cb) + " bytes");
    return;
  }
  std::uint32_t last = 0;
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint8_t* e = b + 8 + entrySize * i;
    const std::uint32_t nid = Get32(e);
    if (i > 0 && nid <= last) findings_.add(Fault::kSubnodeTree, where + ": NIDs out of order");
    last = nid;
    if (b[1] == 0) {
      const std::string sub = owner + " subnode " + Hex(nid);
      countDataTree(Get64(e + 8), 0, sub);
      countSubnodeTree(Get64(e + 16), nesting + 1, false, sub);
    } else {
      const std::uint64_t child = Get64(e + 8);
      countSubnodeTree(child, nesting, true, owner);
      std::uint16_t ccb = 0;
      const std::uint8_t* c = blockBytes(child, &ccb);
      if (c && ccb >= 16 && Get32(c + 8) != nid) {
        findings_.add(Fault::kSubnodeTree, where + ": SIENTRY key is not its SLBLOCK's first NID");
      }
    }
  }
}

void NodeDatabaseReader::checkNodeTrees() {
  for (const auto& [nid, node] : nodes_) {
    const std::string owner = "node " + Hex(nid);
    countDataTree(node.bidData, 0, owner);
    if (node.bidData != 0 && (node.bidData & kBidInternal) == 0) {
      // A leaf data block: nothing more to walk.
    }
    countSubnodeTree(node.bidSub, 0, false, owner);
  }
  for (const auto& [bid, block] : blocks_) {
    if (block.found == 0) {
      findings_.add(Fault::kReferenceCount, BlockName(bid) + ": nothing refers to it");
    } else if (block.refs != block.found + 1) {
      findings_.add(Fault::kReferenceCount, BlockName(bid) + ": cRef " +
                                                std::to_string(block.refs) + ", references " +
                                                std::to_string(block.found) + " + 1");
    }
  }
}

// AMap pages against exactly the pages and blocks in use; PMap, FMap, FPMap, DList pages.
void NodeDatabaseReader::checkAllocationMaps() {
  if (size_ < kFirstAMapOffset + kAMapCoverage) return;
  const std::uint64_t regions = (size_ - kFirstAMapOffset) / kAMapCoverage;
  std::vector<bool> used((size_ - kFirstAMapOffset) / kBlockAlign, false);
  const auto mark = [&](std::uint64_t ib, std::uint64_t bytes, const std::string& what) {
    if (ib < kFirstAMapOffset || ib + bytes > size_) return;
    for (std::uint64_t u = (ib - kFirstAMapOffset) / kBlockAlign,
                       end = u + (bytes + kBlockAlign - 1) / kBlockAlign;
         u < end; ++u) {
      if (used[u]) {
        findings_.add(Fault::kAllocationMap, what + " overlaps something else at " +
                                                 Hex(kFirstAMapOffset + u * kBlockAlign));
        return;
      }
      used[u] = true;
    }
  };
  const auto checkMapPage = [&](std::uint64_t ib, std::uint8_t type, const char* name) {
    const std::uint8_t* t = data_ + ib + 496;
    const std::string where = std::string(name) + " at " + Hex(ib);
    if (t[0] != type || t[1] != type || Get16(t + 2) != 0 || Get64(t + 8) != ib) {
      findings_.add(Fault::kAllocationMap, where + ": trailer");
    } else if (Get32(t + 4) != crc_(data_ + ib, 496, 0)) {
      findings_.add(Fault::kPageCrc, where);
    }
    mark(ib, kPageSize, where);
  };
  for (std::uint64_t r = 0; r < regions; ++r) {
    const std::uint64_t at = AMapAt(r);
    const MapPagesAfterAMap pages = MapPagesAt(r);
    checkMapPage(at, kPageTypeAMap, "AMap");
    if (pages.pmap) checkMapPage(at + kPageSize, kPageTypePMap, "PMap");
    if (pages.fmap) checkMapPage(at + 2 * kPageSize, kPageTypeFMap, "FMap");
    if (pages.fpmap) checkMapPage(at + 3 * kPageSize, kPageTypeFPMap, "FPMap");
  }
  for (const std::uint64_t ib : pages_) mark(ib, kPageSize, PageAt(ib));
  for (const auto& [bid, block] : blocks_) {
    if (block.cb <= kMaxBlockData) mark(block.ib, BlockBytesInFile(block.cb), BlockName(bid));
  }
  std::uint64_t free = 0;
  for (std::uint64_t r = 0; r < regions; ++r) {
    const std::uint8_t* bits = data_ + AMapAt(r);
    for (std::uint64_t u = 0; u < kAMapBytes * 8; ++u) {
      const bool set = (bits[u / 8] >> (7 - u % 8)) & 1;
      const bool inUse = used[r * kAMapBytes * 8 + u];
      if (!inUse) free += kBlockAlign;
      if (set != inUse) {
        findings_.add(Fault::kAllocationMap,
                      "AMap at " + Hex(AMapAt(r)) + ": " + Hex(AMapAt(r) + u * kBlockAlign) +
                          (set ? " marked but unused" : " used but not marked"));
        break;
      }
    }
  }
  if (free != amapFree_) {
    findings_.add(Fault::kAllocationMap,
                  "cbAMapFree " + std::to_string(amapFree_) + ", free " + std::to_string(free));
  }
  if (size_ >= kDensityListOffset + kPageSize) {
    const std::uint8_t* d = data_ + kDensityListOffset;
    const std::uint8_t* t = d + 496;
    if (t[0] != kPageTypeDList || t[1] != kPageTypeDList ||
        Get16(t + 2) != Signature(kDensityListOffset, Get64(t + 8)) ||
        Get32(t + 4) != crc_(d, 496, 0)) {
      findings_.add(Fault::kAllocationMap, "the density list page at 0x4200");
    } else if (d[1] > (496 - 8) / 4) {
      findings_.add(Fault::kAllocationMap, "the density list has too many entries");
    }
  }
}

void NodeDatabaseReader::checkIdentifiers() {
  for (const auto& [nid, node] : nodes_) {
    const std::uint8_t type = NidType(nid);
    // Fixed identifiers of the store lie below the counters; anything handed out lies at or
    // below its type's counter, so a program adding to the store never reuses one.
    if (NidIndex(nid) > nextNid_[type] && NidIndex(nid) >= 0x400) {
      findings_.add(Fault::kIdentifiers, "node " + Hex(nid) + " beyond rgnid[" +
                                             std::to_string(type) + "] " + Hex(nextNid_[type]));
    }
  }
}

bool NodeDatabaseReader::collectLeaves(std::uint64_t bid, int depth,
                                       std::vector<std::uint64_t>& leaves) const {
  if (!(bid & kBidInternal)) {
    leaves.push_back(bid);
    return seeking_ || blocks_.contains(bid);  // a sought block is sought when it is read
  }
  const BlockRef block = readBlock(bid);
  const std::uint8_t* b = block.data;
  const std::uint16_t cb = block.cb;
  if (!b || depth > 1 || cb < 8 || b[0] != kBlockTypeXBlock) return false;
  const std::uint16_t count = Get16(b + 2);
  if (cb < 8 + 8u * count) return false;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (!collectLeaves(Get64(b + 8 + 8 * i), depth + 1, leaves)) return false;
  }
  return true;
}

std::optional<std::vector<Bytes>> NodeDatabaseReader::dataBlocks(std::uint64_t bid) const {
  std::vector<Bytes> out;
  if (bid == 0) return out;
  std::vector<std::uint64_t> leaves;
  if (!collectLeaves(bid, 0, leaves)) return std::nullopt;
  for (const std::uint64_t leaf : leaves) {
    BlockRef block = readBlock(leaf);
    if (!block) return std::nullopt;
    if (block.data == block.owned.data()) {
      block.owned.resize(block.cb);
      out.push_back(std::move(block.owned));
    } else {
      out.emplace_back(block.data, block.data + block.cb);
    }
    if (crypt_ == kCryptPermute) DecodePermuted(out.back().data(), out.back().size());
  }
  return out;
}

std::optional<Bytes> NodeDatabaseReader::data(std::uint64_t bid) const {
  auto blocks = dataBlocks(bid);
  if (!blocks) return std::nullopt;
  Bytes out;
  for (const Bytes& b : *blocks) out.insert(out.end(), b.begin(), b.end());
  return out;
}

bool NodeDatabaseReader::collectSubnodes(std::uint64_t bid, int depth, Subnodes& out) const {
  const BlockRef block = readBlock(bid);
  const std::uint8_t* b = block.data;
  const std::uint16_t cb = block.cb;
  if (!b || depth > kMaxDepth || cb < 8 || b[0] != kBlockTypeSubnode || b[1] > 1) return false;
  const std::uint16_t count = Get16(b + 2);
  const std::size_t entrySize = b[1] == 0 ? 24 : 16;
  if (cb < 8 + entrySize * count) return false;
  for (std::uint16_t i = 0; i < count; ++i) {
    const std::uint8_t* e = b + 8 + entrySize * i;
    if (b[1] == 0) {
      out[Get32(e)] = {Get64(e + 8), Get64(e + 16)};
    } else if (!collectSubnodes(Get64(e + 8), depth + 1, out)) {
      return false;
    }
  }
  return true;
}

std::optional<Subnodes> NodeDatabaseReader::subnodes(std::uint64_t bid) const {
  Subnodes out;
  if (bid == 0) return out;
  if (!collectSubnodes(bid, 0, out)) return std::nullopt;
  return out;
}

}  // namespace qc::mapi::pst::check
