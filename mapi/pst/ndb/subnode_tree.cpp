#include "mapi/pst/ndb/subnode_tree.h"

#include <algorithm>

#include "mapi/pst/format.h"
#include "util/error.h"

namespace qc::mapi::pst {

std::uint64_t SubnodeTree::write(NodeDatabase& db) {
  if (entries_.empty()) return 0;
  std::sort(entries_.begin(), entries_.end(),
            [](const SubnodeLeaf& a, const SubnodeLeaf& b) { return a.nid < b.nid; });
  if (entries_.size() <= kSLBlockMaxEntries) {
    return db.writeInternalBlock(SubnodeLeafBlock(entries_.data(), entries_.size()));
  }
  std::vector<SubnodeBranch> branches;
  for (std::size_t first = 0; first < entries_.size(); first += kSLBlockMaxEntries) {
    const std::size_t n = std::min(kSLBlockMaxEntries, entries_.size() - first);
    branches.push_back(
        {entries_[first].nid, db.writeInternalBlock(SubnodeLeafBlock(&entries_[first], n))});
  }
  if (branches.size() > kSIBlockMaxEntries) throw Error("too many parts in one message");
  return db.writeInternalBlock(SubnodeBranchBlock(branches.data(), branches.size()));
}

}  // namespace qc::mapi::pst
