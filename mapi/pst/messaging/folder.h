// A folder object: its property context and its hierarchy, contents and associated-contents
// tables (nodes of the folder's index with the table types). Messages go into the contents
// table as they are added; the rest is written when the store closes, when counts are final.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "mapi/pst/ltp/table_context.h"
#include "mapi/pst/ltp/table_templates.h"
#include "mapi/pst/messaging/message_writer.h"
#include "mapi/pst/ndb/node_database.h"

namespace qc::mapi::pst {

struct FolderPlan {
  std::uint32_t nid = 0;
  std::uint32_t parentNid = 0;
  std::string name;
  std::optional<std::string> comment;         // PR_COMMENT
  std::optional<std::string> containerClass;  // PR_CONTAINER_CLASS
  bool hiddenCounts = false;                  // the PST's own hidden-item counts
  bool search = false;  // a search folder: update queue, criteria and search contents table
  const columns::Tags* hierarchyColumns = &columns::Hierarchy();
  const columns::Tags* contentsColumns = &columns::Contents();
  const columns::Tags* assocColumns = &columns::AssocContents();
};

// Empty tables of one layout are one block shared by every folder that has them, as Outlook
// shares its templates.
class EmptyTableCache {
 public:
  std::pair<std::uint64_t, std::uint64_t> get(NodeDatabase& db, const columns::Tags& tags);

 private:
  std::vector<std::pair<const columns::Tags*, std::uint64_t>> written_;
};

class FolderWriter {
 public:
  FolderWriter(NodeDatabase& db, FolderPlan plan);

  const FolderPlan& plan() const { return plan_; }
  std::uint32_t nid() const { return plan_.nid; }
  void addChild(FolderWriter* child) { children_.push_back(child); }
  const std::vector<FolderWriter*>& children() const { return children_; }

  // The message's node goes under this folder; its row, of the message's properties (sorted by
  // tag), into the contents table.
  void addMessage(const WrittenMessage& message, std::span<const Cell> properties,
                  std::uint32_t rowVersion);
  std::uint32_t messageCount() const { return count_; }

  // Writes the folder's context and tables. Children must be closed first: their rows,
  // with final counts, go into this folder's hierarchy table.
  void close(EmptyTableCache& empties, std::uint32_t& rowVersion);
  // The folder's properties, as its parent's hierarchy table lists them.
  const RowValues& properties() const { return props_; }

 private:
  void closeSearchFolder();

  NodeDatabase& db_;
  FolderPlan plan_;
  std::vector<FolderWriter*> children_;
  std::unique_ptr<TableWriter> contents_;
  std::uint32_t count_ = 0;
  std::uint32_t unread_ = 0;
  RowValues props_;
  std::uint32_t rowVersion_ = 0;
};

}  // namespace qc::mapi::pst
