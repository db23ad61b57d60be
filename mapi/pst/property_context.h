// A property context (PC): the properties of one object (the store, a folder, a message, an
// attachment) as a BTH of property identifiers in the node's heap, with values too large for
// the heap in subnodes.
#pragma once

#include <cstdint>
#include <map>

#include "mapi/pst/heap.h"
#include "mapi/pst/node_database.h"
#include "mapi/pst/subnode_tree.h"

namespace qc::mapi::pst {

class PropertyContextWriter {
 public:
  // Large values become subnodes of `subnodes`, the tree of the node that holds this context.
  PropertyContextWriter(NodeDatabase& db, SubnodeTree& subnodes) : db_(db), subnodes_(subnodes) {}

  void set(std::uint16_t id, std::uint16_t type, Bytes encoded);
  // The same without a copy: `encoded` must stay as it is until write() has returned.
  void setView(std::uint16_t id, std::uint16_t type, const Bytes& encoded);
  void setInt32(std::uint16_t id, std::int32_t value);
  void setBool(std::uint16_t id, bool value);
  // Copies the source in pieces into a subnode (or the heap, when small).
  void setStream(std::uint16_t id, std::uint16_t type, const ByteSource& source);
  // An embedded message: the subnode that holds it and its size (PtypObject).
  void setObject(std::uint16_t id, std::uint32_t nid, std::uint32_t size);
  bool has(std::uint16_t id) const { return props_.contains(id); }

  // Writes the heap; returns the node's data identifier.
  std::uint64_t write();

 private:
  struct Entry {
    std::uint16_t type = 0;
    Bytes bytes;                  // for the heap, or the in-place value
    const Bytes* view = nullptr;  // or the caller's bytes
    std::uint32_t nid = 0;        // set when the value already stands in a subnode
    const Bytes& data() const { return view ? *view : bytes; }
  };

  NodeDatabase& db_;
  SubnodeTree& subnodes_;
  std::map<std::uint16_t, Entry> props_;
};

}  // namespace qc::mapi::pst
