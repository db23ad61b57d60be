// A message's header block is split by the import, not by GMime, when every line of it is one
// both read alike. What comes of such a message must be what came of GMime's parse of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mapi/import/header_fields.h"
#include "mapi/import/import_internal.h"
#include "mapi/import/tests/import_test_support.h"
#include "mapi/msg/msg_writer.h"
#include "mapi/sink.h"

namespace qc::mapi::testing {
namespace {

using import::GPtr;
using import::HeaderFields;

// GMime's reading of `block` (then an empty line and a short body) as a part's header fields.
GPtr<GMimeObject> GMimePart(const std::string& block) {
  import::EnsureGMimeInitialized();
  const std::string text = block + "\nbody\n";
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
  GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  return GPtr<GMimeObject>(
      g_mime_parser_construct_part(parser.get(), import::LenientParserOptions()));
}

const std::vector<std::string> kFields = {
    "From: Ann Example <ann@example.org>\n",
    "From: =?UTF-8?B?QW5uIMOJeGFtcGxl?= <ann@example.org>\r\n",
    "To: Bob <bob@example.net>,\n carol@example.com,\n\t\"Dave\" <dave@example.com>\n",
    "To: J\xf6rg <joerg@example.de>\n",
    "Cc: =?ISO-8859-1?Q?Jos=E9_P=E9rez?= <jose@example.es>\n",
    "Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?= and\n =?ISO-8859-1?Q?caf=E9?=\n",
    "Subject:no space\n",
    "Subject:   \r\n",
    "Date: Tue, 05 Mar 2024 10:11:12 +0100\n",
    "Message-ID:\n <folded@example.org>\n",
    "Received: from x\n\tby y with ESMTP id 1;\n\tWed, 06 Mar 2024 11:00:00 +0000\n",
    "X-Long: " + std::string(5000, 'x') + "\n",
    "Content-Type: text/plain;\n charset=\"utf-8\"; format=flowed\n",
    "content-transfer-encoding: quoted-printable\n",
    "Content-Disposition: inline\n",
    "X-Content-Type: not one of GMime's\n",
    "Contentious: not one either\n",
    "Subject: ends in tabs\t \t\r\n",
    "Subject: odd =? not a word ?= and =?x?Q?y?=\n",
    "X-Controls: a\x0b b\x7f c\x01 d\n",
    "Subject:\r\n\tonly a fold\r\n \r\n",
};

TEST(HeaderFields, SplitAsGMimeSplitsABlock) {
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    std::string block;
    const int count = static_cast<int>(random() % 9);
    for (int i = 0; i < count; ++i) block += kFields[random() % kFields.size()];
    const auto split = HeaderFields::Split(block);
    ASSERT_TRUE(split) << block;
    const GPtr<GMimeObject> part = GMimePart(block);
    ASSERT_TRUE(part);
    const HeaderFields gmime = HeaderFields::Of(part.get());
    ASSERT_EQ(split->size(), gmime.size()) << block;
    for (std::size_t i = 0; i < gmime.size(); ++i) {
      EXPECT_EQ(split->name(i), gmime.name(i)) << block;
      EXPECT_STREQ(split->raw(i), gmime.raw(i)) << block;
      EXPECT_EQ(split->value(i), gmime.value(i)) << block;
    }
    for (const char* name : {"subject", "To", "MESSAGE-ID", "Keywords"}) {
      EXPECT_EQ(split->first(name), gmime.first(name)) << block;
    }
    // What GMime is given of the block: its Content- fields, folds and all, in order.
    std::string content;
    for (std::size_t i = 0; i < gmime.size(); ++i) {
      if (gmime.is(i, "Content-Type") || gmime.is(i, "Content-Transfer-Encoding") ||
          gmime.is(i, "Content-Disposition")) {
        content += std::string(gmime.name(i)) + ":" + gmime.raw(i);
      }
    }
    EXPECT_EQ(HeaderFields::ContentFields(block), content) << block;
  }
}

TEST(HeaderFields, LinesGMimeReadsItsOwnWayAreLeftToIt) {
  for (const std::string& line : std::vector<std::string>{
           "Odd line without colon\n", "Name With Space: value\n", "Subject : spaced\n",
           "From someone@example.com Wed Sep 11 19:43:23 2002\n", std::string("X-Nul: a\0b\n", 11),
           ":empty name\n",
           "X-\x01"
           "ctl: v\n",
           "X-\xe9: eight-bit name\n", "\r\n"}) {
    EXPECT_FALSE(HeaderFields::Split("Subject: s\n" + line + "To: t@example.org\n")) << line;
  }
  EXPECT_FALSE(HeaderFields::Split("\tfold of nothing\nSubject: s\n"));
  EXPECT_FALSE(HeaderFields::Split("Subject: a block cut short"));
  EXPECT_TRUE(HeaderFields::Split(""));
}

// `text` imported, with its header block split by the import where it can be, or parsed by GMime
// whatever it holds; as a .msg file, the form that holds every property.
Bytes Imported(const std::string& text, bool split,
               std::shared_ptr<const ByteSource> source = nullptr) {
  if (!source) source = std::make_shared<MemorySource>(Bytes(text.begin(), text.end()));
  import::ImportNotes notes;
  import::Level level{0, {}, &notes};
  level.splitHeaderBlocks = split;
  const auto message = import::ImportAtDepth(source, level);
  MemorySink sink;
  msg::WriteMsg(*message, sink);
  return sink.bytes;
}

// The lines of `text` before its first empty line.
std::string_view BlockOf(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] == '\n' || text.substr(at, 2) == "\r\n") return text.substr(0, at);
    const auto end = text.find('\n', at);
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return text;
}

