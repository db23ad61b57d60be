// Values of the types the model holds as raw bytes, and names used with several types, through
// the .msg writer and back through the Compound File reader and the strict checker; and what
// the checker reports of entries that break the fixed-size and multi-valued rules.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/check/msg/msg_checker.h"
#include "mapi/little_endian.h"
#include "mapi/msg/msg_writer.h"
#include "mapi/named_ids.h"
#include "mapi/text.h"

namespace qc::mapi::msg {
namespace {

Bytes Le(std::uint64_t v, std::size_t size) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
  return b;
}

RawValue Raw(std::initializer_list<Bytes> values) {
  return RawValue{std::vector<Bytes>(values)};
}

// The inline value of `tag` in a property stream, or nothing.
std::optional<std::uint64_t> EntryValue(const Bytes& props, std::size_t header, std::uint32_t tag) {
  for (std::size_t at = header; at + 16 <= props.size(); at += 16) {
    if (Get32(props.data() + at) == tag) return Get64(props.data() + at + 8);
  }
  return std::nullopt;
}

std::string Defects(const Bytes& file) {
  std::string all;
  for (const auto& d : CheckMsg(file)) all += d + "\n";
  return all;
}

TEST(MsgRawValues, FixedSizeInlineMultiValuedInOneStreamEightBitAsUnicode) {
  const double pi = 3.141592653589793;
  const float half = 0.5f;
  const Guid g1 = Guid::Parse("00062008-0000-0000-C000-000000000046");
  const Guid g2 = Guid::Parse("11111111-2222-3333-4444-555555555555");
  Message m;
  PropertyBag& p = m.props;
  p.set({0x6001, PropType::Float64}, Raw({Le(std::bit_cast<std::uint64_t>(pi), 8)}));
  p.set({0x6002, PropType::Float32}, Raw({Le(std::bit_cast<std::uint32_t>(half), 4)}));
  p.set({0x6003, PropType::Currency}, Raw({Le(static_cast<std::uint64_t>(-123456789), 8)}));
  p.set({0x6004, PropType::Error}, Raw({Le(0x8004010F, 4)}));
  p.set({0x6005, PropType::AppTime}, Raw({Le(std::bit_cast<std::uint64_t>(45000.25), 8)}));
  p.set({0x6006, PropType::MvInt16}, Raw({Le(1, 2), Le(0xFFFF, 2), Le(3, 2)}));
  p.set({0x6007, PropType::MvFloat64}, Raw({Le(std::bit_cast<std::uint64_t>(pi), 8)}));
  p.set({0x6008, PropType::MvGuid},
        Raw({Bytes(g1.bytes.begin(), g1.bytes.end()), Bytes(g2.bytes.begin(), g2.bytes.end())}));
  p.set({0x6009, PropType::MvTime}, Raw({}));
  p.set({0x600A, PropType::String8}, Raw({Bytes{'G', 'r', 0xFC, 0xDF, 'e'}}));       // windows-1252
  p.set({0x600B, PropType::MvString8}, Raw({Bytes{'a'}, Bytes{0xE2, 0x9C, 0x93}}));  // UTF-8 kept
  MemorySink sink;
  WriteMsg(m, sink);
  EXPECT_EQ(Defects(sink.bytes), "");

  const auto file = cfb::ReadCompoundFile(sink.bytes);
  const Bytes& props = file.streams.at("/__properties_version1.0");
  const auto inlined = [&](std::uint32_t tag) { return EntryValue(props, 32, tag); };
  EXPECT_EQ(inlined(0x60010005), std::bit_cast<std::uint64_t>(pi));
  EXPECT_EQ(inlined(0x60020004), std::bit_cast<std::uint32_t>(half));  // zeros past 4 bytes
  EXPECT_EQ(inlined(0x60030006), static_cast<std::uint64_t>(-123456789));
  EXPECT_EQ(inlined(0x6004000A), 0x8004010Fu);
  EXPECT_EQ(inlined(0x60050007), std::bit_cast<std::uint64_t>(45000.25));

  EXPECT_EQ(file.streams.at("/__substg1.0_60061002"), (Bytes{1, 0, 0xFF, 0xFF, 3, 0}));
  EXPECT_EQ(inlined(0x60061002), 6u);
  EXPECT_EQ(file.streams.at("/__substg1.0_60071005"), Le(std::bit_cast<std::uint64_t>(pi), 8));
  Bytes guids(g1.bytes.begin(), g1.bytes.end());
  guids.insert(guids.end(), g2.bytes.begin(), g2.bytes.end());
  EXPECT_EQ(file.streams.at("/__substg1.0_60081048"), guids);
  EXPECT_EQ(file.streams.at("/__substg1.0_60091040"), Bytes{});

  // A file that declares Unicode strings holds no 8-bit ones: the same identifier, as Unicode.
  EXPECT_FALSE(inlined(0x600A001E));
  EXPECT_EQ(file.streams.at("/__substg1.0_600A001F"), Utf16LeBytes("Grüße"));
  EXPECT_EQ(file.streams.at("/__substg1.0_600B101F-00000001"), (Bytes{0x13, 0x27, 0, 0}));  // ✓
}

TEST(MsgRawValues, ANameUsedWithTwoTypesHasOneEntryInTheMap) {
  const NamedProp flag{Guid::Parse("00062008-0000-0000-C000-000000000046"), std::uint32_t{0x8503}};
  Message m;
  m.props.setNamed(flag, PropType::Boolean, true);
  Recipient r;
  r.props.setNamed(flag, PropType::Int32, std::int32_t{7});
  m.recipients.push_back(std::move(r));
  // An embedded message's attachment also holding binary data: the object replaces it, so
  // 0x3701 appears under one type only.
  Attachment a;
  a.props.set(tags::PR_ATTACH_DATA_BIN, Bytes{1, 2});
  a.embedded = std::make_unique<Message>();
  m.attachments.push_back(std::move(a));

  MemorySink sink;
  WriteMsg(m, sink);
  EXPECT_EQ(Defects(sink.bytes), "");
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  EXPECT_EQ(file.streams.at("/__nameid_version1.0/__substg1.0_00030102").size(), 8u);
  EXPECT_EQ(EntryValue(file.streams.at("/__properties_version1.0"), 32, 0x8000000B), 1u);
  EXPECT_EQ(EntryValue(file.streams.at("/__recip_version1.0_#00000000/__properties_version1.0"), 8,
                       0x80000003),
            7u);
  const Bytes& attach = file.streams.at("/__attach_version1.0_#00000000/__properties_version1.0");
  EXPECT_TRUE(EntryValue(attach, 8, 0x3701000D));
  EXPECT_FALSE(EntryValue(attach, 8, 0x37010102));
  EXPECT_FALSE(file.streams.contains("/__attach_version1.0_#00000000/__substg1.0_37010102"));
}

// A .msg file the writer made, with entries (and streams) of our own added to its message.
Bytes WithEntries(const std::vector<std::pair<std::uint32_t, std::uint64_t>>& entries,
                  const std::map<std::string, Bytes>& streams = {}) {
  Message m;
  m.props.set(tags::PR_SUBJECT_W, std::string("s"));
  MemorySink sink;
  WriteMsg(m, sink);
  const auto read = cfb::ReadCompoundFile(sink.bytes);
  cfb::CompoundFile out;
  out.root().setClsid(read.entries.front().clsid);
  cfb::Storage* nameid = nullptr;
  for (const auto& e : read.entries) {
    if (e.path == "/") continue;
    if (e.isStorage) {
      nameid = &out.root().addStorage(e.path.substr(1));
      continue;
    }
    Bytes data = read.streams.at(e.path);
    if (e.path == "/__properties_version1.0") {
      for (const auto& [tag, value] : entries) {
        Append32(data, tag);
        Append32(data, 6);
        Append64(data, value);
      }
    }
    const auto cut = e.path.rfind('/');
    (cut == 0 ? out.root() : *nameid).addStream(e.path.substr(cut + 1), std::move(data));
  }
  for (const auto& [name, data] : streams) out.root().addStream(name, data);
  MemorySink spoiled;
  out.write(spoiled);
  return spoiled.bytes;
}

TEST(MsgChecker, ReportsEntriesThatBreakTheTypeRules) {
  EXPECT_EQ(Defects(WithEntries({{0x60010005, 1}, {0x60020004, 0xFFFFFFFF}})), "");
  EXPECT_NE(Defects(WithEntries({{0x60020004, 0x100000000}})).find("bits set past its 4-byte"),
            std::string::npos);
  EXPECT_NE(Defects(WithEntries({{0x6003000B, 0x100}})).find("bits set past its 1-byte"),
            std::string::npos);
  EXPECT_NE(Defects(WithEntries({{0x00370003, 1}})).find("its identifier appears under two types"),
            std::string::npos);
  EXPECT_NE(Defects(WithEntries({{0x600400FB, 1}})).find("a type no .msg file holds"),
            std::string::npos);
  EXPECT_NE(Defects(WithEntries({{0x60051002, 3}}, {{"__substg1.0_60051002", Bytes(3)}}))
                .find("not a whole number of 2-byte values"),
            std::string::npos);
  EXPECT_NE(Defects(WithEntries({{0x60060048, 8}}, {{"__substg1.0_60060048", Bytes(8)}}))
                .find("GUID 60060048 has 8 bytes"),
            std::string::npos);
}

}  // namespace
}  // namespace qc::mapi::msg
