// Heaps, BTHs, property contexts and table contexts, written and read back through the
// checker's reader (which also checks page maps, fill levels, record order and row layout).
#include <gtest/gtest.h>

#include "mapi/check/pst/ltp_reader.h"
#include "mapi/check/pst/ndb_reader.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ltp/heap.h"
#include "mapi/pst/ltp/property_context.h"
#include "mapi/pst/ltp/property_value.h"
#include "mapi/pst/ltp/table_context.h"
#include "mapi/pst/ndb/node_database.h"
#include "mapi/pst/tests/pst_test_support.h"
#include "mapi/text.h"

namespace qc::mapi::pst {
namespace {

constexpr std::uint32_t kNode = 0x541;

Bytes Item(std::size_t size, std::size_t seed) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(seed * 7 + i);
  return b;
}

// A store holding one node, read back.
struct OneNode {
  explicit OneNode(
      const std::function<std::pair<std::uint64_t, std::uint64_t>(NodeDatabase&)>& write) {
    NodeDatabase db(sink);
    const auto [data, sub] = write(db);
    db.addNode(kNode, data, sub, 0);
    db.close();
    reader =
        std::make_unique<check::NodeDatabaseReader>(sink.bytes.data(), sink.bytes.size(), findings);
    EXPECT_TRUE(reader->check());
    EXPECT_TRUE(findings.empty()) << testing::Describe(findings);
  }
  const check::NodeInfo& node() const { return reader->nodes().at(kNode); }
  check::Subnodes subnodes() const { return reader->subnodes(node().bidSub).value(); }