TEST(HeaderFields, MessagesConvertAsWhenGMimeParsedTheirHeaderBlock) {
  std::vector<std::string> messages;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(QC_SOURCE_DIR) / "mapi" / "tests" / "corpus")) {
    if (entry.path().extension() == ".eml") messages.push_back(ReadFile(entry.path().string()));
  }
  ASSERT_GE(messages.size(), 15u);
  // And the envelope's fields in every number and order, with bodies of each kind.
  const std::vector<std::string> envelope = {
      "From: Ann Example <ann@example.org>\n",
      "From: ann@example.org, bob@example.net\n",
      "From: Broken <<ann@example.org (unclosed\n",
      "Sender: list@example.org\n",
      "To: group: a@example.com, b@example.com;\n",
      "To: J\xf6rg <joerg@example.de>\n",
      "Cc: =?ISO-8859-1?Q?Jos=E9_P=E9rez?= <jose@example.es>\n",
      "Bcc: hidden@example.com\n",
      "Reply-To: replies@example.org\n",
      "Subject: Re: Fwd: folded\n\tover two lines\n",
      "Subject: 8-bit \xe9t\xe9\n",
      "Date: Tue, 05 Mar 2024 10:11:12 +0100\n",
      "Date: garbage\n",
      "Received: from a by b; Tue, 05 Mar 2024 10:12:00 +0100\n",
      "Message-ID: <abc@example.org>\n",
      "In-Reply-To: <parent@example.org>\n",
      "References: <root@example.org>\n <parent@example.org>\n",
      "Thread-Topic: Topic\n",
      "Thread-Index: AdQ2Y5v5h1Q2Y5v5h1Q2Y5v5h1Q2Yw==\n",
      "Keywords: one, two,\n three\n",
      "Importance: low\n",
      "X-Priority: 1 (Highest)\n",
      "Priority: non-urgent\n",
      "Sensitivity: Private\n",
      "Content-Type: text/plain; charset=iso-8859-1\n"};
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::string block;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) block += envelope[random() % envelope.size()];
    messages.push_back(block + (round % 2 ? "\n" : "\r\n") + "Caf\xe9 body\n");
  }
  int split = 0;
  for (const std::string& text : messages) {
    if (HeaderFields::Split(BlockOf(text))) ++split;
    EXPECT_EQ(Imported(text, true), Imported(text, false)) << text.substr(0, 400);
  }
  EXPECT_GT(split, 150);  // most took the split path
}

// Bytes the import must read piece by piece, as it reads a large message from its mailbox.
class ReadInPieces final : public ByteSource {
 public:
  explicit ReadInPieces(std::string text) : text_(std::move(text)) {}
  std::uint64_t size() const override { return text_.size(); }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= text_.size()) return 0;
    n = std::min<std::size_t>(n, text_.size() - offset);
    std::memcpy(out, text_.data() + offset, n);
    return n;
  }

 private:
  std::string text_;
};

// The import looks at a message held in memory where it lies, and reads any other in pieces of
// 64 KiB until its header block is complete: a block, a field or a fold across a piece's end
// must come out the same either way.
TEST(HeaderFields, AMessageHeldInMemoryImportsAsOneReadInPieces) {
  constexpr std::size_t kPiece = 64 * 1024;
  const std::string separator = "From ???@??? Mon Jan 01 00:00:00 2024\r\n";
  std::vector<std::string> messages;
  for (const std::size_t cut : {kPiece - 40, kPiece - 2, kPiece, kPiece + 1, 2 * kPiece - 7}) {
    for (int shape = 0; shape < 4; ++shape) {
      std::string block = separator + "From: Ann <ann@example.org>\r\nSubject: long block\r\n";
      int field = 0;
      while (block.size() + 60 < cut) block += "X-Filler-" + std::to_string(field++) + ": x\r\n";
      // The next line starts 20 bytes before the cut.
      block += "X-Pad: " + std::string(cut - 20 - block.size() - 9, 'p') + "\r\n";
      switch (shape) {
        case 0:
          block += "X-Across: " + std::string(60, 'a') + "\r\n";
          break;
        case 1:
          block += "X-Fold: one\r\n\ttwo " + std::string(40, 'b') + "\r\n";
          break;
        case 2:
          block += "To: bob@example.net\r\nNo field here\r\n";
          break;
        case 3:
          block += "Cc: carol@example.com";
          break;  // no empty line: the body is all
      }
      messages.push_back(block + (shape == 3 ? "" : "\r\nthe body\r\n"));
    }
  }
  for (const std::string& text : messages) {
    EXPECT_EQ(Imported(text, true), Imported(text, true, std::make_shared<ReadInPieces>(text)))
        << text.size();
  }
}

}  // namespace
}  // namespace qc::mapi::testing
