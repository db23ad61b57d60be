// The strict checker: every kind of damage it knows, made by damaging a sound store and
// repairing the checksums that would otherwise give it away, is reported as that kind; random
// flips and truncations never crash it. Outlook's own stores, when present, are sound.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <tuple>
#include <vector>

#include "mapi/check/pst/ltp_reader.h"
#include "mapi/check/pst/ndb_reader.h"
#include "mapi/crc32.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ndb/block.h"
#include "mapi/pst/ndb/header.h"
#include "mapi/pst/ndb/permute.h"
#include "mapi/pst/tests/pst_test_support.h"

namespace qc::mapi::pst {
namespace {

using check::Fault;
using testing::AddRfc822;

// Finds structures in a sound store and damages them, fixing CRCs so that only the chosen
// fault remains.
class Damage {
 public:
  explicit Damage(Bytes store) : b_(std::move(store)) {
    walk(Get64(&b_[header_offset::kBbt + 8]), false);
    walk(Get64(&b_[header_offset::kNbt + 8]), true);
  }

  Bytes& bytes() { return b_; }

  void fixHeader() {
    Put32(&b_[4], Crc32(&b_[8], 471));
    Put32(&b_[524], Crc32(&b_[8], 516));
  }
  void fixPage(std::uint64_t ib) { Put32(&b_[ib + 500], Crc32(&b_[ib], 496)); }

  // The place of a node's NBT entry, and of a block's BBT entry.
  std::uint64_t nodeEntry(std::uint32_t nid) const { return nodes_.at(nid); }
  std::uint64_t blockEntry(std::uint64_t bid) const { return blocks_.at(bid); }
  std::uint64_t pageOf(std::uint64_t entry) const { return entry / kPageSize * kPageSize; }
  std::uint64_t dataOf(std::uint32_t nid) const { return Get64(&b_[nodeEntry(nid) + 8]); }
  std::uint64_t firstLeafNbtPage() const { return leafNbt_; }

  // Edits a block's decoded contents and seals it again.
  void editBlock(std::uint64_t bid, const std::function<void(Bytes&)>& edit) {
    const std::uint64_t e = blockEntry(bid);
    const std::uint64_t ib = Get64(&b_[e + 8]);
    const std::uint16_t cb = Get16(&b_[e + 16]);
    Bytes data(b_.begin() + ib, b_.begin() + ib + cb);
    const bool encoded = !(bid & kBidInternal);
    if (encoded) PermuteDecode(data.data(), data.size());
    edit(data);
    ASSERT_EQ(data.size(), cb);
    if (encoded) PermuteEncode(data.data(), data.size());
    std::copy(data.begin(), data.end(), b_.begin() + ib);
    Put32(&b_[ib + BlockFileSize(cb) - 12], Crc32(data.data(), cb));
  }

  // The offset, in a one-block heap, of the item `hid`.
  static std::size_t ItemAt(const Bytes& heap, std::uint32_t hid) {
    const std::uint16_t map = Get16(heap.data());
    return Get16(heap.data() + map + 4 + 2 * (((hid >> 5) & 0x7FF) - 1));
  }
  // The offset of a property's BTH record in a one-block property context.
  static std::size_t RecordOf(const Bytes& heap, std::uint16_t id) {
    const std::size_t header = ItemAt(heap, Get32(heap.data() + 4));
    const std::uint32_t root = Get32(heap.data() + header + 4);
    std::size_t at = ItemAt(heap, root);
    while (Get16(heap.data() + at) != id) at += 8;
    return at;
  }

 private:
  void walk(std::uint64_t ib, bool nbt) {
    const std::uint8_t level = b_[ib + 491], count = b_[ib + 488], size = b_[ib + 490];
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint64_t e = ib + i * size;
      if (level > 0) {
        walk(Get64(&b_[e + 16]), nbt);
      } else if (nbt) {
        if (leafNbt_ == 0) leafNbt_ = ib;
        nodes_[static_cast<std::uint32_t>(Get64(&b_[e]))] = e;
      } else {
        blocks_[Get64(&b_[e])] = e;
      }
    }
  }

