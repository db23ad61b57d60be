// The "__properties_version1.0" stream of one object (message, recipient, attachment) and the
// "__substg1.0_" streams that hold its variable-length values.
#pragma once

#include <cstdint>
#include <vector>

#include "mapi/cfb/compound_file.h"
#include "mapi/msg/named_map.h"
#include "mapi/property.h"

namespace qc::mapi::msg {

// What precedes the property entries: 32 bytes for the top-level message, 24 for an embedded
// message, 8 for a recipient or an attachment.
struct StreamHeader {
  enum class Kind { TopMessage, EmbeddedMessage, RecipientOrAttachment };
  Kind kind = Kind::RecipientOrAttachment;
  std::uint32_t recipients = 0;
  std::uint32_t attachments = 0;
};

// What the writer adds to an object's own properties (or takes away), without copying them.
struct Amendments {
  PropertyBag added;  // replaces a property of the same identifier
};

// Entries are written in identifier order, tagged properties first, then named ones under their
// identifiers.
void WriteProperties(const PropertyBag& bag, const Amendments& amendments,
                     const NamedPropertyMap& names, const StreamHeader& header,
                     cfb::Storage& storage);

}  // namespace qc::mapi::msg
