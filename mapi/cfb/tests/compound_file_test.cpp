#include "mapi/cfb/compound_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "mapi/cfb/tests/cfb_test_support.h"
#include "mapi/check/cfb/cfb_reader.h"

namespace qc::mapi::cfb {
namespace {

using test::PatternByte;
using test::PatternSource;

const Guid kMsgClsid = Guid::Parse("00020D0B-0000-0000-C000-000000000046");

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
void PutName(Bytes& b, std::size_t at, std::u16string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) Put16(b, at + 2 * i, name[i]);
  Put16(b, at + 64, static_cast<std::uint16_t>(2 * name.size() + 2));
}

Bytes Write(const CompoundFile& file) {
  MemorySink sink;
  file.write(sink);
  return sink.bytes;
}

// The smallest useful file: a root with the .msg CLSID and one 3-byte stream "A". Sectors:
// 0 FAT, 1 directory, 2 mini FAT, 3 mini stream.
TEST(CompoundFileWriter, TinyFileMatchesHandBuiltBytes) {
  CompoundFile file;
  file.root().setClsid(kMsgClsid);
  file.root().addStream("A", Bytes{'a', 'b', 'c'});

  Bytes want(512 + 4 * 512, 0);
  // Header.
  const std::uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(want.data(), signature, 8);  // 0: signature; 8..23: CLSID, zero
  Put16(want, 24, 0x003E);                 // minor version
  Put16(want, 26, 0x0003);                 // major version 3
  Put16(want, 28, 0xFFFE);                 // byte order: little-endian
  Put16(want, 30, 9);                      // sector shift: 512-byte sectors
  Put16(want, 32, 6);                      // mini sector shift: 64-byte mini sectors
  /* 34..39 reserved, 40: directory sector count, 0 in version 3 */
  Put32(want, 44, 1);  // FAT sectors
  Put32(want, 48, 1);  // first directory sector
  /* 52: transaction signature 0 */
  Put32(want, 56, 4096);        // mini stream cutoff
  Put32(want, 60, 2);           // first mini FAT sector
  Put32(want, 64, 1);           // mini FAT sectors
  Put32(want, 68, 0xFFFFFFFE);  // first DIFAT sector: none (ENDOFCHAIN)
  Put32(want, 72, 0);           // DIFAT sectors
  Put32(want, 76, 0);           // DIFAT[0]: the FAT is sector 0
  for (std::size_t i = 1; i < 109; ++i) Put32(want, 76 + 4 * i, 0xFFFFFFFF);  // FREESECT
  // Sector 0, FAT: itself FATSECT, then three one-sector chains; the rest FREESECT.
  const std::size_t fat = 512;
  Put32(want, fat + 0, 0xFFFFFFFD);
  Put32(want, fat + 4, 0xFFFFFFFE);
  Put32(want, fat + 8, 0xFFFFFFFE);
  Put32(want, fat + 12, 0xFFFFFFFE);
  for (std::size_t i = 4; i < 128; ++i) Put32(want, fat + 4 * i, 0xFFFFFFFF);
  // Sector 1, directory. Entry 0: the root.
  const std::size_t root = 1024;
  PutName(want, root, u"Root Entry");  // name and its length in bytes with the NUL (22)
  want[root + 66] = 5;                 // type: root storage
  want[root + 67] = 1;                 // colour: black
  Put32(want, root + 68, 0xFFFFFFFF);  // left sibling: none
  Put32(want, root + 72, 0xFFFFFFFF);  // right sibling: none
  Put32(want, root + 76, 1);           // child: entry 1
  std::memcpy(&want[root + 80], kMsgClsid.bytes.data(), 16);
  /* 96 state bits, 100 creation and 108 modification times: 0 */
  Put32(want, root + 116, 3);   // start of the mini stream
  Put32(want, root + 120, 64);  // mini stream size: one mini sector
  // Entry 1: stream "A", alone in its tree, so black.
  const std::size_t a = root + 128;
  PutName(want, a, u"A");
  want[a + 66] = 2;  // type: stream
  want[a + 67] = 1;
  Put32(want, a + 68, 0xFFFFFFFF);
  Put32(want, a + 72, 0xFFFFFFFF);
  Put32(want, a + 76, 0xFFFFFFFF);
  Put32(want, a + 116, 0);  // mini sector 0
  Put32(want, a + 120, 3);  // size
  // Entries 2 and 3 unused: zero, with NOSTREAM links.
  for (std::size_t e = root + 256; e < root + 512; e += 128) {
    for (std::size_t link = 68; link < 80; link += 4) Put32(want, e + link, 0xFFFFFFFF);
  }
  // Sector 2, mini FAT: one chain of one mini sector.
  Put32(want, 1536, 0xFFFFFFFE);
  for (std::size_t i = 1; i < 128; ++i) Put32(want, 1536 + 4 * i, 0xFFFFFFFF);
  // Sector 3, mini stream.
  want[2048] = 'a', want[2049] = 'b', want[2050] = 'c';

  const Bytes got = Write(file);
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(got[i], want[i]) << "first difference at byte " << i;
  }
  EXPECT_TRUE(ReadCompoundFile(got).defects.empty());
}

