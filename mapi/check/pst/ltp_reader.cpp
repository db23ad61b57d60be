#include "mapi/check/pst/ltp_reader.h"

#include <algorithm>
#include <functional>
#include <set>

#include "mapi/check/pst/format_rules.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"

namespace qc::mapi::pst::check {

namespace {

constexpr int kMaxBthLevels = 8;

bool IsBitmapBlock(std::size_t index) {
  return index >= 8 && (index - 8) % 128 == 0;
}

std::size_t HeaderSize(std::size_t index) {
  if (index == 0) return kHeapHeaderSize;
  return IsBitmapBlock(index) ? kHeapBitmapHeaderSize : kHeapPageHeaderSize;
}

std::uint8_t FillLevelAt(const Bytes& block, std::size_t at, std::size_t i) {
  return static_cast<std::uint8_t>((block[at + i / 2] >> (4 * (i % 2))) & 0x0F);
}

bool KnownType(std::uint16_t type) {
  switch (type) {
    case 0x0002:
    case 0x0003:
    case 0x0004:
    case 0x0005:
    case 0x0006:
    case 0x0007:
    case 0x000A:
    case 0x000B:
    case 0x000D:
    case 0x0014:
    case 0x001E:
    case 0x001F:
    case 0x0040:
    case 0x0048:
    case 0x00FB:
    case 0x00FD:
    case 0x00FE:
    case 0x0102:
    case 0x1002:
    case 0x1003:
    case 0x1004:
    case 0x1005:
    case 0x1006:
    case 0x1007:
    case 0x1014:
    case 0x101E:
    case 0x101F:
    case 0x1040:
    case 0x1048:
    case 0x1102:
      return true;
    default:
      return false;
  }
}

// The size a value of a fixed-size type must have (0 for variable-size types).
std::size_t FixedSize(std::uint16_t type) {
  if (type == 0x0048) return 16;
  if (type == 0x000D) return 0;
  return FixedCellSize(type);
}

// PtypMultipleString / PtypMultipleBinary: count, offsets inside, rising.
bool SoundMultiValue(const Bytes& v) {
  if (v.size() < 4) return v.empty();
  const std::uint32_t count = Get32(v.data());
  if (count > (v.size() - 4) / 4) return false;
  std::uint64_t last = 4 + 4ull * count;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t at = Get32(v.data() + 4 + 4 * i);
    if (at < last || at > v.size()) return false;
    last = at;
  }
  return true;
}

}  // namespace

std::optional<HeapReader> HeapReader::Read(std::vector<Bytes> blocks, const std::string& where,
                                           Findings& findings) {
  HeapReader heap;
  if (blocks.empty() || blocks[0].size() < kHeapHeaderSize) {
    findings.add(Fault::kHeap, where + ": no heap header");
    return std::nullopt;
  }
  const Bytes& first = blocks[0];
  if (first[2] != kHeapSignature) {
    findings.add(Fault::kHeap, where + ": bSig " + Hex(first[2]) + " is not 0xEC");
    return std::nullopt;
  }
  heap.client_ = first[3];
  heap.root_ = Get32(first.data() + 4);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const Bytes& b = blocks[i];
    // Named only when something is wrong: a store has millions of them.
    const auto at = [&] { return where + ", heap block " + std::to_string(i); };
    const std::size_t header = HeaderSize(i);
    if (b.size() < header + 6) {
      findings.add(Fault::kHeap, at() + ": too short");
      return std::nullopt;
    }
    const std::uint16_t map = Get16(b.data());
    if (map < header || map % 2 != 0 || map + 4u > b.size()) {
      findings.add(Fault::kHeap, at() + ": ibHnpm " + std::to_string(map));
      return std::nullopt;
    }
    const std::uint16_t count = Get16(b.data() + map);
    if (Get16(b.data() + map + 2) != 0 || map + 4u + 2u * (count + 1u) != b.size()) {
      findings.add(Fault::kHeap, at() + ": page map of " + std::to_string(count) + " items");
      return std::nullopt;
    }
    std::vector<std::uint16_t> starts;
    for (std::size_t k = 0; k <= count; ++k) starts.push_back(Get16(b.data() + map + 4 + 2 * k));
    if (starts.front() != header || starts.back() > map ||
        !std::is_sorted(starts.begin(), starts.end()) || map - starts.back() > 1) {
      findings.add(Fault::kHeap, at() + ": item offsets");
      return std::nullopt;
    }
    // Fill levels: of blocks 0-7 in the first block, of 128 blocks in each bitmap block.
    if (i == 0 || IsBitmapBlock(i)) {
      const std::size_t from = i, span = i == 0 ? 8 : 128, field = i == 0 ? 8 : 2;
      for (std::size_t k = 0; k < span; ++k) {
        const std::uint8_t want =
            from + k < blocks.size() ? FillLevel(kMaxBlockData - blocks[from + k].size()) : 0;
        if (FillLevelAt(b, field, k) != want) {
          findings.add(Fault::kHeap, at() + ": fill level of block " + std::to_string(from + k));
          break;
        }
      }
    }
    heap.starts_.push_back(std::move(starts));
  }
  heap.blocks_ = std::move(blocks);
  if (!heap.item(heap.root_)) {
    findings.add(Fault::kHeap, where + ": hidUserRoot " + Hex(heap.root_) + " names no item");
    return std::nullopt;
  }
  return heap;
}