  MemorySink sink;
  check::Findings findings;
  std::unique_ptr<check::NodeDatabaseReader> reader;
};

TEST(PstHeap, ItemsFillManyBlocksWithBitmapHeadersAndFillLevels) {
  std::vector<std::uint32_t> hids;
  const std::size_t count = 2000;  // past block 136: two bitmap blocks, one complete
  OneNode store([&](NodeDatabase& db) {
    HeapWriter heap(db, kClientPropertyContext);
    for (std::size_t i = 0; i < count; ++i) hids.push_back(heap.allocate(Item(100 + i % 3000, i)));
    heap.setRoot(hids.front());
    return std::make_pair(heap.finish(), std::uint64_t{0});
  });
  const auto blocks = store.reader->dataBlocks(store.node().bidData);
  ASSERT_TRUE(blocks.has_value());
  EXPECT_GT(blocks->size(), 136u);
  check::Findings findings;
  const auto heap = check::HeapReader::Read(*blocks, "heap", findings);
  ASSERT_TRUE(heap.has_value()) << testing::Describe(findings);
  EXPECT_TRUE(findings.empty()) << testing::Describe(findings);
  for (std::size_t i = 0; i < count; ++i) {
    ASSERT_EQ(heap->item(hids[i]), Item(100 + i % 3000, i)) << i;
  }
  EXPECT_EQ(HeapFillLevel(4000), 0);
  EXPECT_EQ(HeapFillLevel(3000), 1);
  EXPECT_EQ(HeapFillLevel(7), 15);
}

TEST(PstHeap, EmptyItemsAreHidZeroAndOversizedOnesAreRefused) {
  MemorySink sink;
  NodeDatabase db(sink);
  HeapWriter heap(db, kClientPropertyContext);
  EXPECT_EQ(heap.allocate(Bytes{}), 0u);
  EXPECT_EQ(heap.allocate(Item(3580, 1)), MakeHid(0, 1));
  EXPECT_THROW(heap.allocate(Item(3581, 1)), std::logic_error);
}

TEST(PstPropertyContext, EveryTypeAndLargeValuesInSubnodes) {
  auto big = std::make_shared<MemorySource>(Item(300000, 5));
  OneNode store([&](NodeDatabase& db) {
    SubnodeTree subnodes;
    PropertyContextWriter pc(db, subnodes);
    const auto put = [&](std::uint16_t id, PropType type, const PropValue& v) {
      auto bytes = EncodeValue(static_cast<std::uint16_t>(type), v);
      ASSERT_TRUE(bytes.has_value()) << id;
      pc.set(id, static_cast<std::uint16_t>(type), *bytes);
    };
    put(0x0001, PropType::Int16, std::int16_t{-2});
    put(0x0002, PropType::Int32, std::int32_t{123456});
    put(0x0003, PropType::Boolean, true);
    put(0x0004, PropType::Int64, std::int64_t{-5});
    put(0x0005, PropType::Time, FileTime{0x01D0000000000001});
    put(0x0006, PropType::Unicode, std::string("Grüße ✓"));
    put(0x0007, PropType::Guid, Guid::Parse("00062008-0000-0000-C000-000000000046"));
    put(0x0008, PropType::Binary, Item(10, 1));
    put(0x0009, PropType::Binary, Item(20000, 2));  // past the heap's limit: a subnode
    put(0x000A, PropType::MvInt32, std::vector<std::int32_t>{1, -1, 7});
    put(0x000B, PropType::MvUnicode, std::vector<std::string>{"a", "", "Köln"});
    put(0x000C, PropType::MvBinary, std::vector<Bytes>{Item(3, 3), Item(0, 0)});
    put(0x000D, PropType::Unicode, std::string());
    pc.setStream(0x3701, static_cast<std::uint16_t>(PropType::Binary), *big);
    for (std::uint16_t id = 0x6000; id < 0x6000 + 900; ++id) pc.setInt32(id, id);  // BTH index
    return std::make_pair(pc.write(), subnodes.write(db));
  });
  check::Findings findings;
  check::LtpReader ltp(*store.reader, findings);
  const auto props = ltp.propertyContext(store.node().bidData, store.subnodes(), "pc");
  ASSERT_TRUE(props.has_value()) << testing::Describe(findings);
  EXPECT_TRUE(findings.empty()) << testing::Describe(findings);
  EXPECT_EQ(props->size(), 14u + 900u);
  EXPECT_EQ(props->at(0x0001).bytes, (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(Get32(props->at(0x0002).bytes.data()), 123456u);
  EXPECT_EQ(props->at(0x0003).bytes, Bytes{1});
  EXPECT_EQ(Get64(props->at(0x0005).bytes.data()), 0x01D0000000000001u);
  EXPECT_EQ(props->at(0x0006).bytes, Utf16LeBytes("Grüße ✓"));
  EXPECT_EQ(props->at(0x0007).bytes.size(), 16u);
  EXPECT_EQ(props->at(0x0009).bytes, Item(20000, 2));
  EXPECT_EQ(props->at(0x000A).bytes.size(), 12u);
  EXPECT_EQ(Get32(props->at(0x000B).bytes.data()), 3u);  // three strings
  EXPECT_TRUE(props->at(0x000D).bytes.empty());
  EXPECT_EQ(props->at(0x3701).bytes, Item(300000, 5));
  EXPECT_EQ(Get32(props->at(0x6123).bytes.data()), 0x6123u);
}

TEST(PstPropertyContext, ValuesOfTheWrongTypeAreNotEncoded) {
  EXPECT_FALSE(EncodeValue(0x0003, PropValue{std::string("x")}).has_value());
  EXPECT_FALSE(EncodeValue(0x001F, PropValue{std::int32_t{1}}).has_value());
  EXPECT_FALSE(EncodeValue(0x1003, PropValue{std::string("x")}).has_value());
  EXPECT_TRUE(EncodeValue(0x1003, PropValue{std::vector<std::int32_t>{}}).has_value());
}

TEST(PstTableContext, LayoutPutsRowIdFirstThenCellsBySize) {
  const TableLayout layout =
      MakeTableLayout({0x3001001F, 0x0E070003, 0x00390040, 0x0057000B, 0x00010002, 0x67F20003});
  ASSERT_EQ(layout.columns.size(), 7u);  // PidTagLtpRowVer added
  EXPECT_EQ(layout.find(0x67F20003)->offset, 0);
  EXPECT_EQ(layout.find(0x67F30003)->offset, 4);
  EXPECT_EQ(layout.find(0x00390040)->offset, 8);   // 8-byte cells first
  EXPECT_EQ(layout.find(0x0E070003)->offset, 16);  // then 4-byte, by tag
  EXPECT_EQ(layout.find(0x3001001F)->offset, 20);  // a string is a 4-byte HNID
  EXPECT_EQ(layout.end4, 24);
  EXPECT_EQ(layout.find(0x00010002)->offset, 24);
  EXPECT_EQ(layout.end2, 26);
  EXPECT_EQ(layout.find(0x0057000B)->offset, 26);
  EXPECT_EQ(layout.end1, 27);
  EXPECT_EQ(layout.rowSize, 28);  // one byte of cell-existence bits
  EXPECT_TRUE(std::is_sorted(layout.columns.begin(), layout.columns.end(),
                             [](const auto& a, const auto& b) { return a.tag < b.tag; }));
}

// Tables of no rows, a few rows in the heap, and thousands of rows in padded subnode blocks,
// with cells too large for the heap.
TEST(PstTableContext, RowsReadBackInEveryPlacement) {
  for (const std::size_t rows : {std::size_t{0}, std::size_t{5}, std::size_t{3000}}) {
    SCOPED_TRACE(rows);
    OneNode store([&](NodeDatabase& db) {
      TableWriter table(db, MakeTableLayout({0x3001001F, 0x0E070003, 0x00390040, 0x0057000B}));
      for (std::size_t i = 0; i < rows; ++i) {
        RowValues row;
        row[0x3001001F] =
            Utf16LeBytes(i == 3 ? std::string(4000, 'x') : "row " + std::to_string(i));
        row[0x0E070003] = Item(4, i);
        if (i % 2) row[0x0057000B] = Bytes{1};
        row[0x12340003] = Item(4, 0);  // not a column: left out
        table.addRow(static_cast<std::uint32_t>(0x200024 + 32 * (rows - i)), row);
      }
      return table.finish();
    });
    check::Findings findings;
    check::LtpReader ltp(*store.reader, findings);
    const auto table = ltp.tableContext(store.node().bidData, store.subnodes(), "tc");
    ASSERT_TRUE(table.has_value()) << testing::Describe(findings);
    EXPECT_TRUE(findings.empty()) << testing::Describe(findings);
    ASSERT_EQ(table->rows.size(), rows);
    for (std::size_t i = 0; i < rows; ++i) {
      const auto& row = table->rows[i];
      EXPECT_EQ(Get32(row.at(0x67F20003).data()), 0x200024 + 32 * (rows - i));
      EXPECT_EQ(row.at(0x3001001F),
                Utf16LeBytes(i == 3 ? std::string(4000, 'x') : "row " + std::to_string(i)));
      EXPECT_EQ(row.at(0x0E070003), Item(4, i));
      EXPECT_EQ(row.contains(0x0057000B), i % 2 == 1);
      EXPECT_FALSE(row.contains(0x00390040));
      EXPECT_FALSE(row.contains(0x12340003));
    }
  }
}

}  // namespace
}  // namespace qc::mapi::pst
