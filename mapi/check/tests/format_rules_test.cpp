// The checkers' own reckoning of the formats' rules against the writers' helpers: the two are
// written apart, so that a fault in either shows up here rather than passing both unseen.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mapi/cfb/names.h"
#include "mapi/check/cfb/cfb_rules.h"
#include "mapi/check/crc.h"
#include "mapi/check/pst/format_rules.h"
#include "mapi/crc32.h"
#include "mapi/pst/ltp/heap.h"
#include "mapi/pst/ltp/property_value.h"
#include "mapi/pst/ndb/allocation_map.h"
#include "mapi/pst/ndb/block.h"
#include "mapi/pst/ndb/page.h"
#include "mapi/pst/ndb/permute.h"

namespace qc::mapi {
namespace {

TEST(CheckerRules, Crc32IsThePublishedOneAndAgreesWithEveryWriterVersion) {
  // CRC-32 of "123456789" as commonly published: started at 0xFFFFFFFF and inverted at the end.
  const std::string nine = "123456789";
  const auto* digits = reinterpret_cast<const std::uint8_t*>(nine.data());
  EXPECT_EQ(check::Crc32(digits, nine.size(), 0xFFFFFFFFu) ^ 0xFFFFFFFFu, 0xCBF43926u);
  std::mt19937 random(7);
  std::vector<std::uint8_t> data(3000);
  for (auto& b : data) b = static_cast<std::uint8_t>(random());
  for (const std::size_t size : {0u, 1u, 7u, 8u, 15u, 16u, 63u, 64u, 65u, 496u, 511u, 2999u}) {
    for (const std::uint32_t start : {0u, 0xFFFFFFFFu, 0x12345678u}) {
      const std::uint32_t expected = check::Crc32(data.data() + 1, size, start);
      for (const auto& [name, crc] : Crc32Implementations()) {
        EXPECT_EQ(crc(data.data() + 1, size, start), expected) << name << ", " << size << " bytes";
      }
    }
  }
}

TEST(CheckerRules, PstArithmeticAgreesWithTheWriter) {
  for (std::size_t b = 0; b < 256; ++b) {
    std::uint8_t x = static_cast<std::uint8_t>(b);
    pst::PermuteEncode(&x, 1);
    pst::check::DecodePermuted(&x, 1);
    EXPECT_EQ(x, b);
  }
  for (const std::uint64_t ib : {0x4400ull, 0x4600ull, 0x123440ull, 0x1'0000'4400ull}) {
    for (const std::uint64_t bid : {4ull, 0x26ull, 0xFFFF0004ull, 0x1234'5678'9ABCull}) {
      EXPECT_EQ(pst::check::Signature(ib, bid), pst::BlockSignature(ib, bid)) << ib << " " << bid;
    }
  }
  for (std::size_t cb = 0; cb <= 8176; ++cb) {
    ASSERT_EQ(pst::check::BlockBytesInFile(cb), pst::BlockFileSize(cb)) << cb;
    ASSERT_EQ(pst::check::FillLevel(cb), pst::HeapFillLevel(cb)) << cb;
  }
  for (const std::uint64_t r :
       {0ull, 1ull, 8ull, 127ull, 128ull, 624ull, 8192ull, 8192ull + 31744}) {
    EXPECT_EQ(pst::check::AMapAt(r), pst::AMapOffset(r)) << r;
    const auto mine = pst::check::MapPagesAt(r);
    const auto theirs = pst::MapPagesOf(r);
    EXPECT_EQ(mine.pmap, theirs.pmap) << r;
    EXPECT_EQ(mine.fmap, theirs.fmap) << r;
    EXPECT_EQ(mine.fpmap, theirs.fpmap) << r;
  }
  for (std::uint32_t type = 0; type <= 0xFFFF; ++type) {
    const auto t = static_cast<std::uint16_t>(type);
    ASSERT_EQ(pst::check::FixedCellSize(t), pst::RowCellSize(t)) << type;
    ASSERT_EQ(pst::check::KeptInEntry(t), pst::StoredInPlace(t)) << type;
  }
}

TEST(CheckerRules, CompoundFileNamesAgreeWithTheWriter) {
  for (std::uint32_t c = 0; c <= 0xFFFF; ++c) {
    ASSERT_EQ(cfb::check::UpperCase(static_cast<char16_t>(c)),
              cfb::UpperUnit(static_cast<char16_t>(c)))
        << c;
  }
  const std::u16string letters = u"aAzZ_0\u00E9\u00C9\u00FF\u0178\u0131I\u03C2\u03A3\u0450\u0400";
  std::mt19937 random(11);
  for (int i = 0; i < 5000; ++i) {
    std::u16string a, b;
    for (std::size_t n = random() % 4; n > 0; --n) a += letters[random() % letters.size()];
    for (std::size_t n = random() % 4; n > 0; --n) b += letters[random() % letters.size()];
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    ASSERT_EQ(sign(cfb::check::SiblingOrder(a, b)), sign(cfb::CompareNames(a, b)));
  }
  for (const std::u16string& name :
       {std::u16string(), std::u16string(u"a/b"), std::u16string(u"x:"), std::u16string(u"ok"),
        std::u16string(32, u'n'), std::u16string(u"a\0b", 3)}) {
    EXPECT_EQ(cfb::check::NameFault(name), cfb::NameProblem(name));
  }
}

}  // namespace
}  // namespace qc::mapi
