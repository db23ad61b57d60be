// Addresses as MAPI stores them (MS-OXCMAIL 2.2.3.2, MS-OXCDATA 2.2.5.1 and 2.3.3): one-off
// entry identifiers, search keys, flat entry lists, and the sender and recipient properties.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mapi/property.h"

namespace qc::mapi::import {

struct MailAddress {
  std::string name;     // UTF-8, empty when the header gave none
  std::string address;  // the SMTP address, may be empty for a broken header

  // The name when there is one, the address otherwise.
  const std::string& displayName() const { return name.empty() ? address : name; }
};

// MS-OXCDATA 2.2.5.1 One-Off EntryID, strings in UTF-16LE.
Bytes OneOffEntryId(std::string_view displayName, std::string_view addressType,
                    std::string_view address);

// "SMTP:ADDRESS" upper-cased with a terminating NUL (PR_SEARCH_KEY).
Bytes SearchKey(std::string_view addressType, std::string_view address);

// MS-OXCDATA 2.3.3 FlatEntryList: count, size, then each entry's size and bytes, 4-byte aligned.
Bytes FlatEntryList(const std::vector<Bytes>& entryIds);

// PR_SENT_REPRESENTING_* (From) and PR_SENDER_* (Sender).
void SetSentRepresenting(PropertyBag& props, const MailAddress& from);
void SetSender(PropertyBag& props, const MailAddress& sender);

// PR_REPLY_RECIPIENT_NAMES and PR_REPLY_RECIPIENT_ENTRIES from the Reply-To addresses.
void SetReplyRecipients(PropertyBag& props, const std::vector<MailAddress>& replyTo);

// One recipient row per address (type 1 To, 2 Cc, 3 Bcc) and the matching PR_DISPLAY_TO/CC/BCC.
void AddRecipients(Message& message, const std::vector<MailAddress>& addresses,
                   std::int32_t recipientType);

}  // namespace qc::mapi::import
