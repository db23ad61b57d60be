#include "mapi/pst/property_context.h"

#include "mapi/little_endian.h"
#include "mapi/pst/bth.h"
#include "mapi/pst/data_tree.h"
#include "mapi/pst/format.h"
#include "mapi/pst/property_value.h"

namespace qc::mapi::pst {

void PropertyContextWriter::set(std::uint16_t id, std::uint16_t type, Bytes encoded) {
  Entry entry;
  entry.type = type;
  entry.bytes = std::move(encoded);
  if (!StoredInPlace(type) && entry.bytes.size() > kMaxHeapItem) {
    entry.nid = db_.newNid(nid_type::kLtp);
    subnodes_.add(entry.nid, WriteData(db_, entry.bytes.data(), entry.bytes.size()), 0);
    entry.bytes.clear();
  }
  props_[id] = std::move(entry);
}

void PropertyContextWriter::setView(std::uint16_t id, std::uint16_t type, const Bytes& encoded) {
  if (!StoredInPlace(type) && encoded.size() > kMaxHeapItem) {
    set(id, type, encoded);  // goes to a subnode now: nothing to keep
    return;
  }
  Entry entry;
  entry.type = type;
  entry.view = &encoded;
  props_[id] = std::move(entry);
}

void PropertyContextWriter::setInt32(std::uint16_t id, std::int32_t value) {
  Bytes b;
  Append32(b, static_cast<std::uint32_t>(value));
  set(id, static_cast<std::uint16_t>(PropType::Int32), std::move(b));
}

void PropertyContextWriter::setBool(std::uint16_t id, bool value) {
  set(id, static_cast<std::uint16_t>(PropType::Boolean), Bytes{static_cast<std::uint8_t>(value)});
}

void PropertyContextWriter::setStream(std::uint16_t id, std::uint16_t type,
                                      const ByteSource& source) {
  const std::uint64_t size = source.size();
  if (size <= kMaxHeapItem) {
    Bytes bytes(size);
    bytes.resize(source.read(0, bytes.data(), bytes.size()));
    set(id, type, std::move(bytes));
    return;
  }
  DataTreeWriter tree(db_);
  Bytes piece(std::size_t{1} << 16);
  for (std::uint64_t at = 0; at < size;) {
    const std::size_t n = source.read(at, piece.data(), piece.size());
    if (n == 0) break;  // a source shorter than it said: keep what it gave
    tree.append(piece.data(), n);
    at += n;
  }
  const std::uint32_t nid = db_.newNid(nid_type::kLtp);
  subnodes_.add(nid, tree.finish(), 0);
  Entry entry;
  entry.type = type;
  entry.nid = nid;
  props_[id] = std::move(entry);
}

void PropertyContextWriter::setObject(std::uint16_t id, std::uint32_t nid, std::uint32_t size) {
  Bytes b;
  Append32(b, nid);
  Append32(b, size);
  set(id, static_cast<std::uint16_t>(PropType::Object), std::move(b));
}

std::uint64_t PropertyContextWriter::write() {
  HeapWriter heap(db_, kClientPropertyContext);
  const std::uint32_t header = heap.reserve(8);  // BTHHEADER first, where readers look
  // Values first, then the BTH records that point to them.
  std::vector<std::pair<std::uint16_t, std::pair<std::uint16_t, std::uint32_t>>> records;
  records.reserve(props_.size());
  for (const auto& [id, entry] : props_) {
    std::uint32_t value = 0;
    if (entry.nid != 0) {
      value = entry.nid;
    } else if (StoredInPlace(entry.type)) {
      value = InPlaceValue(entry.data());
    } else {
      value = heap.allocate(entry.data());
    }
    records.push_back({id, {entry.type, value}});
  }
  const std::uint32_t root = WriteBth(
      heap, 2, 6, records.size(),
      [&](std::size_t i, auto* out) {
        Put16(out, records[i].first);
        Put16(out + 2, records[i].second.first);
        Put32(out + 4, records[i].second.second);
      },
      header);
  heap.setRoot(root);
  return heap.finish();
}

}  // namespace qc::mapi::pst
