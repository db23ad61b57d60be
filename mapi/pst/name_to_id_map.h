// The store's Name-to-ID map (node 0x61): every named property used anywhere in the store gets
// one identifier from 0x8000 up, whatever type it is used with. It starts with the names a new
// Outlook store already has, so the columns of Outlook's own tables keep their meaning.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "mapi/property.h"

namespace qc::mapi::pst {

class NodeDatabase;

class NameToIdMap {
 public:
  NameToIdMap();

  // The identifier of a name, given one when it is new. Throws qc::Error when the 32,767
  // identifiers are used up.
  std::uint16_t idOf(const NamedProp& name);
  std::size_t size() const { return names_.size(); }

  // Writes the map's property context as node 0x61.
  void write(NodeDatabase& db) const;

 private:
  struct Name {
    Guid set;
    std::variant<std::uint32_t, std::string> key;
    friend auto operator<=>(const Name& a, const Name& b) {
      if (auto c = a.set <=> b.set; c != 0) return c;
      return a.key <=> b.key;
    }
    friend bool operator==(const Name&, const Name&) = default;
  };
  std::uint16_t add(const Name& name);
  std::uint16_t guidIndex(const Guid& set) const;

  std::map<Name, std::uint16_t> ids_;
  std::vector<Name> names_;
  std::vector<Guid> guids_;  // index 3 and up
};

}  // namespace qc::mapi::pst