// Random trees, checked by our strict reader: every structure sound, every stream intact.
TEST(CompoundFileWriter, RandomTreesReadBackIntact) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    CompoundFile file;
    std::vector<test::ExpectedStream> expected;
    test::AddRandomChildren(file.root(), "/", rng, 0, expected);

    const Bytes bytes = Write(file);
    EXPECT_EQ(bytes, Write(file)) << "the same tree must give the same bytes";
    const ReadResult read = ReadCompoundFile(bytes);
    EXPECT_EQ(read.defects, std::vector<std::string>{});
    ASSERT_EQ(read.streams.size(), expected.size());
    for (const auto& stream : expected) {
      const auto it = read.streams.find(stream.path);
      ASSERT_NE(it, read.streams.end()) << stream.path;
      EXPECT_EQ(it->second, stream.data) << stream.path;
    }
  }
}

// Every sibling count gives a valid red-black tree, and storages keep their CLSIDs.
TEST(CompoundFileWriter, SiblingTreesOfEverySize) {
  CompoundFile file;
  for (int count = 0; count <= 70; ++count) {
    Storage& storage = file.root().addStorage("s" + std::to_string(count));
    storage.setClsid(kMsgClsid);
    for (int i = 0; i < count; ++i)
      storage.addStream(std::string(1 + i % 5, 'a') + std::to_string(i), Bytes{});
  }
  const ReadResult read = ReadCompoundFile(Write(file));
  EXPECT_EQ(read.defects, std::vector<std::string>{});
  EXPECT_EQ(read.entries.size(), 1u + 71u + 70u * 71u / 2u);
  for (const Entry& entry : read.entries) {
    if (entry.isStorage && entry.path != "/") {
      EXPECT_EQ(entry.clsid, kMsgClsid) << entry.path;
    }
  }
}

// Many small streams: the mini FAT, mini stream and directory span several sectors each.
TEST(CompoundFileWriter, ManySmallStreams) {
  CompoundFile file;
  for (int s = 0; s < 20; ++s) {
    Storage& storage = file.root().addStorage("__recip_version1.0_#" + std::to_string(s));
    for (int i = 0; i < 30; ++i) {
      storage.addStream("__substg1.0_" + std::to_string(3000 + i),
                        Bytes(100 + i, static_cast<std::uint8_t>(i)));
    }
  }
  const Bytes bytes = Write(file);
  const ReadResult read = ReadCompoundFile(bytes);
  EXPECT_EQ(read.defects, std::vector<std::string>{});
  EXPECT_GT(Get32(bytes, 64), 1u) << "mini FAT sectors";
  EXPECT_EQ(read.streams.at("/__recip_version1.0_#7/__substg1.0_3029"), Bytes(129, 29));
}

TEST(CompoundFileWriter, NameRules) {
  CompoundFile file;
  Storage& root = file.root();
  root.addStream(std::string(31, 'n'), Bytes{});
  EXPECT_THROW(root.addStream(std::string(32, 'n'), Bytes{}), Error);
  // U+1F600 takes two UTF-16 units: 30 + 2 is one too many.
  EXPECT_THROW(root.addStream(std::string(30, 'm') + "\xF0\x9F\x98\x80", Bytes{}), Error);
  root.addStream(std::string(29, 'm') + "\xF0\x9F\x98\x80", Bytes{});
  for (const char* bad : {"a/b", "a\\b", "a:b", "a!b", "", "bad\xC3"}) {
    EXPECT_THROW(root.addStream(bad, Bytes{}), Error) << bad;
  }
  root.addStorage("Attach");
  EXPECT_THROW(root.addStream("ATTACH", Bytes{}), Error) << "names are unique ignoring case";
  root.addStream("été", Bytes{1});
  EXPECT_THROW(root.addStorage("ÉTÉ"), Error);
  root.addStream("Жук", Bytes{2});
  root.addStream("жук2", Bytes{3});

  const ReadResult read = ReadCompoundFile(Write(file));
  EXPECT_EQ(read.defects, std::vector<std::string>{});
  EXPECT_EQ(read.streams.at("/été"), Bytes{1});
  EXPECT_EQ(read.streams.at("/жук2"), Bytes{3});
}

