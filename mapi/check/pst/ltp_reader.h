// Reads and checks the lists, tables and property contexts of a node: the heap (HN) with its
// page maps and fill levels, BTHs, property contexts and table contexts.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mapi/check/pst/findings.h"
#include "mapi/check/pst/ndb_reader.h"
#include "mapi/property.h"

namespace qc::mapi::pst::check {

// One node's heap, checked when read.
class HeapReader {
 public:
  // Nothing when the node's data is not a sound heap (the faults are in `findings`).
  static std::optional<HeapReader> Read(std::vector<Bytes> blocks, const std::string& where,
                                        Findings& findings);
  std::uint8_t client() const { return client_; }
  std::uint32_t root() const { return root_; }
  // An item by HID; nothing for an HID the heap does not have.
  std::optional<Bytes> item(std::uint32_t hid) const;

 private:
  std::vector<Bytes> blocks_;
  std::vector<std::vector<std::uint16_t>> starts_;  // per block, cAlloc + 1 offsets
  std::uint8_t client_ = 0;
  std::uint32_t root_ = 0;
};

// A property: its type and its stored bytes (in-place values as their 4 bytes, or fewer).
struct PropertyValue {
  std::uint16_t type = 0;
  Bytes bytes;
};
using Properties = std::map<std::uint16_t, PropertyValue>;

struct Table {
  std::vector<std::uint32_t> columns;                // tags, in TCINFO order
  std::vector<std::map<std::uint32_t, Bytes>> rows;  // cells that exist, in row order
};

class LtpReader {
 public:
  LtpReader(const NodeDatabaseReader& ndb, Findings& findings) : ndb_(ndb), findings_(findings) {}

  // A node's (or subnode's) property context; nothing when it is broken or not one.
  std::optional<Properties> propertyContext(std::uint64_t bidData, const Subnodes& subnodes,
                                            const std::string& where);
  std::optional<Table> tableContext(std::uint64_t bidData, const Subnodes& subnodes,
                                    const std::string& where);

 private:
  std::optional<HeapReader> heap(std::uint64_t bidData, std::uint8_t client,
                                 const std::string& where);
  // BTH records, checked for order and shape.
  std::optional<std::vector<std::pair<Bytes, Bytes>>> bth(const HeapReader& heap, std::uint32_t hid,
                                                          std::uint8_t keySize,
                                                          std::uint8_t dataSize,
                                                          const std::string& where);
  // A value by HNID: heap item or subnode data.
  std::optional<Bytes> value(const HeapReader& heap, const Subnodes& subnodes,
                             std::uint32_t hnid) const;

  const NodeDatabaseReader& ndb_;
  Findings& findings_;
};

}  // namespace qc::mapi::pst::check
