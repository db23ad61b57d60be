// The named-property mapping of a .msg file: every named property of the message and its
// recipients, attachments and embedded messages gets an identifier from 0x8000 up, recorded in
// the "__nameid_version1.0" storage at the root.
#pragma once

#include <cstdint>

#include "mapi/cfb/compound_file.h"
#include "mapi/named_ids.h"
#include "mapi/property.h"

namespace qc::mapi::msg {

class NamedPropertyMap {
 public:
  // Assigns identifiers in the order the names first appear, walking the message depth first.
  explicit NamedPropertyMap(const Message& message) { ids_.assign(message); }

  std::uint16_t idOf(const NamedProp& name) const { return ids_.idOf(name); }
  std::size_t size() const { return ids_.size(); }

  // Writes the GUID, entry and string streams and the hash streams.
  void writeTo(cfb::Storage& root) const;

 private:
  NamedIds ids_;
};

}  // namespace qc::mapi::msg
