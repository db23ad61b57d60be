// What the strict checker of Outlook data files reports: each fault with its kind (so tests can
// damage a file and ask for exactly the fault they caused) and a sentence saying where.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qc::mapi::pst::check {

enum class Fault {
  kHeader,     // a header or ROOT field
  kHeaderCrc,  // dwCRCPartial or dwCRCFull
  kPage,       // a page's place, trailer, type or signature
  kPageCrc,
  kBTree,  // order, levels, entry counts of the NBT or BBT
  kBlock,  // a block's place, trailer, size or signature
  kBlockCrc,
  kMissingBlock,    // a node or tree names a block the BBT does not have
  kReferenceCount,  // cRef against the references found
  kAllocationMap,   // AMap, PMap, FMap, FPMap, DList and the free-space totals
  kDataTree,        // XBLOCK, XXBLOCK
  kSubnodeTree,     // SLBLOCK, SIBLOCK
  kIdentifiers,     // rgnid, bidNextB, bidNextP
  kHeap,            // HN header, page maps, fill levels
  kBth,
  kPropertyContext,
  kTableContext,
  kMandatoryNode,
  kStore,  // the message store object
  kNameToIdMap,
  kFolder,
  kMessage,
};

const char* FaultName(Fault fault);

struct Finding {
  Fault fault;
  std::string where;
};

class Findings {
 public:
  void add(Fault fault, std::string where);
  const std::vector<Finding>& all() const { return findings_; }
  bool has(Fault fault) const;
  bool empty() const { return findings_.empty(); }
  std::size_t dropped() const { return dropped_; }

 private:
  std::vector<Finding> findings_;
  std::size_t dropped_ = 0;  // past the limit: a wrecked file need not list every fault
};

std::string Hex(std::uint64_t value);

}  // namespace qc::mapi::pst::check
