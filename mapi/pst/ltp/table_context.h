// A table context (TC): TCINFO with its column descriptions, a BTH from row identifier to row
// number, and the row matrix (fixed-size cells, cell-existence bitmap), in the heap while it is
// small and in a subnode of whole-row blocks after that. Rows are written as they are added,
// so a folder's contents table never sits in memory whole.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "mapi/pst/ltp/heap.h"
#include "mapi/pst/ltp/property_value.h"
#include "mapi/pst/ndb/data_tree.h"
#include "mapi/pst/ndb/subnode_tree.h"

namespace qc::mapi::pst {

// TCOLDESC
struct ColumnDesc {
  std::uint32_t tag = 0;
  std::uint16_t offset = 0;  // ibData
  std::uint8_t size = 0;     // cbData
  std::uint8_t bit = 0;      // iBit
};

// Where each column of a table stands in its rows.
struct TableLayout {
  std::vector<ColumnDesc> columns;                          // sorted by tag, as TCINFO lists them
  std::uint16_t end4 = 0, end2 = 0, end1 = 0, rowSize = 0;  // rgib
  const ColumnDesc* find(std::uint32_t tag) const;
};
TableLayout MakeTableLayout(std::vector<std::uint32_t> tags);

// The cells of one row by tag: the value as EncodeValue() gives it.
using RowValues = std::map<std::uint32_t, Bytes>;

class TableWriter {
 public:
  TableWriter(NodeDatabase& db, const TableLayout& layout);

  // Cells whose tag is not a column are left out; PidTagLtpRowId is set from `rowId`; a cell
  // in `overrides` wins over one in `cells`. Both sorted by tag, a tag at most once in each.
  void addRow(std::uint32_t rowId, std::span<const Cell> cells,
              std::span<const Cell> overrides = {});
  void addRow(std::uint32_t rowId, const RowValues& values, const RowValues& overrides = {});
  std::size_t rowCount() const { return rowIds_.size(); }

  // Writes everything; returns the node's data and subnode identifiers.
  std::pair<std::uint64_t, std::uint64_t> finish();

 private:
  void moveRowsToSubnode();
  void nextRowBlockIfFull();
  void setCell(const ColumnDesc& column, const std::uint8_t* data, std::size_t size);

  NodeDatabase& db_;
  TableLayout layout_;
  HeapWriter heap_;
  std::uint32_t indexHeader_ = 0;  // the row index's BTHHEADER, then TCINFO: first in the heap
  std::uint32_t info_ = 0;
  SubnodeTree subnodes_;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> rowIds_;  // id, row number
  Bytes smallRows_;  // the rows while they still fit in one heap item
  std::unique_ptr<DataTreeWriter> rows_;
  std::size_t rowsInBlock_ = 0;
  Bytes row_;
};

}  // namespace qc::mapi::pst
