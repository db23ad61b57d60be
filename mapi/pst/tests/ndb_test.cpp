// The node database: CRC and permutation, header, pages and blocks byte by byte, the
// allocation maps, data and subnode trees of every shape, and B-trees of several levels, each
// read back by the checker's reader.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "mapi/check/pst/ndb_reader.h"
#include "mapi/crc32.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ndb/allocation_map.h"
#include "mapi/pst/ndb/block.h"
#include "mapi/pst/ndb/data_tree.h"
#include "mapi/pst/ndb/header.h"
#include "mapi/pst/ndb/node_database.h"
#include "mapi/pst/ndb/page.h"
#include "mapi/pst/ndb/permute.h"
#include "mapi/pst/ndb/subnode_tree.h"
#include "mapi/pst/tests/pst_test_support.h"
#include "util/error.h"

namespace qc::mapi::pst {
namespace {

Bytes Pattern(std::size_t size, std::uint8_t seed = 0) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i)
    b[i] = static_cast<std::uint8_t>((i * 31 + seed) ^ (i >> 8));
  return b;
}

// The node database of a sink, read and checked; the test fails on any finding.
struct ReadBack {
  explicit ReadBack(const Bytes& bytes) : reader(bytes.data(), bytes.size(), findings) {
    EXPECT_TRUE(reader.check());
    EXPECT_TRUE(findings.empty()) << testing::Describe(findings);
  }
  check::Findings findings;
  check::NodeDatabaseReader reader;
};

TEST(PstPrimitives, CrcIsTheReflectedPolynomialFromZeroWithoutInversion) {
  const std::string text = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0x2DFD2D88u);
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
  // Fed in pieces, the same value.
  const Bytes data = Pattern(1000);
  EXPECT_EQ(Crc32(data.data() + 3, 997, Crc32(data.data(), 3)), Crc32(data.data(), 1000));
}

// The carry-less multiplication path folds 64 and 16 bytes at a time and hands the tail to the
// tables: every length around those steps, at every alignment, with any starting value, must
// give what the plain tables give.
TEST(PstPrimitives, EveryCrcImplementationAgreesWithTheTables) {
  const auto all = Crc32Implementations();
  ASSERT_FALSE(all.empty());
  const Crc32Function tables = all.back().second;
  const Bytes data = Pattern(8192 + 80, 7);
  for (const auto& [name, crc] : all) {
    for (std::size_t offset = 0; offset < 16; ++offset)
      for (std::size_t size : {0,   1,   15,  16,  17,  63,  64,  65,   79,   80,
                               127, 128, 129, 191, 200, 511, 512, 4093, 8176, 8192}) {
        EXPECT_EQ(crc(data.data() + offset, size, 0), tables(data.data() + offset, size, 0))
            << name << ", " << size << " bytes at " << offset;
        EXPECT_EQ(crc(data.data() + offset, size, 0xA5C3F00Fu),
                  tables(data.data() + offset, size, 0xA5C3F00Fu))
            << name << ", " << size << " bytes at " << offset << " after a value";
      }
  }
}

TEST(PstPrimitives, PermutationIsABijectionThatDecodingUndoes) {
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  Bytes encoded = all;
  PermuteEncode(encoded.data(), encoded.size());
  EXPECT_EQ(encoded[0], 0x41);  // mpbbR starts 0x41, 0x36, 0x13
  EXPECT_EQ(encoded[1], 0x36);
  Bytes sorted = encoded;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, all);
  PermuteDecode(encoded.data(), encoded.size());
  EXPECT_EQ(encoded, all);
  // Runs of every length and start, whichever way the processor encodes them, byte for byte.
  Bytes source(400);
  std::mt19937 generator(5);
  for (auto& b : source) b = static_cast<std::uint8_t>(generator());
  for (std::size_t offset = 0; offset < 3; ++offset) {
    for (std::size_t size = 0; size + offset <= source.size(); size += 13) {
      Bytes inPlace(source.begin() + offset, source.begin() + offset + size), copy(size);
      PermuteEncode(source.data() + offset, copy.data(), size);
      PermuteEncode(inPlace.data(), size);
      for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t one = source[offset + i];
        PermuteEncode(&one, 1);
        ASSERT_EQ(copy[i], one) << size << " bytes from " << offset << ", byte " << i;
        ASSERT_EQ(inPlace[i], one) << size << " bytes from " << offset << ", byte " << i;
      }
    }
  }
}

