#include "mapi/pst/ltp/property_context.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ltp/bth.h"
#include "mapi/pst/ndb/data_tree.h"

namespace qc::mapi::pst {

void PropertyContextWriter::add(Entry entry) {
  entries_.push_back(entry);
}

bool PropertyContextWriter::toSubnode(std::uint16_t id, std::uint16_t type,
                                      const std::uint8_t* data, std::size_t size) {
  if (StoredInPlace(type) || size <= kMaxHeapItem) return false;
  Entry entry;
  entry.id = id;
  entry.type = type;
  entry.nid = db_.newNid(nid_type::kLtp);
  subnodes_.add(entry.nid, WriteData(db_, data, size), 0);
  add(entry);
  return true;
}

void PropertyContextWriter::set(std::uint16_t id, std::uint16_t type, Bytes encoded) {
  if (toSubnode(id, type, encoded.data(), encoded.size())) return;
  Entry entry;
  entry.id = id;
  entry.type = type;
  entry.size = encoded.size();
  if (encoded.size() <= sizeof entry.inPlace) {
    entry.small = true;
    if (!encoded.empty()) std::memcpy(entry.inPlace, encoded.data(), encoded.size());
  } else {
    owned_.push_back(std::move(encoded));
    entry.data = owned_.back().data();  // a Bytes keeps its buffer when owned_ grows
  }
  add(entry);
}

void PropertyContextWriter::setCell(const Cell& cell) {
  if (toSubnode(cell.id(), cell.type(), cell.data, cell.size)) return;
  Entry entry;
  entry.id = cell.id();
  entry.type = cell.type();
  entry.data = cell.data;
  entry.size = cell.size;
  add(entry);
}

void PropertyContextWriter::setInt32(std::uint16_t id, std::int32_t value) {
  Entry entry;
  entry.id = id;
  entry.type = static_cast<std::uint16_t>(PropType::Int32);
  entry.small = true;
  entry.size = 4;
  Put32(entry.inPlace, static_cast<std::uint32_t>(value));
  add(entry);
}

void PropertyContextWriter::setBool(std::uint16_t id, bool value) {
  Entry entry;
  entry.id = id;
  entry.type = static_cast<std::uint16_t>(PropType::Boolean);
  entry.small = true;
  entry.size = 1;
  entry.inPlace[0] = static_cast<std::uint8_t>(value);
  add(entry);
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
  constexpr std::size_t kPiece = std::size_t{1} << 16;
  const auto piece = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece);
  for (std::uint64_t at = 0; at < size;) {
    const std::size_t n = source.read(at, piece.get(), kPiece);
    if (n == 0) break;  // a source shorter than it said: keep what it gave
    tree.append(piece.get(), n);
    at += n;
  }
  Entry entry;
  entry.id = id;
  entry.type = type;
  entry.nid = db_.newNid(nid_type::kLtp);
  subnodes_.add(entry.nid, tree.finish(), 0);
  add(entry);
}

void PropertyContextWriter::setObject(std::uint16_t id, std::uint32_t nid, std::uint32_t size) {
  Entry entry;
  entry.id = id;
  entry.type = static_cast<std::uint16_t>(PropType::Object);
  entry.small = true;
  entry.size = 8;
  Put32(entry.inPlace, nid);
  Put32(entry.inPlace + 4, size);
  add(entry);
}

bool PropertyContextWriter::has(std::uint16_t id) const {
  return std::any_of(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
}

std::uint64_t PropertyContextWriter::write() {
  // By identifier; of values set twice, the last.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const Entry& a, const Entry& b) { return a.id < b.id; });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (i + 1 < entries_.size() && entries_[i + 1].id == entries_[i].id) continue;
    entries_[kept++] = entries_[i];
  }
  entries_.resize(kept);

  HeapWriter heap(db_, kClientPropertyContext);
  const std::uint32_t header = heap.reserve(8);  // BTHHEADER first, where readers look
  // Values first, then the BTH records that point to them.
  Bytes records(8 * entries_.size());
  std::uint8_t* record = records.data();
  for (const Entry& entry : entries_) {
    const std::uint8_t* data = entry.small ? entry.inPlace : entry.data;
    std::uint32_t value = 0;
    if (entry.nid != 0) {
      value = entry.nid;
    } else if (StoredInPlace(entry.type)) {
      std::uint8_t buffer[4] = {0, 0, 0, 0};
      std::memcpy(buffer, data, std::min<std::size_t>(entry.size, 4));
      value = Get32(buffer);
    } else {
      value = heap.allocate(data, entry.size);
    }
    Put16(record, entry.id);
    Put16(record + 2, entry.type);
    Put32(record + 4, value);
    record += 8;
  }
  heap.setRoot(WriteBth(heap, 2, 6, records.data(), entries_.size(), header));
  return heap.finish();
}

}  // namespace qc::mapi::pst
