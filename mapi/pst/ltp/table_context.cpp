#include "mapi/pst/ltp/table_context.h"

#include <algorithm>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ltp/bth.h"
#include "mapi/pst/ltp/property_value.h"

namespace qc::mapi::pst {

namespace {

constexpr std::uint32_t kTagRowId = 0x67F20003;       // PidTagLtpRowId
constexpr std::uint32_t kTagRowVersion = 0x67F30003;  // PidTagLtpRowVer

std::uint8_t CellSize(std::uint32_t tag) {
  const std::uint8_t size = RowCellSize(static_cast<std::uint16_t>(tag & 0xFFFF));
  return size == 0 ? 4 : size;  // an HNID
}

}  // namespace

const ColumnDesc* TableLayout::find(std::uint32_t tag) const {
  const auto it = std::lower_bound(columns.begin(), columns.end(), tag,
                                   [](const ColumnDesc& c, std::uint32_t t) { return c.tag < t; });
  return it != columns.end() && it->tag == tag ? &*it : nullptr;
}

// The row id and version first, as every reader expects; then the 8- and 4-byte cells, the
// 2-byte and the 1-byte cells, each group in tag order; the existence bitmap last.
TableLayout MakeTableLayout(std::vector<std::uint32_t> tags) {
  tags.erase(std::remove_if(tags.begin(), tags.end(),
                            [](std::uint32_t t) { return t == kTagRowId || t == kTagRowVersion; }),
             tags.end());
  std::sort(tags.begin(), tags.end());
  tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
  TableLayout layout;
  layout.columns.push_back({kTagRowId, 0, 4, 0});
  layout.columns.push_back({kTagRowVersion, 4, 4, 1});
  std::uint16_t offset = 8;
  std::uint8_t bit = 2;
  for (const int group : {8, 4, 2, 1}) {
    for (const std::uint32_t tag : tags) {
      const std::uint8_t size = CellSize(tag);
      if (size != group) continue;
      layout.columns.push_back({tag, offset, size, bit++});
      offset = static_cast<std::uint16_t>(offset + size);
    }
    if (group == 4) layout.end4 = offset;
    if (group == 2) layout.end2 = offset;
    if (group == 1) layout.end1 = offset;
  }
  layout.rowSize = static_cast<std::uint16_t>(offset + (layout.columns.size() + 7) / 8);
  std::sort(layout.columns.begin(), layout.columns.end(),
            [](const ColumnDesc& a, const ColumnDesc& b) { return a.tag < b.tag; });
  return layout;
}

TableWriter::TableWriter(NodeDatabase& db, const TableLayout& layout)
    : db_(db), layout_(layout), heap_(db, kClientTable) {
  indexHeader_ = heap_.reserve(8);
  info_ = heap_.reserve(22 + 8 * layout_.columns.size());
}

void TableWriter::setCell(const ColumnDesc& c, const std::uint8_t* data, std::size_t size) {
  if (RowCellSize(static_cast<std::uint16_t>(c.tag & 0xFFFF)) != 0) {
    std::copy_n(data, std::min<std::size_t>(size, c.size), row_.begin() + c.offset);
  } else if (size <= kMaxHeapItem) {
    Put32(row_.data() + c.offset, heap_.allocate(data, size));
  } else {
    const std::uint32_t nid = db_.newNid(nid_type::kLtp);
    subnodes_.add(nid, WriteData(db_, data, size), 0);
    Put32(row_.data() + c.offset, nid);
  }
  row_[layout_.end1 + c.bit / 8] |= static_cast<std::uint8_t>(0x80u >> (c.bit % 8));
}

void TableWriter::addRow(std::uint32_t rowId, std::span<const Cell> cells,
                         std::span<const Cell> overrides) {
  row_.assign(layout_.rowSize, 0);
  std::uint8_t id[4];
  Put32(id, rowId);
  auto cell = cells.begin();
  auto over = overrides.begin();
  for (const ColumnDesc& c : layout_.columns) {
    while (cell != cells.end() && cell->tag < c.tag) ++cell;
    while (over != overrides.end() && over->tag < c.tag) ++over;
    if (c.tag == kTagRowId) {
      setCell(c, id, sizeof id);
    } else if (over != overrides.end() && over->tag == c.tag) {
      setCell(c, over->data, over->size);
    } else if (cell != cells.end() && cell->tag == c.tag) {
      setCell(c, cell->data, cell->size);
    }
  }
  rowIds_.push_back({rowId, static_cast<std::uint32_t>(rowIds_.size())});
  if (!rows_ && smallRows_.size() + row_.size() <= kMaxHeapItem) {
    smallRows_.insert(smallRows_.end(), row_.begin(), row_.end());
    return;
  }
  if (!rows_) moveRowsToSubnode();
  nextRowBlockIfFull();
  rows_->append(row_.data(), row_.size());
  ++rowsInBlock_;
}

namespace {
std::vector<Cell> CellsOf(const RowValues& values) {
  std::vector<Cell> cells;
  cells.reserve(values.size());
  for (const auto& [tag, bytes] : values) cells.push_back({tag, bytes.data(), bytes.size()});
  return cells;
}
}  // namespace

void TableWriter::addRow(std::uint32_t rowId, const RowValues& values, const RowValues& overrides) {
  addRow(rowId, CellsOf(values), CellsOf(overrides));
}

// Rows never span two blocks; a full block is padded to 8,176 bytes, as readers count rows
// by whole blocks.
void TableWriter::nextRowBlockIfFull() {
  const std::size_t used = rowsInBlock_ * layout_.rowSize;
  if (used + layout_.rowSize <= kMaxBlockData) return;
  const Bytes padding(kMaxBlockData - used, 0);
  rows_->append(padding.data(), padding.size());  // completes the block
  rowsInBlock_ = 0;
}

void TableWriter::moveRowsToSubnode() {
  rows_ = std::make_unique<DataTreeWriter>(db_);
  for (std::size_t at = 0; at < smallRows_.size(); at += layout_.rowSize) {
    nextRowBlockIfFull();
    rows_->append(smallRows_.data() + at, layout_.rowSize);
    ++rowsInBlock_;
  }
  smallRows_.clear();
  smallRows_.shrink_to_fit();
}

std::pair<std::uint64_t, std::uint64_t> TableWriter::finish() {
  std::sort(rowIds_.begin(), rowIds_.end());
  Bytes records(8 * rowIds_.size());
  for (std::size_t i = 0; i < rowIds_.size(); ++i) {
    Put32(records.data() + 8 * i, rowIds_[i].first);
    Put32(records.data() + 8 * i + 4, rowIds_[i].second);
  }
  const std::uint32_t rowIndex =
      WriteBth(heap_, 4, 4, records.data(), rowIds_.size(), indexHeader_);
  std::uint32_t hnidRows = 0;
  if (rows_) {
    hnidRows = db_.newNid(nid_type::kLtp);
    subnodes_.add(hnidRows, rows_->finish(), 0);
  } else if (!smallRows_.empty()) {
    hnidRows = heap_.allocate(smallRows_);
  }
  // TCINFO
  Bytes info;
  info.reserve(22 + 8 * layout_.columns.size());
  info.push_back(kClientTable);
  info.push_back(static_cast<std::uint8_t>(layout_.columns.size()));
  Append16(info, layout_.end4);
  Append16(info, layout_.end2);
  Append16(info, layout_.end1);
  Append16(info, layout_.rowSize);
  Append32(info, rowIndex);
  Append32(info, hnidRows);
  Append32(info, 0);  // hidIndex, deprecated
  for (const ColumnDesc& c : layout_.columns) {
    Append32(info, c.tag);
    Append16(info, c.offset);
    info.push_back(c.size);
    info.push_back(c.bit);
  }
  heap_.fill(info_, info);
  heap_.setRoot(info_);
  const std::uint64_t data = heap_.finish();
  return {data, subnodes_.write(db_)};
}

}  // namespace qc::mapi::pst