TEST(PstPrimitives, HeaderFieldsAndBothCrcs) {
  Header h;
  h.nextPageBid = 0x17F;
  h.nextBlockBid = 0x130;
  h.unique = 7;
  h.nextNid.fill(0x400);
  h.root.fileEof = 0x42400;
  h.root.lastAMap = 0x4400;
  h.root.nbt = {0x17D, 0x9200};
  h.root.bbt = {0x17B, 0x8400};
  h.root.amapValid = kAMapValid;
  h.cryptMethod = kCryptPermute;
  const Bytes b = SerializeHeader(h);
  ASSERT_EQ(b.size(), 564u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "!BDN");
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 10), "SM");
  EXPECT_EQ(Get16(&b[10]), 23);  // Unicode
  EXPECT_EQ(Get16(&b[12]), 19);
  EXPECT_EQ(Get64(&b[32]), 0x17Fu);
  EXPECT_EQ(Get64(&b[184]), 0x42400u);  // ibFileEof
  EXPECT_EQ(Get64(&b[216]), 0x17Du);    // BREFNBT
  EXPECT_EQ(Get64(&b[224]), 0x9200u);
  EXPECT_EQ(Get64(&b[240]), 0x8400u);  // BREFBBT ib
  EXPECT_EQ(b[248], 2);                // fAMapValid
  EXPECT_EQ(b[256], 0xFF);             // rgbFM
  EXPECT_EQ(b[512], 0x80);             // bSentinel
  EXPECT_EQ(b[513], 1);                // NDB_CRYPT_PERMUTE
  EXPECT_EQ(Get64(&b[516]), 0x130u);   // bidNextB
  EXPECT_EQ(Get32(&b[4]), Crc32(&b[8], 471));
  EXPECT_EQ(Get32(&b[524]), Crc32(&b[8], 516));
}

TEST(PstPrimitives, BlockTrailerAndPadding) {
  EXPECT_EQ(BlockFileSize(0), 64u);
  EXPECT_EQ(BlockFileSize(48), 64u);
  EXPECT_EQ(BlockFileSize(49), 128u);
  EXPECT_EQ(BlockFileSize(8176), 8192u);
  Bytes block = {1, 2, 3};
  SealBlock(block, 3, 0x4600, 0x8);
  ASSERT_EQ(block.size(), 64u);
  const std::uint8_t* t = block.data() + 48;
  EXPECT_EQ(Get16(t), 3);                            // cb
  EXPECT_EQ(Get16(t + 2), (0x4600 ^ 0x8) & 0xFFFF);  // wSig
  EXPECT_EQ(Get32(t + 4), Crc32(block.data(), 3));   // dwCRC of the data only
  EXPECT_EQ(Get64(t + 8), 0x8u);                     // bid
  EXPECT_EQ(BlockSignature(0x12345678, 0x1), 0x1234 ^ 0x5679);
}

TEST(PstPrimitives, MapPagesStandWhereMsPstPutsThem) {
  EXPECT_TRUE(MapPagesOf(0).pmap);
  EXPECT_FALSE(MapPagesOf(1).pmap);
  EXPECT_TRUE(MapPagesOf(8).pmap);
  EXPECT_FALSE(MapPagesOf(120).fmap);
  EXPECT_TRUE(MapPagesOf(128).fmap);
  EXPECT_TRUE(MapPagesOf(128 + 496).fmap);
  EXPECT_FALSE(MapPagesOf(129).fmap);
  EXPECT_TRUE(MapPagesOf(8192).fpmap);
  EXPECT_FALSE(MapPagesOf(8192).fmap);
  EXPECT_EQ(AMapOffset(0), 0x4400u);
  EXPECT_EQ(AMapOffset(1), 0x4400u + 253952u);
  // Past 4 GiB the offsets stay exact.
  EXPECT_EQ(AMapOffset(20000), 0x4400ull + 20000ull * 253952ull);
}

TEST(PstPrimitives, AllocationSkipsMapPagesAndRangeEnds) {
  MemorySink sink;
  SpaceAllocator space(sink);
  EXPECT_EQ(space.allocate(64, 64), 0x4800u);  // after the AMap and PMap pages
  EXPECT_EQ(space.allocate(512, 512), 0x4A00u);
  // A block that would cross into the next range starts after the next AMap page.
  std::uint64_t at = 0;
  while ((at = space.allocate(8192, 64)) < AMapOffset(1)) {
  }
  EXPECT_EQ(at, AMapOffset(1) + kPageSize);
  space.finish();
  EXPECT_EQ(space.fileEof(), AMapOffset(2));
  EXPECT_EQ(sink.bytes.size(), AMapOffset(2));
  // The first AMap marks itself, the PMap and everything handed out before the gap.
  const Bytes& b = sink.bytes;
  EXPECT_EQ(b[0x4400], 0xFF);
  EXPECT_EQ(b[0x4401], 0xFF);
  EXPECT_EQ(b[0x4400 + 496], kPageTypeAMap);
  EXPECT_EQ(Get64(&b[0x4400 + 504]), 0x4400u);  // its bid is its offset
  EXPECT_EQ(b[0x4600 + 496], kPageTypePMap);
  EXPECT_EQ(b[AMapOffset(1) + 496], kPageTypeAMap);
}

