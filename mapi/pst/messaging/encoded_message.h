// A message's values as a store keeps them (strings as UTF-16LE, numbers little-endian, the
// layouts of MS-PST for multi-valued types), made from the property model without the store:
// another thread can encode a message while the store writes the ones before it. Named
// properties keep their names until the store gives them its identifiers.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "mapi/named_ids.h"
#include "mapi/property.h"
#include "mapi/pst/ltp/property_value.h"

namespace qc::mapi::pst {

struct EncodedBag {
  struct Value {
    std::uint32_t tag = 0;
    std::size_t offset = 0;  // in `bytes`
    std::size_t size = 0;
  };
  // Sorted by tag: the tagged properties, then (once ResolveNames() has run) the named ones.
  std::vector<Value> values;
  // Values given as sources (attachment data), copied in pieces when written; tagged ones in
  // identifier order, then the named ones.
  std::vector<std::pair<std::uint32_t, std::shared_ptr<const ByteSource>>> streams;
  // Named properties as the model holds them, in name order; emptied by ResolveNames().
  std::vector<std::pair<NamedProp, Property>> named;
  Bytes bytes;  // every value's bytes, end to end

  Cell cell(const Value& v) const { return {v.tag, bytes.data() + v.offset, v.size}; }
};

struct EncodedMessage;

struct EncodedAttachment {
  EncodedBag props;
  std::unique_ptr<EncodedMessage> embedded;
};

struct EncodedMessage {
  EncodedBag props;
  std::vector<EncodedBag> recipients;
  std::vector<EncodedAttachment> attachments;
};

// Throws qc::Error for a value the file cannot hold (more than 4 GiB).
EncodedMessage EncodeMessage(const Message& message);
EncodedBag EncodeBag(const PropertyBag& bag);

// Gives the bag's named properties the store's identifiers (new names the next free ones, in
// name order) and encodes them.
void ResolveNames(EncodedBag& bag, NamedIds& names);

}  // namespace qc::mapi::pst
