// The named-property mapping of a .msg file: every named property of the message and its
// recipients, attachments and embedded messages gets an identifier from 0x8000 up, recorded in
// the "__nameid_version1.0" storage at the root.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "mapi/cfb/compound_file.h"
#include "mapi/property.h"

namespace qc::mapi::msg {

// PS_MAPI and PS_PUBLIC_STRINGS have fixed GUID indexes (1 and 2) and are not stored.
inline const Guid kPsMapi = Guid::Parse("00020328-0000-0000-C000-000000000046");
inline const Guid kPsPublicStrings = Guid::Parse("00020329-0000-0000-C000-000000000046");

// The CRC-32 of a string name's UTF-16LE bytes, as the hash streams use it.
std::uint32_t NameCrc(const Bytes& utf16le);

class NamedPropertyMap {
 public:
  // Assigns identifiers in the order the names first appear, walking the message depth first.
  explicit NamedPropertyMap(const Message& message);

  std::uint16_t idOf(const NamedProp& name) const { return ids_.at(name); }
  std::size_t size() const { return order_.size(); }

  // Writes the GUID, entry and string streams and the hash streams.
  void writeTo(cfb::Storage& root) const;

 private:
  void collect(const PropertyBag& bag);
  void collect(const Message& message);
  std::uint16_t guidIndex(const Guid& set) const;

  std::map<NamedProp, std::uint16_t> ids_;
  std::vector<NamedProp> order_;
  std::vector<Guid> guids_;  // stored GUIDs, index 3 and up
};

}  // namespace qc::mapi::msg
