// Identifiers of named properties. Every name (a property set and a number or a string, whatever
// types it is used with) gets one identifier from 0x8000 up, in the order names first arrive: a
// .msg file keeps such a map for its message, a store one for all of its messages, growing as
// they arrive. Both formats write the map out in the same streams (named_streams.h).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "mapi/property.h"

namespace qc::mapi {

// PS_MAPI and PS_PUBLIC_STRINGS have fixed GUID indexes (1 and 2) and are not stored.
inline const Guid kPsMapi = Guid::Parse("00020328-0000-0000-C000-000000000046");
inline const Guid kPsPublicStrings = Guid::Parse("00020329-0000-0000-C000-000000000046");

class NamedIds {
 public:
  // The identifier of `name`, the next free one when the name is new. Throws qc::Error when
  // every identifier is taken.
  std::uint16_t assign(const NamedProp& name);
  // Assigns the names that `message` uses, then those of its recipients, its attachments and
  // their embedded messages, depth first.
  void assign(const Message& message);

  std::optional<std::uint16_t> find(const NamedProp& name) const;
  // The identifier of a name already assigned; throws qc::Error for any other.
  std::uint16_t idOf(const NamedProp& name) const;

  // In identifier order: names()[i] has the identifier 0x8000 + i.
  const std::vector<NamedProp>& names() const { return names_; }
  std::size_t size() const { return names_.size(); }

  // The property sets other than PS_MAPI and PS_PUBLIC_STRINGS, in the order they first arrived.
  const std::vector<Guid>& guids() const { return guids_; }
  // 1 for PS_MAPI, 2 for PS_PUBLIC_STRINGS, 3 + its place in guids() for a set of a name
  // assigned here. Throws qc::Error for any other set.
  std::uint16_t guidIndex(const Guid& set) const;

 private:
  void assign(const PropertyBag& bag);

  std::map<NamedProp, std::uint16_t> ids_;
  std::vector<NamedProp> names_;
  std::map<Guid, std::uint16_t> guidIndexes_;
  std::vector<Guid> guids_;
};

}  // namespace qc::mapi
