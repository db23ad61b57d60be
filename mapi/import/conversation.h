// What Outlook's conversation view groups and orders messages by: the conversation topic and
// index (MS-OXOMSG 2.2.1.3 to 2.2.1.5), from Thread-Topic and Thread-Index when a message has
// them, otherwise from its subject, date and the Message-IDs of its thread.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/import/header_fields.h"
#include "mapi/property.h"

namespace qc::mapi::import {

// PR_CONVERSATION_TOPIC_W, PR_CONVERSATION_INDEX and PR_CONVERSATION_INDEX_TRACKING. `topic`
// is the Thread-Topic header's text, empty when there is none; reads the normalized subject and
// the times MapEnvelope already set.
// The values of a message's Message-ID, In-Reply-To and References headers, trimmed.
struct ThreadIds {
  std::string messageId, inReplyTo, references;
};
void SetConversation(const HeaderFields& headers, const ThreadIds& ids, PropertyBag& props,
                     std::string topic);

// A conversation index of our own: the 22-byte header block (0x01, five bytes of the FILETIME
// `time`, and a GUID hashed from `rootId`) and one 5-byte child block per id of `chain`, the
// replies between the root and this message, this message last.
Bytes BuildConversationIndex(std::uint64_t time, std::string_view rootId,
                             const std::vector<std::string>& chain);

}  // namespace qc::mapi::import