std::optional<Bytes> HeapReader::item(std::uint32_t hid) const {
  if ((hid & 0x1F) != 0 || hid == 0) return std::nullopt;
  const std::size_t block = hid >> 16;
  const std::size_t index = (hid >> 5) & 0x7FF;
  if (block >= blocks_.size() || index == 0 || index >= starts_[block].size()) return std::nullopt;
  const auto& s = starts_[block];
  return Bytes(blocks_[block].begin() + s[index - 1], blocks_[block].begin() + s[index]);
}

std::optional<HeapReader> LtpReader::heap(std::uint64_t bidData, std::uint8_t client,
                                          const std::string& where) {
  auto blocks = ndb_.dataBlocks(bidData);
  if (!blocks) {
    findings_.add(Fault::kHeap, where + ": its data cannot be read");
    return std::nullopt;
  }
  auto heap = HeapReader::Read(std::move(*blocks), where, findings_);
  if (heap && heap->client() != client) {
    findings_.add(client == kClientTable ? Fault::kTableContext : Fault::kPropertyContext,
                  where + ": bClientSig " + Hex(heap->client()) + ", expected " + Hex(client));
    return std::nullopt;
  }
  return heap;
}

std::optional<std::vector<std::pair<Bytes, Bytes>>> LtpReader::bth(const HeapReader& heap,
                                                                   std::uint32_t hid,
                                                                   std::uint8_t keySize,
                                                                   std::uint8_t dataSize,
                                                                   const std::string& where) {
  const auto header = heap.item(hid);
  if (!header || header->size() != 8 || (*header)[0] != kClientBTree || (*header)[1] != keySize ||
      (*header)[2] != dataSize || (*header)[3] > kMaxBthLevels) {
    findings_.add(Fault::kBth, where + ": BTHHEADER");
    return std::nullopt;
  }
  std::vector<std::pair<Bytes, Bytes>> records;
  bool sound = true;
  std::function<void(std::uint32_t, int, const Bytes*)> walk = [&](std::uint32_t at, int level,
                                                                   const Bytes* firstKey) {
    const auto item = heap.item(at);
    const std::size_t size = level == 0 ? keySize + dataSize : keySize + 4u;
    if (!item || item->empty() || item->size() % size != 0) {
      findings_.add(Fault::kBth, where + ": records at " + Hex(at));
      sound = false;
      return;
    }
    for (std::size_t i = 0; i < item->size() && sound; i += size) {
      Bytes key(item->begin() + i, item->begin() + i + keySize);
      if (i == 0 && firstKey && key != *firstKey) {
        findings_.add(Fault::kBth, where + ": index key is not its child's first key");
      }
      if (level > 0) {
        walk(Get32(item->data() + i + keySize), level - 1, &key);
        continue;
      }
      const auto less = [](const Bytes& a, const Bytes& b) {
        return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
      };
      if (!records.empty() && !less(records.back().first, key)) {
        findings_.add(Fault::kBth, where + ": keys out of order");
        sound = false;
      }
      records.emplace_back(std::move(key),
                           Bytes(item->begin() + i + keySize, item->begin() + i + size));
    }
  };
  const std::uint32_t root = Get32(header->data() + 4);
  if (root != 0) walk(root, (*header)[3], nullptr);
  if (!sound) return std::nullopt;
  return records;
}