  Bytes b_;
  std::map<std::uint32_t, std::uint64_t> nodes_;
  std::map<std::uint64_t, std::uint64_t> blocks_;
  std::uint64_t leafNbt_ = 0;
};

const Bytes& SoundStore() {
  static const Bytes store = testing::CorpusStore();
  return store;
}

void ExpectFault(Damage& d, Fault fault) {
  const auto findings = testing::Check(d.bytes());
  EXPECT_TRUE(findings.has(fault)) << "expected " << check::FaultName(fault) << ", found:\n"
                                   << testing::Describe(findings);
}

constexpr std::uint32_t kInbox = 0x80A2;

TEST(PstChecker, SoundStoreHasNoFindings) {
  EXPECT_SOUND_STORE(SoundStore());
}

TEST(PstChecker, NodeDatabaseDamage) {
  {
    Damage d(SoundStore());
    d.bytes()[100] ^= 1;  // inside both CRCs
    ExpectFault(d, Fault::kHeaderCrc);
  }
  {
    Damage d(SoundStore());
    Put64(&d.bytes()[header_offset::kFileEof], 0x10000);
    d.fixHeader();
    ExpectFault(d, Fault::kHeader);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t page = d.firstLeafNbtPage();
    d.bytes()[page + 20] ^= 0x40;
    ExpectFault(d, Fault::kPageCrc);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t page = d.firstLeafNbtPage();
    d.bytes()[page + 496] = kPageTypeBBT;  // the trailer's type: outside the CRC
    ExpectFault(d, Fault::kPage);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t page = d.firstLeafNbtPage();
    std::swap_ranges(&d.bytes()[page], &d.bytes()[page + 32], &d.bytes()[page + 32]);
    d.fixPage(page);
    ExpectFault(d, Fault::kBTree);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t page = d.firstLeafNbtPage();
    d.bytes()[page + 489] = 16;  // cEntMax
    d.fixPage(page);
    ExpectFault(d, Fault::kBTree);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t bid = d.dataOf(kInbox);
    const std::uint64_t e = d.blockEntry(bid);
    d.bytes()[Get64(&d.bytes()[e + 8]) + 3] ^= 0x10;
    ExpectFault(d, Fault::kBlockCrc);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t e = d.blockEntry(d.dataOf(kInbox));
    Put16(&d.bytes()[e + 16], static_cast<std::uint16_t>(Get16(&d.bytes()[e + 16]) - 2));
    d.fixPage(d.pageOf(e));
    ExpectFault(d, Fault::kBlock);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t e = d.blockEntry(d.dataOf(kInbox));
    Put16(&d.bytes()[e + 18], 5);  // cRef
    d.fixPage(d.pageOf(e));
    ExpectFault(d, Fault::kReferenceCount);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t e = d.nodeEntry(kInbox);
    Put64(&d.bytes()[e + 8], 0xFFFF0);  // a bid the BBT does not have
    d.fixPage(d.pageOf(e));
    ExpectFault(d, Fault::kMissingBlock);
    ExpectFault(d, Fault::kReferenceCount);  // its old block is now leaked
  }
  {
    Damage d(SoundStore());
    const std::uint64_t amap = 0x4400;
    d.bytes()[amap + 400] ^= 0x01;  // a unit near the range's end: free
    d.fixPage(amap);
    ExpectFault(d, Fault::kAllocationMap);
  }
  {
    Damage d(SoundStore());
    Put64(&d.bytes()[header_offset::kAMapFree], 64);
    d.fixHeader();
    ExpectFault(d, Fault::kAllocationMap);
  }
  {
    Damage d(SoundStore());
    Put32(&d.bytes()[header_offset::kNids + 4 * nid_type::kNormalMessage], 0x10001);
    d.fixHeader();
    ExpectFault(d, Fault::kIdentifiers);
  }
  {
    Damage d(SoundStore());
    Put64(&d.bytes()[header_offset::kNextBlockBid], 8);
    d.fixHeader();
    ExpectFault(d, Fault::kIdentifiers);
  }
}

// A reader that seeks nodes and blocks in the file finds what one that reads both trees whole
// finds; damage fails only what lies under it.
TEST(PstChecker, SoughtNodesAreThoseTheTreesList) {
  const Bytes& sound = SoundStore();
  check::Findings wholeFindings, soughtFindings;
  check::NodeDatabaseReader whole(sound.data(), sound.size(), wholeFindings);
  check::NodeDatabaseReader sought(sound.data(), sound.size(), soughtFindings);
  ASSERT_TRUE(whole.read());
  ASSERT_TRUE(sought.open());
  ASSERT_GT(whole.nodes().size(), 30u);  // in several leaf pages
  std::string fault;
  for (const auto& [nid, info] : whole.nodes()) {
    const auto found = sought.node(nid, &fault);
    ASSERT_TRUE(found) << check::Hex(nid) << ": " << fault;
    EXPECT_EQ(std::tie(found->bidData, found->bidSub, found->parent),
              std::tie(info.bidData, info.bidSub, info.parent));
    EXPECT_EQ(sought.data(info.bidData), whole.data(info.bidData)) << check::Hex(nid);
    if (!whole.nodes().contains(nid + 1)) {
      EXPECT_FALSE(sought.node(nid + 1, &fault));
      EXPECT_EQ(fault, "");
    }
  }
  EXPECT_FALSE(sought.node(0, &fault));
  EXPECT_TRUE(soughtFindings.empty());

  Damage d(sound);
  const std::uint64_t page = d.firstLeafNbtPage();
  const auto firstNid = static_cast<std::uint32_t>(Get64(&d.bytes()[page]));
  const std::uint32_t lastNid = whole.nodes().begin()[whole.nodes().size() - 1].first;
  ASSERT_NE(d.pageOf(d.nodeEntry(lastNid)), page);
  const std::uint64_t block = d.dataOf(lastNid);
  for (const auto& [damage, underIt, elsewhere] :
       std::vector<std::tuple<std::function<void()>, std::uint32_t, std::uint32_t>>{
           {[&] { d.bytes()[page + 20] ^= 0x40; }, firstNid, lastNid},
           {[&] {
              std::swap_ranges(&d.bytes()[page], &d.bytes()[page + 32], &d.bytes()[page + 32]);
              d.fixPage(page);
            },
            firstNid, lastNid}}) {
    d = Damage(sound);
    damage();
    check::Findings findings;
    check::NodeDatabaseReader reader(d.bytes().data(), d.bytes().size(), findings);
    ASSERT_TRUE(reader.open());
    EXPECT_FALSE(reader.node(underIt, &fault));
    EXPECT_NE(fault.find(check::Hex(page)), std::string::npos) << fault;
    EXPECT_TRUE(reader.node(elsewhere, &fault)) << fault;
  }
  {
    // A page found sound, then changed under the reader (another program writing the file).
    Bytes changing = sound;
    check::Findings findings;
    check::NodeDatabaseReader reader(changing.data(), changing.size(), findings);
    ASSERT_TRUE(reader.open());
    ASSERT_TRUE(reader.node(firstNid));
    changing[page + 490] = 0xFF;  // cbEnt
    EXPECT_FALSE(reader.node(firstNid, &fault));
    EXPECT_NE(fault.find(check::Hex(page)), std::string::npos) << fault;
  }
  d = Damage(sound);
  d.bytes()[Get64(&d.bytes()[d.blockEntry(block) + 8]) + 3] ^= 0x10;
  check::Findings findings;
  check::NodeDatabaseReader reader(d.bytes().data(), d.bytes().size(), findings);
  ASSERT_TRUE(reader.open());
  EXPECT_FALSE(reader.data(block));
  EXPECT_TRUE(reader.data(d.dataOf(firstNid)));
}

TEST(PstChecker, DataAndSubnodeTreeDamage) {
  MemorySink sink;
  PstStore store(sink, "S", testing::FixedOptions());
  const FolderId f = store.addMailFolder("F");
  const std::string big(30000, 'b');
  AddRfc822(store, f, "Subject: big\r\n\r\n" + big + "\r\n", 17);
  store.close();
  const std::uint32_t message = MakeNid(nid_type::kNormalMessage, 0x10001);
  {
    Damage d(sink.bytes);
    // The body, 60,000 bytes of UTF-16, stands in a subnode's XBLOCK.
    const std::uint64_t sub = Get64(&d.bytes()[d.nodeEntry(message) + 16]);
    std::uint64_t xblock = 0;
    d.editBlock(sub, [&](Bytes& sl) {
      for (std::size_t i = 8; i < sl.size(); i += 24) {
        if (Get64(&sl[i + 8]) & kBidInternal) xblock = Get64(&sl[i + 8]);
      }
    });
    ASSERT_NE(xblock, 0u);
    d.editBlock(xblock, [](Bytes& x) { Put32(&x[4], Get32(&x[4]) + 1); });  // lcbTotal
    ExpectFault(d, Fault::kDataTree);
  }
  {
    Damage d(sink.bytes);
    const std::uint64_t sub = Get64(&d.bytes()[d.nodeEntry(message) + 16]);
    d.editBlock(sub, [](Bytes& sl) {  // swap the first two SLENTRYs
      std::swap_ranges(sl.begin() + 8, sl.begin() + 32, sl.begin() + 32);
    });
    ExpectFault(d, Fault::kSubnodeTree);
  }
}

TEST(PstChecker, HeapAndContextDamage) {
  {
    Damage d(SoundStore());
    d.editBlock(d.dataOf(kInbox),
                [](Bytes& h) { Put16(&h[0], static_cast<std::uint16_t>(Get16(&h[0]) + 2)); });
    ExpectFault(d, Fault::kHeap);
  }
  {
    Damage d(SoundStore());
    d.editBlock(d.dataOf(kInbox), [](Bytes& h) { h[8] = 0x0F; });  // fill level of block 0
    ExpectFault(d, Fault::kHeap);
  }
  {
    Damage d(SoundStore());
    d.editBlock(d.dataOf(nid::kMessageStore), [](Bytes& h) {
      const std::size_t a = Damage::RecordOf(h, 0x3001);
      std::swap_ranges(h.begin() + static_cast<std::ptrdiff_t>(a),
                       h.begin() + static_cast<std::ptrdiff_t>(a + 8),
                       h.begin() + static_cast<std::ptrdiff_t>(a + 8));
    });
    ExpectFault(d, Fault::kBth);
  }
  {
    Damage d(SoundStore());
    d.editBlock(d.dataOf(kInbox), [](Bytes& h) {
      Put16(&h[Damage::RecordOf(h, 0x3001) + 2], 0x0099);  // no such property type
    });
    ExpectFault(d, Fault::kPropertyContext);
  }
  {
    Damage d(SoundStore());
    d.editBlock(d.dataOf(MakeNid(nid_type::kContentsTable, NidIndex(kInbox))), [](Bytes& h) {
      const std::size_t info = Damage::ItemAt(h, Get32(&h[4]));
      Put16(&h[info + 8], static_cast<std::uint16_t>(Get16(&h[info + 8]) + 1));  // TCI_bm
    });
    ExpectFault(d, Fault::kTableContext);
  }
}

TEST(PstChecker, MessagingDamage) {
  const auto setInPlace = [](Damage& d, std::uint32_t nid, std::uint16_t id, std::uint32_t v) {
    d.editBlock(d.dataOf(nid), [&](Bytes& h) { Put32(&h[Damage::RecordOf(h, id) + 4], v); });
  };
  {
    Damage d(SoundStore());
    setInPlace(d, kInbox, 0x3602, 3);  // content count
    ExpectFault(d, Fault::kFolder);
  }
  {
    Damage d(SoundStore());
    setInPlace(d, kInbox, 0x360A, 1);  // "has subfolders"
    ExpectFault(d, Fault::kFolder);
  }
  {
    Damage d(SoundStore());
    // The first message of the corpus that has no attachment.
    const auto corpus = testing::CorpusMessages();
    std::uint32_t index = 0;
    while (!ImportRfc822(corpus.at(index))->attachments.empty()) ++index;
    const std::uint32_t plain = MakeNid(nid_type::kNormalMessage, 0x10001 + index);
    setInPlace(d, plain, 0x0E07, 0x11);  // has-attachments without attachments
    ExpectFault(d, Fault::kMessage);
  }
  {
    Damage d(SoundStore());
    const std::uint64_t e = d.nodeEntry(nid::kSearchManagementQueue);
    Put32(&d.bytes()[e], nid::kSearchManagementQueue + 0x20);  // still in order, but gone
    d.fixPage(d.pageOf(e));
    ExpectFault(d, Fault::kMandatoryNode);
  }
  {
    Damage d(SoundStore());
    d.editBlock(d.dataOf(nid::kMessageStore), [](Bytes& h) {
      const std::size_t at = Damage::ItemAt(h, Get32(&h[Damage::RecordOf(h, 0x35E0) + 4]));
      Put32(&h[at + 20], 0x12345);  // the entry ID of the top of the folder tree
    });
    ExpectFault(d, Fault::kStore);
  }
  {
    Damage d(SoundStore());
    d.editBlock(d.dataOf(nid::kNameToIdMap), [](Bytes& h) {
      const std::size_t at = Damage::ItemAt(h, Get32(&h[Damage::RecordOf(h, 0x0003) + 4]));
      Put16(&h[at + 8 + 6], 7);  // the second entry's wPropIdx
    });
    ExpectFault(d, Fault::kNameToIdMap);
  }
}

// Damage of any kind anywhere gives findings or nothing, never a crash or a hang.
TEST(PstChecker, RandomFlipsAndTruncationsNeverCrashIt) {
  std::mt19937 random(42);
  const Bytes& sound = SoundStore();
  check::Findings soundFindings;
  check::NodeDatabaseReader whole(sound.data(), sound.size(), soundFindings);
  ASSERT_TRUE(whole.read());
  // Every node of the sound store sought in the damaged one, with its properties, as reading a
  // store back does.
  const auto seekAll = [&](const Bytes& damaged) {
    check::Findings findings;
    check::NodeDatabaseReader reader(damaged.data(), damaged.size(), findings);
    if (!reader.open()) return;
    check::LtpReader ltp(reader, findings);
    for (const auto& [nid, info] : whole.nodes()) {
      std::string fault;
      const auto node = reader.node(nid, &fault);
      if (!node) continue;
      if (const auto subnodes = reader.subnodes(node->bidSub)) {
        ltp.propertyContext(node->bidData, *subnodes, "node");
        for (const auto& [sub, place] : *subnodes) reader.data(place.bidData);
      }
    }
  };
  std::size_t reported = 0;
  for (int i = 0; i < 300; ++i) {
    Bytes damaged = sound;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < flips; ++k) {
      damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    }
    reported += !testing::Check(damaged).empty();
    seekAll(damaged);
  }
  EXPECT_GT(reported, 0u);
  for (std::size_t size : {std::size_t{0}, std::size_t{3}, std::size_t{563}, std::size_t{0x4400},
                           std::size_t{0x4A10}, sound.size() / 2, sound.size() - 1}) {
    const Bytes cut(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_FALSE(testing::Check(cut).empty()) << size;
    seekAll(cut);
  }
}

TEST(PstChecker, OutlooksOwnStoresAreSound) {
  // Outlook's own stores sit beside the source tree, in shared/reference, where a checkout has
  // them.
  const std::filesystem::path where = std::string(QC_SOURCE_DIR) + "/../shared/reference";
  if (!std::filesystem::exists(where)) {
    GTEST_SKIP() << "Outlook's reference stores are not at " << where.string();
  }
  for (const char* name : {"outlook-blank-unicode.pst", "outlook-sample1-unicode.pst",
                           "outlook-submessage-unicode.pst"}) {
    const auto findings = check::CheckPstFile((where / name).string());
    EXPECT_TRUE(findings.empty()) << name << "\n" << testing::Describe(findings);
  }
}

}  // namespace
}  // namespace qc::mapi::pst
