// The named-property streams both writers store, field by field, for names of every kind: a
// number and a string in the fixed sets, a number and a string in a set of the GUID stream.
#include "mapi/named_streams.h"

#include <gtest/gtest.h>

#include "mapi/little_endian.h"

namespace qc::mapi {
namespace {

Bytes Pairs(std::initializer_list<std::uint32_t> values) {
  Bytes out;
  for (const std::uint32_t v : values) Append32(out, v);
  return out;
}

NamedIds FourNames(const Guid& set) {
  NamedIds ids;
  ids.assign(NamedProp{kPsMapi, std::uint32_t{0x8005}});
  ids.assign(NamedProp{kPsPublicStrings, std::string("ab")});
  ids.assign(NamedProp{set, std::uint32_t{7}});
  ids.assign(NamedProp{set, std::string("c")});
  return ids;
}

TEST(NamedStreams, EveryKindOfNameFieldByField) {
  const Guid set = Guid::Parse("00062008-0000-0000-C000-000000000046");
  const NamedPropertyStreams s = EncodeNamedProperties(FourNames(set), 31);
  // GUID stream: only the set that is neither PS_MAPI nor PS_PUBLIC_STRINGS (index 3).
  EXPECT_EQ(s.guids, Bytes(set.bytes.begin(), set.bytes.end()));
  // Entry stream: key (number, or offset in the string stream), then property index << 16 |
  // GUID index << 1 | string bit.
  EXPECT_EQ(s.entries, Pairs({0x8005, 0x00000002,  // PS_MAPI (1), number
                              0, 0x00010005,       // PS_PUBLIC_STRINGS (2), string at 0
                              7, 0x00020006,       // set 3, number
                              8, 0x00030007}));    // set 3, string at 8
  // String stream: length in bytes, UTF-16LE, padded to 4.
  EXPECT_EQ(s.strings, (Bytes{4, 0, 0, 0, 'a', 0, 'b', 0, 2, 0, 0, 0, 'c', 0, 0, 0}));
  // Buckets: (hash ^ GUID index << 1 | string bit) % 31; a string's hash is the CRC-32 of its
  // UTF-16LE bytes (started at 0, not inverted): "ab" 0xD4519943, "c" 0x4ED03864.
  ASSERT_EQ(s.buckets.size(), 4u);
  EXPECT_EQ(s.buckets.at(8), Pairs({0x8005, 0x00000002}));
  EXPECT_EQ(s.buckets.at(12), Pairs({0xD4519943, 0x00010005}));
  EXPECT_EQ(s.buckets.at(1), Pairs({7, 0x00020006}));
  EXPECT_EQ(s.buckets.at(10), Pairs({0x4ED03864, 0x00030007}));
}

TEST(NamedStreams, OnlyTheBucketsDependOnTheirCount) {
  const Guid set = Guid::Parse("00020386-0000-0000-C000-000000000046");
  const NamedPropertyStreams msg = EncodeNamedProperties(FourNames(set), 31);
  const NamedPropertyStreams pst = EncodeNamedProperties(FourNames(set), 251);
  EXPECT_EQ(pst.guids, msg.guids);
  EXPECT_EQ(pst.entries, msg.entries);
  EXPECT_EQ(pst.strings, msg.strings);
  std::vector<std::uint32_t> buckets;
  for (const auto& [bucket, entries] : pst.buckets) buckets.push_back(bucket);
  EXPECT_EQ(buckets, (std::vector<std::uint32_t>{1, 18, 145, 244}));
  // Two names in one bucket keep their identifier order.
  NamedIds crowded;
  crowded.assign(NamedProp{kPsMapi, std::uint32_t{2}});
  crowded.assign(NamedProp{kPsMapi, std::uint32_t{29}});  // 29 ^ 2 = 31
  const NamedPropertyStreams one = EncodeNamedProperties(crowded, 31);
  ASSERT_EQ(one.buckets.size(), 1u);
  EXPECT_EQ(one.buckets.begin()->second, Pairs({2, 0x00000002, 29, 0x00010002}));
  EXPECT_TRUE(EncodeNamedProperties(NamedIds(), 251).buckets.empty());
}

}  // namespace
}  // namespace qc::mapi
