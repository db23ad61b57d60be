// The .msg writer: the bytes of a property stream field by field, and whole messages read back
// through the strict checker and the Compound File reader.
#include "mapi/msg/msg_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include "mapi/cfb/tests/cfb_test_support.h"
#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/check/msg/msg_checker.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/little_endian.h"
#include "mapi/msg/named_map.h"
#include "mapi/text.h"

namespace qc::mapi::msg {
namespace {

// A large attachment made up on the fly, so the test never holds it whole.
class PatternSource final : public ByteSource {
 public:
  explicit PatternSource(std::uint64_t size) : size_(size) {}
  std::uint64_t size() const override { return size_; }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    std::size_t i = 0;
    for (; i < n && offset + i < size_; ++i) out[i] = static_cast<std::uint8_t>((offset + i) * 7);
    return i;
  }

 private:
  std::uint64_t size_;
};

const NamedProp kNumbered{Guid::Parse("00062008-0000-0000-C000-000000000046"),
                          std::uint32_t{0x8580}};
const NamedProp kStringNamed{kPsPublicStrings, std::string("Keywords-ish")};

Message SampleMessage() {
  Message m;
  m.props.set(tags::PR_MESSAGE_CLASS_W, std::string("IPM.Note"));
  m.props.set(tags::PR_SUBJECT_W, std::string("Grüße — ✓"));
  m.props.set(tags::PR_BODY_W, std::string("Hello\r\n"));
  m.props.set(tags::PR_HTML, Bytes{'<', 'p', '>', 'H', 'i'});
  m.props.set(tags::PR_MESSAGE_FLAGS, std::int32_t{MSGFLAG_READ | MSGFLAG_HASATTACH});
  m.props.set(tags::PR_CLIENT_SUBMIT_TIME, FileTime{133000000000000000});
  m.props.setNamed(kNumbered, PropType::Unicode, std::string("named value"));
  m.props.setNamed(kStringNamed, PropType::Int32, std::int32_t{42});
  for (int i = 0; i < 2; ++i) {
    Recipient r;
    r.props.set(tags::PR_RECIPIENT_TYPE, std::int32_t{i + 1});
    r.props.set(tags::PR_DISPLAY_NAME_W, std::string("Person ") + std::to_string(i));
    r.props.set(tags::PR_SMTP_ADDRESS_W, std::string("p") + std::to_string(i) + "@example.org");
    m.recipients.push_back(std::move(r));
  }
  Attachment small;
  small.props.set(tags::PR_ATTACH_LONG_FILENAME_W, std::string("note.txt"));
  small.props.set(tags::PR_ATTACH_DATA_BIN, Bytes{'a', 'b', 'c'});
  m.attachments.push_back(std::move(small));
  Attachment big;
  big.props.set(tags::PR_ATTACH_LONG_FILENAME_W, std::string("big.bin"));
  big.props.set(tags::PR_ATTACH_DATA_BIN,
                std::shared_ptr<const ByteSource>(std::make_shared<PatternSource>(9'000'000)));
  m.attachments.push_back(std::move(big));
  Attachment forwarded;
  forwarded.embedded = std::make_unique<Message>();
  forwarded.embedded->props.set(tags::PR_SUBJECT_W, std::string("inner"));
  forwarded.embedded->props.setNamed(kNumbered, PropType::Unicode, std::string("inner named"));
  Recipient inner;
  inner.props.set(tags::PR_DISPLAY_NAME_W, std::string("Inner"));
  forwarded.embedded->recipients.push_back(std::move(inner));
  m.attachments.push_back(std::move(forwarded));
  return m;
}

TEST(MsgWriter, PropertyStreamHeaderAndEntriesFieldByField) {
  Message m;
  m.props.set(tags::PR_SUBJECT_W, std::string("Hi"));
  m.props.set(tags::PR_MESSAGE_FLAGS, std::int32_t{1});
  MemorySink sink;
  WriteMsg(m, sink);
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  ASSERT_TRUE(file.defects.empty()) << file.defects.front();
  const Bytes& p = file.streams.at("/__properties_version1.0");
  // 32-byte header: 8 reserved, next recipient ID, next attachment ID, recipient and attachment
  // counts, 8 reserved; then 16-byte entries in tag order.
  ASSERT_EQ(p.size(), 32u + 16 * 5);
  EXPECT_EQ(Get64(p.data()), 0u);
  EXPECT_EQ(Get32(p.data() + 8), 0u);
  EXPECT_EQ(Get32(p.data() + 16), 0u);
  EXPECT_EQ(Get64(p.data() + 24), 0u);
  // PR_MESSAGE_CLASS_W (added: every .msg names its class): tag, flags readable|writable, size
  // of "IPM.Note" in UTF-16 plus the NUL that its stream leaves out.
  EXPECT_EQ(Get32(p.data() + 32), 0x001A001Fu);
  EXPECT_EQ(Get32(p.data() + 36), 6u);
  EXPECT_EQ(Get32(p.data() + 40), 18u);
  EXPECT_EQ(Get32(p.data() + 48), 0x0037001Fu);  // PR_SUBJECT_W, "Hi": 4 + 2
  EXPECT_EQ(Get32(p.data() + 56), 6u);
  EXPECT_EQ(Get32(p.data() + 64), 0x0E070003u);  // PR_MESSAGE_FLAGS, value inline
  EXPECT_EQ(Get64(p.data() + 72), 1u);
  EXPECT_EQ(Get32(p.data() + 80), 0x1000001Fu);  // PR_BODY_W, empty but present
  EXPECT_EQ(Get32(p.data() + 88), 2u);
  EXPECT_EQ(Get32(p.data() + 96), 0x340D0003u);  // PR_STORE_SUPPORT_MASK: Unicode
  EXPECT_EQ(Get64(p.data() + 104), 0x00040000u);
  EXPECT_EQ(file.streams.at("/__substg1.0_0037001F"), (Bytes{'H', 0, 'i', 0}));
}

TEST(MsgWriter, AWholeMessageReadsBackAndPassesTheChecker) {
  MemorySink sink;
  WriteMsg(SampleMessage(), sink);
  const auto defects = CheckMsg(sink.bytes);
  EXPECT_TRUE(defects.empty()) << defects.front();
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  EXPECT_EQ(file.streams.at("/__substg1.0_0037001F"), Utf16LeBytes("Grüße — ✓"));
  EXPECT_EQ(file.streams.at("/__recip_version1.0_#00000001/__substg1.0_39FE001F"),
            Utf16LeBytes("p1@example.org"));
  const Bytes& big = file.streams.at("/__attach_version1.0_#00000001/__substg1.0_37010102");
  ASSERT_EQ(big.size(), 9'000'000u);
  EXPECT_EQ(big[8'999'999], static_cast<std::uint8_t>(8'999'999ull * 7));
  EXPECT_EQ(
      file.streams.at("/__attach_version1.0_#00000002/__substg1.0_3701000D/__substg1.0_0037001F"),
      Utf16LeBytes("inner"));
  // Both named properties are mapped once, for the message and its embedded message alike.
  EXPECT_EQ(file.streams.at("/__nameid_version1.0/__substg1.0_00030102").size(), 16u);
  EXPECT_TRUE(file.streams.contains("/__substg1.0_8000001F"));
  EXPECT_TRUE(file.streams.contains(
      "/__attach_version1.0_#00000002/__substg1.0_3701000D/__substg1.0_8000001F"));
  EXPECT_TRUE(file.streams.contains("/__nameid_version1.0/__substg1.0_00040102"));
}

TEST(MsgChecker, ReportsWhatAWriterCouldGetWrong) {
  MemorySink sink;
  WriteMsg(SampleMessage(), sink);
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  // Rebuild the file from what was read, with one thing broken at a time.
  const auto rebuild = [&](const std::function<void(std::map<std::string, Bytes>&)>& spoil) {
    auto streams = file.streams;
    spoil(streams);
    cfb::CompoundFile out;
    out.root().setClsid(Guid::Parse("00020D0B-0000-0000-C000-000000000046"));
    std::map<std::string, cfb::Storage*> storages{{"/", &out.root()}};
    for (const auto& e : file.entries) {
      if (e.path == "/") continue;
      const auto cut = e.path.rfind('/');
      cfb::Storage* parent = storages.at(cut == 0 ? "/" : e.path.substr(0, cut));
      const std::string name = e.path.substr(cut + 1);
      if (e.isStorage) {
        storages[e.path] = &parent->addStorage(name);
      } else if (streams.contains(e.path)) {
        parent->addStream(name, streams.at(e.path));
      }
    }
    for (const auto& [path, bytes] : streams) {  // streams the spoiling added
      if (!file.streams.contains(path)) out.root().addStream(path.substr(1), bytes);
    }
    MemorySink spoiled;
    out.write(spoiled);
    return CheckMsg(spoiled.bytes);
  };
  EXPECT_TRUE(rebuild([](auto&) {}).empty());
  const auto says = [](const std::vector<std::string>& defects, const std::string& text) {
    for (const auto& d : defects) {
      if (d.find(text) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(says(rebuild([](auto& s) { s.erase("/__substg1.0_0037001F"); }), "no value stream"));
  EXPECT_TRUE(says(rebuild([](auto& s) { s["/__substg1.0_0037001F"].push_back(0); }), "says"));
  EXPECT_TRUE(says(rebuild([](auto& s) { s["/__properties_version1.0"][16] = 7; }), "counts 7"));
  EXPECT_TRUE(
      says(rebuild([](auto& s) { s["/__nameid_version1.0/__substg1.0_00030102"].resize(8); }),
           "no entry in the name map"));
  EXPECT_TRUE(says(rebuild([](auto& s) { s["/__substg1.0_0E04001E"] = Bytes{'x'}; }),
                   "belongs to no property"));
}

// Header text with a NUL byte in it reaches the file whole: the subject, the sender's and a
// recipient's names, an attachment's name.
TEST(MsgWriter, HeaderTextAfterANulIsWritten) {
  const std::string nul(1, '\0');
  const auto m = ImportRfc822("From: Ann" + nul + "Example <ann@x.example>\nTo: Bob" + nul +
                              "Smith <bob@y.example>\n" + "Subject: nul" + nul +
                              "inside subject\nContent-Type: multipart/mixed; boundary=b\n\n" +
                              "--b\n\nbody\n--b\nContent-Disposition: attachment; filename=\"re" +
                              nul + "port.pdf\"\n\ndata\n--b--\n");
  MemorySink sink;
  WriteMsg(*m, sink);
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  EXPECT_EQ(file.streams.at("/__substg1.0_0037001F"), Utf16LeBytes("nul inside subject"));
  EXPECT_EQ(file.streams.at("/__substg1.0_0C1A001F"), Utf16LeBytes("Ann Example"));
  EXPECT_EQ(file.streams.at("/__recip_version1.0_#00000000/__substg1.0_3001001F"),
            Utf16LeBytes("Bob Smith"));
  EXPECT_EQ(file.streams.at("/__attach_version1.0_#00000000/__substg1.0_3707001F"),
            Utf16LeBytes("re port.pdf"));
}

// A message of many attachments: their names and small streams are kept side by side (the
// value streams' names once for all), and each reads back as its own.
TEST(MsgWriter, ManyAttachmentsReadBackEachAsItsOwn) {
  Message m;
  m.props.set(tags::PR_SUBJECT_W, std::string("many"));
  for (int i = 0; i < 600; ++i) {
    Attachment a;
    a.props.set(tags::PR_ATTACH_LONG_FILENAME_W, "file" + std::to_string(i) + ".bin");
    const std::string data = "data of attachment " + std::to_string(i);
    a.props.set(tags::PR_ATTACH_DATA_BIN, Bytes(data.begin(), data.end()));
    m.attachments.push_back(std::move(a));
  }
  MemorySink sink;
  WriteMsg(m, sink);
  const auto defects = CheckMsg(sink.bytes);
  EXPECT_TRUE(defects.empty()) << defects.front();
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  for (const int i : {0, 1, 299, 599}) {
    char storage[40];
    std::snprintf(storage, sizeof storage, "/__attach_version1.0_#%08X/", i);
    const std::string data = "data of attachment " + std::to_string(i);
    EXPECT_EQ(file.streams.at(std::string(storage) + "__substg1.0_37010102"),
              Bytes(data.begin(), data.end()));
    EXPECT_EQ(file.streams.at(std::string(storage) + "__substg1.0_3707001F"),
              Utf16LeBytes("file" + std::to_string(i) + ".bin"));
  }
}

TEST(MsgWriter, AFailedWriteLeavesNoFileBehind) {
  const std::string path = ::testing::TempDir() + "/failed.msg";
  Message m = SampleMessage();
  // Attachment data that cannot be read to its end, as from a disk that fails.
  m.attachments[1].props.set(tags::PR_ATTACH_DATA_BIN, std::shared_ptr<const ByteSource>(
                                                           std::make_shared<cfb::test::ShortSource>(
                                                               9'000'000, 5'000'000, true)));
  EXPECT_THROW(WriteMsgFile(m, path), std::exception);
  EXPECT_FALSE(std::ifstream(path).good());
}

}  // namespace
}  // namespace qc::mapi::msg