std::optional<Bytes> LtpReader::value(const HeapReader& heap, const Subnodes& subnodes,
                                      std::uint32_t hnid) const {
  if (hnid == 0) return Bytes{};
  if ((hnid & 0x1F) == 0) return heap.item(hnid);
  const auto it = subnodes.find(hnid);
  if (it == subnodes.end()) return std::nullopt;
  return ndb_.data(it->second.bidData);
}

std::optional<Properties> LtpReader::propertyContext(std::uint64_t bidData,
                                                     const Subnodes& subnodes,
                                                     const std::string& where) {
  const auto h = heap(bidData, kClientPropertyContext, where);
  if (!h) return std::nullopt;
  const auto records = bth(*h, h->root(), 2, 6, where);
  if (!records) return std::nullopt;
  Properties props;
  for (const auto& [key, entry] : *records) {
    const std::uint16_t id = Get16(key.data());
    const std::uint16_t type = Get16(entry.data());
    const std::uint32_t hnid = Get32(entry.data() + 2);
    const auto at = [&] { return where + ", property " + Hex((std::uint32_t{id} << 16) | type); };
    if (!KnownType(type)) {
      findings_.add(Fault::kPropertyContext, at() + ": unknown type");
      continue;
    }
    if (KeptInEntry(type)) {
      Bytes inPlace;
      Append32(inPlace, hnid);
      inPlace.resize(FixedCellSize(type));
      props[id] = {type, std::move(inPlace)};
      continue;
    }
    auto v = value(*h, subnodes, hnid);
    if (!v) {
      findings_.add(Fault::kPropertyContext, at() + ": value " + Hex(hnid) + " not found");
      continue;
    }
    const std::size_t fixed = FixedSize(type);
    if ((fixed != 0 && v->size() != fixed) || (type == 0x001F && v->size() % 2 != 0) ||
        (type == 0x000D && v->size() != 8) ||
        ((type == 0x101F || type == 0x1102) && !SoundMultiValue(*v))) {
      findings_.add(Fault::kPropertyContext,
                    at() + ": " + std::to_string(v->size()) + " bytes do not fit the type");
      continue;
    }
    props[id] = {type, std::move(*v)};
  }
  return props;
}

