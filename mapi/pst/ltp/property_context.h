// A property context (PC): the properties of one object (the store, a folder, a message, an
// attachment) as a BTH of property identifiers in the node's heap, with values too large for
// the heap in subnodes.
#pragma once

#include <cstdint>
#include <vector>

#include "mapi/pst/ltp/heap.h"
#include "mapi/pst/ltp/property_value.h"
#include "mapi/pst/ndb/node_database.h"
#include "mapi/pst/ndb/subnode_tree.h"

namespace qc::mapi::pst {

class PropertyContextWriter {
 public:
  // Large values become subnodes of `subnodes`, the tree of the node that holds this context.
  PropertyContextWriter(NodeDatabase& db, SubnodeTree& subnodes) : db_(db), subnodes_(subnodes) {
    entries_.reserve(48);  // a message's properties, without growing
  }

  // A value set again replaces the earlier one.
  void set(std::uint16_t id, std::uint16_t type, Bytes encoded);
  // The same without a copy: the cell's bytes must stay as they are until write() has returned.
  void setCell(const Cell& cell);
  void setView(std::uint16_t id, std::uint16_t type, const Bytes& encoded) {
    setCell({(std::uint32_t{id} << 16) | type, encoded.data(), encoded.size()});
  }
  void setInt32(std::uint16_t id, std::int32_t value);
  void setBool(std::uint16_t id, bool value);
  // Copies the source in pieces into a subnode (or the heap, when small).
  void setStream(std::uint16_t id, std::uint16_t type, const ByteSource& source);
  // An embedded message: the subnode that holds it and its size (PtypObject).
  void setObject(std::uint16_t id, std::uint32_t nid, std::uint32_t size);
  bool has(std::uint16_t id) const;

  // Writes the heap; returns the node's data identifier.
  std::uint64_t write();

 private:
  struct Entry {
    std::uint16_t id = 0;
    std::uint16_t type = 0;
    const std::uint8_t* data = nullptr;  // the caller's bytes or those of owned_
    std::size_t size = 0;
    std::uint32_t nid = 0;  // set when the value already stands in a subnode
    bool small = false;     // the bytes are in `inPlace`
    std::uint8_t inPlace[8] = {};
  };
  void add(Entry entry);
  // A value past the heap's limit goes to a subnode now; true when it did.
  bool toSubnode(std::uint16_t id, std::uint16_t type, const std::uint8_t* data, std::size_t size);

  NodeDatabase& db_;
  SubnodeTree& subnodes_;
  std::vector<Entry> entries_;  // in the order set
  std::vector<Bytes> owned_;
};

}  // namespace qc::mapi::pst
