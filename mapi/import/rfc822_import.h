// Import of an RFC 822 / MIME message file into a message of the property model, mapped as
// MS-OXCMAIL describes: what a message store does when asked to import an .eml file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mapi/property.h"

namespace qc::mapi {

// Reads and imports a message file. Throws qc::Error naming the path when the file cannot be
// read; whatever the file holds, it gives a message.
std::unique_ptr<Message> ImportRfc822File(const std::string& path);

// Imports a message held in memory. A leading mailbox separator line ("From ???@??? ...") is
// skipped. Never throws on content: malformed input gives a message with what could be
// recovered (at worst an empty IPM.Note).
std::unique_ptr<Message> ImportRfc822(std::string_view bytes);

// Sets PR_MESSAGE_FLAGS as IMAPIProp::SetProps on a stored message would: MSGFLAG_HASATTACH is
// computed by the store, so the bit follows whether the message has attachments, whatever
// `flags` says (17 gives 0x11 with attachments and 0x01 without). PR_HASATTACH agrees with it.
void SetMessageFlags(Message& message, std::int32_t flags);

}  // namespace qc::mapi
