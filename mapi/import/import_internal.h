// Pieces of the RFC 822 import that call each other across files: an embedded message is
// imported by the same code as the outer one, one level deeper.
#pragma once

#include <gmime/gmime.h>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/import/gmime_support.h"
#include "mapi/import/header_fields.h"
#include "mapi/import/header_text.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/property.h"

namespace qc::mapi::import {

// Embedded messages nested deeper than this are not imported as messages: their parts become
// attachments of the deepest one imported. The writers recurse over embedded messages, and
// real forwards are rarely nested more than a handful of times.
constexpr int kMaxEmbeddedDepth = 16;
// MIME levels walked structurally within one message; deeper parts become plain attachments.
constexpr int kMaxMimeDepth = 64;
// A body whose content takes more than this in the message is converted as it is written instead
// of held in memory, where it would be held several times over (decoded, as UTF-8, with CR LF
// line ends, as UTF-16). Mail bodies take a few kilobytes.
constexpr std::uint64_t kLargeBody = std::uint64_t{4} << 20;

// What the levels of one import tell the outermost: parts nested deeper than they follow (or
// than GMime parses, which leaves the rest as the text of the deepest multipart) were not taken
// apart as the sender made them, and the outermost level then keeps the whole message beside
// what could be taken.
struct ImportNotes {
  bool tooDeep = false;
  // Charset labels the message names that name no charset we know: its text in them was read
  // as text that names none.
  std::set<std::string> unknownCharsets;
  std::vector<std::string>* warnings = nullptr;  // where the import's warnings go, if anywhere
  // Bytes of the message's attachments decoded into memory (AttachmentData).
  std::uint64_t heldAttachmentBytes = 0;
};

// Where in an import a message stands: how many levels below the outermost, what the import was
// asked to make, and where its notes go.
struct Level {
  int depth = 0;
  ImportOptions options;
  ImportNotes* notes = nullptr;
  // How the text of the message at this level is read; a message forwarded inside it reads its
  // own charsets first, then these.
  const RawTextReader* text = nullptr;
  // Whether a header block both read alike is split by the import rather than by GMime; off
  // only to compare the two.
  bool splitHeaderBlocks = true;
  Level deeper() const { return {depth + 1, options, notes, text, splitHeaderBlocks}; }
  void noteTooDeep() const {
    if (notes != nullptr) notes->tooDeep = true;
  }
  std::set<std::string>* unknownCharsets() const {
    return notes != nullptr ? &notes->unknownCharsets : nullptr;
  }
};

// The warning for a message that names charsets we do not know: which, and how their text
// was read.
std::string UnknownCharsetsWarning(const std::set<std::string>& labels, std::string_view fallback);

// A message from its bytes (separator line allowed) at `level`. Its attachments read their
// data from `bytes` when written. Throws qc::Error when `bytes` cannot be read.
std::unique_ptr<Message> ImportAtDepth(std::shared_ptr<const ByteSource> bytes, const Level& level);

// The parts of a message's top multipart/mixed one at a time, for a message with too many parts
// to parse whole: how many there are, and each in a multipart/mixed of its own (made to parse it
// as it stands among the others), null after the last.
struct PartFeed {
  std::size_t count = 0;
  std::function<GPtr<GMimeObject>()> next;
};

// A parsed message as it is converted: its header fields; GMime's message when GMime parsed the
// header block, null when the import split it; and its top MIME part, if any.
struct ParsedMessage {
  const HeaderFields& fields;
  GMimeMessage* message = nullptr;
  GMimeObject* root = nullptr;
};

// A message from what was parsed. `transportHeaders` is the header block as it stood;
// `separatorDate` the date of the mailbox's separator line, if any. With `parts`, the top part
// is a multipart/mixed parsed without its parts, which `parts` hands over.
std::unique_ptr<Message> ConvertParsed(const ParsedMessage& parsed, std::string transportHeaders,
                                       const Level& level,
                                       std::optional<FileTime> separatorDate = std::nullopt,
                                       const PartFeed* parts = nullptr);
// The same for a message GMime parsed whole.
std::unique_ptr<Message> ConvertParsed(GMimeMessage* message, std::string transportHeaders,
                                       const Level& level,
                                       std::optional<FileTime> separatorDate = std::nullopt,
                                       const PartFeed* parts = nullptr);

// Bodies and attachments of `out` from the MIME tree under `root` (which may be null).
void MapContent(GMimeObject* root, Message& out, const Level& level);
// The same from the parts of a top multipart/mixed, each let go once taken.
void MapContentPartByPart(const PartFeed& parts, Message& out, const Level& level);

}  // namespace qc::mapi::import