// Children are kept in sibling order as they come, in any order; a name taken is refused
// wherever it falls in that order.
TEST(CompoundFileWriter, SiblingOrderWhateverTheOrderOfAdding) {
  CompoundFile file;
  Storage& root = file.root();
  for (const char* name : {"mm", "b", "zzz", "a", "MN", "c", "yy"}) root.addStream(name, Bytes{});
  root.addStorage("x");
  for (const char* taken : {"A", "Mm", "ZZZ", "X", "yY"}) {
    EXPECT_THROW(root.addStream(taken, Bytes{}), Error) << taken;
  }
  std::vector<std::string> order;
  for (const std::uint32_t i : root.siblingOrder()) order.push_back(root.children()[i].name.utf8());
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "x", "mm", "MN", "yy", "zzz"}));
  const ReadResult read = ReadCompoundFile(Write(file));
  EXPECT_EQ(read.defects, std::vector<std::string>{});
  EXPECT_EQ(read.entries.size(), 9u);
}

// Bytes held elsewhere are written as they stand, in the mini stream and in sectors of their own.
TEST(CompoundFileWriter, BorrowedStreams) {
  Bytes small(100), large(5000);
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = PatternByte(2, i);
  std::copy_n(large.begin(), small.size(), small.begin());
  CompoundFile file;
  file.root().addBorrowedStream("small", small);
  file.root().addStorage("s").addBorrowedStream("large", large);
  file.root().addBorrowedStream("empty", {});
  const ReadResult read = ReadCompoundFile(Write(file));
  EXPECT_EQ(read.defects, std::vector<std::string>{});
  EXPECT_EQ(read.streams.at("/small"), small);
  EXPECT_EQ(read.streams.at("/s/large"), large);
  EXPECT_EQ(read.streams.at("/empty"), Bytes{});
}

// A source that delivers less than its size must fail the write, not leave zeros behind.
TEST(CompoundFileWriter, ShortSourceFailsTheWrite) {
  for (std::uint64_t size : {100u, 70000u}) {
    CompoundFile file;
    file.root().addStream("data", std::make_shared<test::ShortSource>(size, size / 2, false));
    MemorySink sink;
    try {
      file.write(sink);
      ADD_FAILURE() << "no error for a source of " << size << " bytes";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("\"data\" ended after"), std::string::npos) << e.what();
    }
  }
}

TEST(CompoundFileWriter, FailingSinkFailsTheWrite) {
  CompoundFile file;
  file.root().addStream("small", Bytes(300, 1));
  file.root().addStream("large", std::make_shared<PatternSource>(300000, 1));
  for (std::uint64_t limit : {0u, 511u, 512u, 2000u, 100000u, 300000u}) {
    test::FailAfterSink sink(limit);
    EXPECT_THROW(file.write(sink), Error) << "limit " << limit;
  }
}

// Past 109 FAT sectors (about 7 MB) the FAT sector list continues in DIFAT sectors. Content is
// generated on the fly and copied in bounded pieces.
TEST(CompoundFileWriter, TwentyMegabytesWithDifat) {
  const std::uint64_t size = 20'000'000 + 123;
  auto big = std::make_shared<PatternSource>(size, 7);
  CompoundFile file;
  file.root().addStream("small", Bytes(10, 9));
  file.root().addStorage("attach").addStream("data", big);
  file.root().addStream("tail", std::make_shared<PatternSource>(4097, 8));

  const Bytes bytes = Write(file);
  EXPECT_LE(big->largestRead(), 64u * 1024u);
  EXPECT_GE(Get32(bytes, 72), 2u) << "DIFAT sectors";
  const ReadResult read = ReadCompoundFile(bytes);
  EXPECT_EQ(read.defects, std::vector<std::string>{});
  const Bytes& data = read.streams.at("/attach/data");
  ASSERT_EQ(data.size(), size);
  for (std::uint64_t at : {std::uint64_t{0}, std::uint64_t{511}, std::uint64_t{65536},
                           std::uint64_t{7'000'001}, size / 2, size - 1}) {
    EXPECT_EQ(data[at], PatternByte(7, at)) << at;
  }
  EXPECT_EQ(read.streams.at("/tail")[4096], PatternByte(8, 4096));
}

}  // namespace
}  // namespace qc::mapi::cfb
