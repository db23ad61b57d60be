// A message object: its property context, its recipient table, its attachment table and one
// attachment object per attachment (embedded messages as message objects inside them), all in
// the message node's subnode tree.
#pragma once

#include <cstdint>
#include <utility>

#include "mapi/named_ids.h"
#include "mapi/property.h"
#include "mapi/pst/node_database.h"
#include "mapi/pst/subnode_tree.h"
#include "mapi/pst/table_context.h"

namespace qc::mapi::pst {

// What the folder needs of a written message: its node and the values of its contents row.
struct WrittenMessage {
  std::uint32_t nid = 0;
  std::uint64_t bidData = 0;
  std::uint64_t bidSub = 0;
  RowValues row;  // every property of the message's own context, encoded
  bool read = false;
};

struct MessageStamp {
  FileTime now;     // creation and last modification time
  Bytes searchKey;  // PR_SEARCH_KEY, when the message has none
};

// Throws qc::Error, before anything is written, for a message the file cannot hold (a value
// past 4 GiB, more attachments or recipients than a table can take).
void CheckMessageFits(const Message& message);

class MessageWriter {
 public:
  MessageWriter(NodeDatabase& db, NamedIds& names) : db_(db), names_(names) {}

  // Writes the message under `nid` (the caller adds the node, or a subnode).
  WrittenMessage write(const Message& message, std::uint32_t nid, const MessageStamp& stamp);

 private:
  std::pair<std::uint64_t, std::uint64_t> writeRecipients(const Message& message);
  std::pair<std::uint64_t, std::uint64_t> writeAttachments(const Message& message,
                                                           const MessageStamp& stamp,
                                                           SubnodeTree& subnodes,
                                                           std::uint64_t& attachmentBytes);

  NodeDatabase& db_;
  NamedIds& names_;
};

}  // namespace qc::mapi::pst
