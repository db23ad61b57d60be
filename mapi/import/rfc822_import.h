// Import of an RFC 822 / MIME message file into a message of the property model, mapped as
// MS-OXCMAIL describes: what a message store does when asked to import an .eml file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/import/charset_labels.h"
#include "mapi/property.h"

namespace qc::mapi {

// What the import makes besides the message's own content.
struct ImportOptions {
  // The compressed RTF body (encapsulating the HTML or the text), its in-sync flag, the native
  // body and the editor format, which Outlook's .msg files carry. Outlook's data files keep no
  // RTF beside an HTML or text body, so the .pst form goes without.
  bool rtfBody = true;
  // The charset of text that names none and is not UTF-8: bodies without a charset, and
  // header text written raw in a message that declares no charset it fits.
  std::string fallbackCharset = std::string(import::kDefaultFallbackCharset);
};

// Imports a message file. Attachment data is not read into memory: the attachments decode it
// from the file when a writer reads them, and keep the file open until then. Throws qc::Error
// naming the path when the file cannot be read (or is not a regular file); whatever the file
// holds, it gives a message.
std::unique_ptr<Message> ImportRfc822File(const std::string& path,
                                          std::vector<std::string>* warnings = nullptr);

// The name of the attachment that holds a message whole, as it stands in the mailbox, when its
// parts are nested deeper than the import takes them apart.
inline constexpr const char* kWholeMessageName = "Original message.eml";

// Imports a message held in memory. The bytes are copied (the attachments read from the copy),
// so they need not outlive the call. A leading mailbox separator line ("From ???@??? ...") is
// skipped. Never throws on content: malformed input gives a message with what could be
// recovered (at worst an empty IPM.Note). What the item keeps in another form than the message
// had (parts nested too deep, kept whole as an attachment) is said in a sentence appended to
// `warnings`, when given, for the user to hear of it.
std::unique_ptr<Message> ImportRfc822(std::string_view bytes,
                                      std::vector<std::string>* warnings = nullptr);

// The same without a copy, for a message that lies elsewhere (a range of a mailbox file): the
// attachments decode their data from `bytes` when a writer reads them, and keep it alive. Throws
// qc::Error when `bytes` cannot be read, as reading it later may too.
std::unique_ptr<Message> ImportRfc822(std::shared_ptr<const ByteSource> bytes,
                                      ImportOptions options = {},
                                      std::vector<std::string>* warnings = nullptr);

// Sets PR_MESSAGE_FLAGS as IMAPIProp::SetProps on a stored message would: MSGFLAG_HASATTACH is
// computed by the store, so the bit follows whether the message has attachments, whatever
// `flags` says (17 gives 0x11 with attachments and 0x01 without). PR_HASATTACH agrees with it.
void SetMessageFlags(Message& message, std::int32_t flags);

}  // namespace qc::mapi