std::optional<Table> LtpReader::tableContext(std::uint64_t bidData, const Subnodes& subnodes,
                                             const std::string& where) {
  const auto h = heap(bidData, kClientTable, where);
  if (!h) return std::nullopt;
  const auto info = h->item(h->root());
  if (!info || info->size() < 22 || (*info)[0] != kClientTable ||
      info->size() != 22u + 8u * (*info)[1]) {
    findings_.add(Fault::kTableContext, where + ": TCINFO");
    return std::nullopt;
  }
  const std::uint8_t* t = info->data();
  const std::uint8_t cols = t[1];
  const std::uint16_t end4 = Get16(t + 2), end2 = Get16(t + 4), end1 = Get16(t + 6),
                      rowSize = Get16(t + 8);
  if (!(end4 <= end2 && end2 <= end1 && end1 <= rowSize) || rowSize != end1 + (cols + 7) / 8 ||
      rowSize == 0) {
    findings_.add(Fault::kTableContext, where + ": rgib");
    return std::nullopt;
  }
  Table table;
  struct Col {
    std::uint32_t tag;
    std::uint16_t ib;
    std::uint8_t cb, bit;
  };
  std::vector<Col> columns;
  std::set<std::uint8_t> bits;
  for (std::size_t i = 0; i < cols; ++i) {
    const std::uint8_t* c = t + 22 + 8 * i;
    const Col col{Get32(c), Get16(c + 4), c[6], c[7]};
    const std::uint16_t type = static_cast<std::uint16_t>(col.tag & 0xFFFF);
    const std::uint8_t want = FixedCellSize(type) == 0 ? 4 : FixedCellSize(type);
    const std::uint16_t from = want >= 4 ? 0 : want == 2 ? end4 : end2;
    const std::uint16_t to = want >= 4 ? end4 : want == 2 ? end2 : end1;
    if (col.cb != want || col.ib < from || col.ib + col.cb > to || col.bit >= cols ||
        !bits.insert(col.bit).second || (i > 0 && col.tag <= columns.back().tag)) {
      findings_.add(Fault::kTableContext, where + ": column " + Hex(col.tag));
      return std::nullopt;
    }
    columns.push_back(col);
    table.columns.push_back(col.tag);
  }
  const auto rowId = std::find_if(columns.begin(), columns.end(),
                                  [](const Col& c) { return c.tag == 0x67F20003; });
  if (rowId == columns.end() || rowId->ib != 0) {
    findings_.add(Fault::kTableContext, where + ": no PidTagLtpRowId at the start of rows");
    return std::nullopt;
  }
  const auto index = bth(*h, Get32(t + 10), 4, 4, where + " row index");
  if (!index) return std::nullopt;
  // The row matrix: a heap item, or a subnode whose blocks hold whole rows.
  std::vector<Bytes> pieces;
  const std::uint32_t hnidRows = Get32(t + 14);
  if (hnidRows == 0) {
  } else if ((hnidRows & 0x1F) == 0) {
    auto item = h->item(hnidRows);
    if (!item) {
      findings_.add(Fault::kTableContext, where + ": row matrix item missing");
      return std::nullopt;
    }
    pieces.push_back(std::move(*item));
  } else {
    const auto it = subnodes.find(hnidRows);
    auto blocks = it == subnodes.end() ? std::nullopt : ndb_.dataBlocks(it->second.bidData);
    if (!blocks) {
      findings_.add(Fault::kTableContext, where + ": row matrix subnode missing");
      return std::nullopt;
    }
    pieces = std::move(*blocks);
  }
  std::vector<Bytes> rows;
  // Every block but the last is full: as many whole rows as fit, then padding.
  const std::size_t rowsPerBlock = kMaxBlockData / rowSize;
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    Bytes& piece = pieces[p];
    const bool last = p + 1 == pieces.size();
    if (!last && pieces.size() > 1 && piece.size() == kMaxBlockData) {
      piece.resize(rowsPerBlock * rowSize);
    } else if (piece.size() % rowSize != 0 || (!last && pieces.size() > 1)) {
      findings_.add(Fault::kTableContext, where + ": a row matrix block holds part of a row");
      return std::nullopt;
    }
    for (std::size_t at = 0; at < piece.size(); at += rowSize) {
      rows.emplace_back(piece.begin() + at, piece.begin() + at + rowSize);
    }
  }
  if (rows.size() != index->size()) {
    findings_.add(Fault::kTableContext, where + ": " + std::to_string(rows.size()) + " rows, " +
                                            std::to_string(index->size()) + " in the row index");
    return std::nullopt;
  }
  std::vector<bool> seen(rows.size(), false);
  for (const auto& [key, entry] : *index) {
    const std::uint32_t n = Get32(entry.data());
    if (n >= rows.size() || seen[n] || Get32(rows[n].data()) != Get32(key.data())) {
      findings_.add(Fault::kTableContext, where + ": row index entry " + Hex(Get32(key.data())));
      return std::nullopt;
    }
    seen[n] = true;
  }
  for (const Bytes& row : rows) {
    std::map<std::uint32_t, Bytes> cells;
    for (const Col& c : columns) {
      if (!((row[end1 + c.bit / 8] >> (7 - c.bit % 8)) & 1)) continue;
      Bytes cell(row.begin() + c.ib, row.begin() + c.ib + c.cb);
      if (FixedCellSize(static_cast<std::uint16_t>(c.tag & 0xFFFF)) == 0) {
        auto v = value(*h, subnodes, Get32(cell.data()));
        if (!v) {
          findings_.add(Fault::kTableContext, where + ": cell " + Hex(c.tag) + " of row " +
                                                  Hex(Get32(row.data())) + " not found");
          continue;
        }
        cell = std::move(*v);
      }
      cells[c.tag] = std::move(cell);
    }
    table.rows.push_back(std::move(cells));
  }
  return table;
}

}  // namespace qc::mapi::pst::check
