// A message object: its property context, its recipient table, its attachment table and one
// attachment object per attachment (embedded messages as message objects inside them), all in
// the message node's subnode tree.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "mapi/named_ids.h"
#include "mapi/pst/ltp/table_context.h"
#include "mapi/pst/messaging/encoded_message.h"
#include "mapi/pst/ndb/node_database.h"
#include "mapi/pst/ndb/subnode_tree.h"

namespace qc::mapi::pst {

// What the folder needs of a written message: its node, and for its contents row whether it
// was read (the row's values are the writer's properties()).
struct WrittenMessage {
  std::uint32_t nid = 0;
  std::uint64_t bidData = 0;
  std::uint64_t bidSub = 0;
  bool read = false;
  std::uint32_t size = 0;  // PR_MESSAGE_SIZE
};

struct MessageStamp {
  FileTime now;     // creation and last modification time
  Bytes searchKey;  // PR_SEARCH_KEY, when the message has none
};

// Throws qc::Error, before anything is written, for a message the file cannot hold (more
// attachments or recipients than a table can take; EncodeMessage() refuses values past 4 GiB).
void CheckMessageFits(const EncodedMessage& message);

class MessageWriter {
 public:
  MessageWriter(NodeDatabase& db, NamedIds& names) : db_(db), names_(names) {}

  // Writes the message under `nid` (the caller adds the node, or a subnode). Its named
  // properties get the store's identifiers on the way.
  WrittenMessage write(EncodedMessage& message, std::uint32_t nid, const MessageStamp& stamp);
  // Every property of the message's own context as last written, sorted by tag; valid until
  // the next write().
  std::span<const Cell> properties() const { return cells_; }

 private:
  std::pair<std::uint64_t, std::uint64_t> writeRecipients(EncodedMessage& message);
  std::pair<std::uint64_t, std::uint64_t> writeAttachments(EncodedMessage& message,
                                                           const MessageStamp& stamp,
                                                           SubnodeTree& subnodes,
                                                           std::uint64_t& attachmentBytes);
  void setDefaults(const EncodedMessage& message, const MessageStamp& stamp,
                   std::uint64_t attachmentBytes, WrittenMessage& out);

  NodeDatabase& db_;
  NamedIds& names_;
  std::vector<Cell> cells_;  // of the message being written
  std::vector<Cell> row_;    // of the recipient or attachment being written
  std::vector<std::uint32_t> tags_;
  Bytes markedSubject_;
  std::uint8_t defaults_[32] = {};  // bytes of the values the store sets itself
};

}  // namespace qc::mapi::pst