TEST(PstNodeDatabase, DataTreesOfEveryShapeReadBack) {
  MemorySink sink;
  NodeDatabase db(sink);
  const std::vector<std::size_t> sizes = {1, 8176, 8177, 1021 * 8176, 1021 * 8176 + 1};
  std::vector<std::uint64_t> bids;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const Bytes data = Pattern(sizes[i], static_cast<std::uint8_t>(i));
    bids.push_back(WriteData(db, data.data(), data.size()));
    db.addNode(MakeNid(nid_type::kInternal, 0x500 + static_cast<std::uint32_t>(i)), bids.back(), 0,
               0);
  }
  EXPECT_EQ(WriteData(db, nullptr, 0), 0u);  // no data, no block
  db.close();
  ReadBack back(sink.bytes);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    SCOPED_TRACE(sizes[i]);
    const auto data = back.reader.data(bids[i]);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(*data, Pattern(sizes[i], static_cast<std::uint8_t>(i)));
  }
  EXPECT_EQ(bids[0] & kBidInternal, 0u);  // one data block
  EXPECT_NE(bids[2] & kBidInternal, 0u);  // an XBLOCK
  EXPECT_NE(bids[4] & kBidInternal, 0u);  // an XXBLOCK
}

TEST(PstNodeDatabase, ValuesPast4GiBAreRefusedBeforeAnythingIsWritten) {
  MemorySink sink;
  NodeDatabase db(sink);
  DataTreeWriter tree(db);
  const std::uint8_t byte = 0;
  EXPECT_THROW(tree.append(&byte, std::size_t{5} << 30), Error);
  EXPECT_EQ(db.blockCount(), 0u);
}

TEST(PstNodeDatabase, SubnodeTreesAndDeepBTreesReadBack) {
  MemorySink sink;
  NodeDatabase db(sink);
  SubnodeTree subnodes;
  for (std::uint32_t i = 0; i < 1000; ++i) {  // past one SLBLOCK: an SIBLOCK above three
    const Bytes v = Pattern(10 + i % 50, static_cast<std::uint8_t>(i));
    subnodes.add(MakeNid(nid_type::kLtp, 0x400 + i), WriteData(db, v.data(), v.size()), 0);
  }
  const std::uint64_t sub = subnodes.write(db);
  db.addNode(nid::kMessageStore, 0, sub, 0);
  for (std::uint32_t i = 0; i < 5000; ++i) {  // an NBT of three levels
    db.addNode(MakeNid(nid_type::kNormalMessage, 0x10001 + i), 0, 0, 0x8022);
  }
  db.close();
  ReadBack back(sink.bytes);
  EXPECT_EQ(back.reader.nodes().size(), 5001u);
  const auto read = back.reader.subnodes(sub);
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->size(), 1000u);
  const auto& [nid, entry] = *std::next(read->begin(), 777);
  EXPECT_EQ(nid, MakeNid(nid_type::kLtp, 0x400 + 777));
  EXPECT_EQ(back.reader.data(entry.bidData),
            Pattern(10 + 777 % 50, static_cast<std::uint8_t>(777)));
  // The header's identifiers run past everything given out.
  const Bytes& b = sink.bytes;
  EXPECT_EQ(Get32(&b[header_offset::kNids + 4 * nid_type::kNormalMessage]), 0x10000u + 5000u);
}

TEST(PstNodeDatabase, SharedBlocksCountEveryReference) {
  MemorySink sink;
  NodeDatabase db(sink);
  const Bytes v = Pattern(100);
  const std::uint64_t bid = WriteData(db, v.data(), v.size());
  db.addNode(0x501, bid, 0, 0);
  db.addReference(bid);
  db.addNode(0x521, bid, 0, 0);
  db.close();
  ReadBack back(sink.bytes);  // cRef 3: two nodes and the BBT
}

}  // namespace
}  // namespace qc::mapi::pst
