#include "mapi/pst/messaging/folder.h"

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ltp/property_context.h"
#include "mapi/text.h"

namespace qc::mapi::pst {

namespace {

constexpr std::uint32_t kTagRowVersion = 0x67F30003;
constexpr std::uint32_t kDisplayName = 0x3001001F;
constexpr std::uint32_t kComment = 0x3004001F;
constexpr std::uint32_t kContentCount = 0x36020003;
constexpr std::uint32_t kUnreadCount = 0x36030003;
constexpr std::uint32_t kSubfolders = 0x360A000B;
constexpr std::uint32_t kContainerClass = 0x3613001F;
constexpr std::uint32_t kHiddenCount = 0x66350003;
constexpr std::uint32_t kHiddenUnread = 0x66360003;

Bytes Int32Bytes(std::uint32_t v) {
  Bytes b;
  Append32(b, v);
  return b;
}

std::uint32_t TableNid(std::uint32_t folderNid, std::uint8_t type) {
  return MakeNid(type, NidIndex(folderNid));
}

}  // namespace

std::pair<std::uint64_t, std::uint64_t> EmptyTableCache::get(NodeDatabase& db,
                                                             const columns::Tags& tags) {
  for (const auto& [written, bid] : written_) {
    if (written == &tags) {
      db.addReference(bid);
      return {bid, 0};
    }
  }
  TableWriter table(db, MakeTableLayout(tags));
  const auto [bid, sub] = table.finish();
  written_.push_back({&tags, bid});
  return {bid, sub};
}

FolderWriter::FolderWriter(NodeDatabase& db, FolderPlan plan) : db_(db), plan_(std::move(plan)) {}

void FolderWriter::addMessage(const WrittenMessage& message, std::span<const Cell> properties,
                              std::uint32_t rowVersion) {
  if (!contents_) {
    contents_ = std::make_unique<TableWriter>(db_, MakeTableLayout(*plan_.contentsColumns));
  }
  db_.addNode(message.nid, message.bidData, message.bidSub, plan_.nid);
  std::uint8_t version[4];
  Put32(version, rowVersion);
  const Cell override{kTagRowVersion, version, sizeof version};
  contents_->addRow(message.nid, properties, {&override, 1});
  ++count_;
  if (!message.read) ++unread_;
}

void FolderWriter::close(EmptyTableCache& empties, std::uint32_t& rowVersion) {
  props_[kDisplayName] = Utf16LeBytes(plan_.name);
  if (plan_.comment) props_[kComment] = Utf16LeBytes(*plan_.comment);
  props_[kContentCount] = Int32Bytes(count_);
  props_[kUnreadCount] = Int32Bytes(unread_);
  props_[kSubfolders] = Bytes{static_cast<std::uint8_t>(!children_.empty())};
  if (plan_.containerClass) props_[kContainerClass] = Utf16LeBytes(*plan_.containerClass);
  if (plan_.hiddenCounts) {
    props_[kHiddenCount] = Int32Bytes(0);
    props_[kHiddenUnread] = Int32Bytes(0);
  }

  SubnodeTree noSubnodes;
  PropertyContextWriter pc(db_, noSubnodes);
  for (const auto& [tag, bytes] : props_) {
    pc.set(static_cast<std::uint16_t>(tag >> 16), static_cast<std::uint16_t>(tag & 0xFFFF), bytes);
  }
  const std::uint64_t data = pc.write();
  db_.addNode(plan_.nid, data, noSubnodes.write(db_), plan_.parentNid);
  rowVersion_ = ++rowVersion;
  if (plan_.search) {
    closeSearchFolder();
    return;
  }

  // Hierarchy table: one row per subfolder.
  std::pair<std::uint64_t, std::uint64_t> hierarchy;
  if (children_.empty()) {
    hierarchy = empties.get(db_, *plan_.hierarchyColumns);
  } else {
    TableWriter table(db_, MakeTableLayout(*plan_.hierarchyColumns));
    for (const FolderWriter* child : children_) {
      RowValues row = child->properties();
      row[kTagRowVersion] = Int32Bytes(child->rowVersion_);
      table.addRow(child->nid(), row);
    }
    hierarchy = table.finish();
  }
  db_.addNode(TableNid(plan_.nid, nid_type::kHierarchyTable), hierarchy.first, hierarchy.second, 0);

  const auto contents = contents_ ? contents_->finish() : empties.get(db_, *plan_.contentsColumns);
  contents_.reset();
  db_.addNode(TableNid(plan_.nid, nid_type::kContentsTable), contents.first, contents.second, 0);

  const auto assoc = empties.get(db_, *plan_.assocColumns);
  db_.addNode(TableNid(plan_.nid, nid_type::kAssocContentsTable), assoc.first, assoc.second, 0);
}

// A search folder keeps an (empty) update queue, its criteria and the table of its results.
void FolderWriter::closeSearchFolder() {
  db_.addNode(TableNid(plan_.nid, nid_type::kSearchUpdateQueue), 0, 0, 0);
  SubnodeTree noSubnodes;
  PropertyContextWriter criteria(db_, noSubnodes);
  criteria.setInt32(0x660B, 0);  // as Outlook leaves the criteria of a search never run
  db_.addNode(TableNid(plan_.nid, nid_type::kSearchCriteriaObject), criteria.write(), 0, 0);
  TableWriter table(db_, MakeTableLayout(columns::SearchContents()));
  const auto [bid, sub] = table.finish();
  db_.addNode(TableNid(plan_.nid, nid_type::kSearchContentsTable), bid, sub, 0);
}

}  // namespace qc::mapi::pst
