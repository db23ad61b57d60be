// Bodies too large to hold: the text converted as it is read gives the same UTF-16 as a small
// body's, whatever the charset and wherever the pieces of its input end; and such a body goes
// to both forms whole.
#include "mapi/import/streamed_text.h"

#include <cstring>

#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/import/tests/import_test_support.h"
#include "mapi/import/text_decode.h"
#include "mapi/msg/msg_writer.h"
#include "mapi/text.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;

// Bytes handed out at most `most` at a time, as a decoder may hand them.
class Trickle final : public ByteSource {
 public:
  Trickle(std::string bytes, std::size_t most) : bytes_(std::move(bytes)), most_(most) {}
  std::uint64_t size() const override { return bytes_.size(); }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= bytes_.size()) return 0;
    n = std::min({n, most_, static_cast<std::size_t>(bytes_.size() - offset)});
    std::memcpy(out, bytes_.data() + offset, n);
    return n;
  }

 private:
  std::string bytes_;
  std::size_t most_;
};

Bytes ReadAllOf(const ByteSource& source, std::size_t piece) {
  Bytes out(static_cast<std::size_t>(source.size()));
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t n = source.read(at, out.data() + at, std::min(piece, out.size() - at));
    if (n == 0) break;
    at += n;
  }
  return out;
}

Bytes Expected(const std::string& bytes, const std::string& charset) {
  return Utf16LeBytes(import::ToCrlf(import::ToUtf8(bytes, charset)));
}

TEST(StreamedText, GivesWhatASmallBodyGetsWhereverThePiecesEnd) {
  const std::string nul(1, '\0');
  const struct {
    const char* charset;
    std::string bytes;
  } cases[] = {
      {"", "plain ASCII\nwith LF,\r\nCR LF, a bare\rCR and a NUL" + nul + " inside\n"},
      {"",
       "valid UTF-8: Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x9C\x93 \xF0\x9F\x98\x80\n"},
      {"", "not UTF-8: caf\xE9 \x80\x9F\n"},
      {"us-ascii", "a sequence cut at the end \xE2\x9C"},
      {"utf-8", "stray bytes \xE9 among \xE2\x9C\x93 and \xF0\x9F\x98\x80 cut \xF0\x9F\x98"},
      {"UTF-8", "\r\n\r\n\n\n" + nul + "\n\r" + nul + "\n"},
      {"iso-8859-1", "Latin-1 caf\xE9 \x80 \x9D\n"},
      {"windows-1252", "\x93quoted\x94 \x85\n"},
      {"koi8-r", "\xF0\xD2\xC9\xD7\xC5\xD4\n"},
      {"iso-2022-jp", "\x1B$B$3$s$K$A$O\x1B(B and ASCII\n"},
      {"shift_jis", "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD\n"},
      {"shift_jis", "not Shift_JIS at all: \xFF\xFF\xFF\n"},
      {"x-nonsense", "an unknown charset: \xC3\xA9t\xC3\xA9\n"},
      {"x-nonsense", "an unknown charset, not UTF-8: \xE9t\xE9\n"},
      {"", ""},
  };
  for (const auto& c : cases) {
    const Bytes expected = Expected(c.bytes, c.charset);
    for (const std::size_t most : {1u, 2u, 3u, 5u, 7u, 65536u}) {
      SCOPED_TRACE(std::string(c.charset) + " " + c.bytes + " in pieces of " +
                   std::to_string(most));
      const auto text = import::StreamedText(std::make_shared<Trickle>(c.bytes, most), c.charset);
      EXPECT_EQ(text->size(), expected.size());
      EXPECT_EQ(ReadAllOf(*text, 3), expected);
      EXPECT_EQ(ReadAllOf(*text, 1 << 20), expected);
    }
  }
}

TEST(StreamedText, ReadsFromAnyOffsetAndAgainFromTheStart) {
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += i % 37 == 0 ? "\n" : i % 11 == 0 ? "\xE9" : "x";
  const Bytes expected = Expected(bytes, "iso-8859-1");
  const auto text = import::StreamedText(std::make_shared<Trickle>(bytes, 65536), "iso-8859-1");
  ASSERT_EQ(text->size(), expected.size());
  for (const std::size_t offset :
       {std::size_t{300000}, std::size_t{5}, expected.size() - 3, std::size_t{150001}}) {
    std::uint8_t out[7] = {};
    const std::size_t n = text->read(offset, out, sizeof out);
    EXPECT_EQ(n, std::min<std::size_t>(sizeof out, expected.size() - offset));
    EXPECT_TRUE(std::equal(out, out + n, expected.begin() + static_cast<std::ptrdiff_t>(offset)))
        << offset;
  }
  std::uint8_t past[4];
  EXPECT_EQ(text->read(expected.size(), past, sizeof past), 0u);
}

// A text/plain body of more than 4 MiB (here one line of it), as the import gives it and as the
// .msg form writes it: the same text, from a source; no RTF made of it, a plain native body.
TEST(StreamedText, ALargeBodyIsTheSameTextFromASource) {
  std::string line;
  while (line.size() < (std::size_t{5} << 20)) line += "lorem ipsum dolor sit amet \xC3\xA9 ";
  const std::string message =
      "Subject: large\nContent-Type: text/plain; charset=utf-8\n\n" + line + "\nend\n";
  auto m = ImportRfc822(message);
  const auto* source = m->props.get<std::shared_ptr<const ByteSource>>(PR_BODY_W);
  ASSERT_NE(source, nullptr);
  const Bytes expected = Utf16LeBytes(line + "\r\nend\r\n");
  EXPECT_EQ(ReadAllOf(**source, 65536), expected);
  EXPECT_EQ(m->props.find(PR_RTF_COMPRESSED), nullptr);
  EXPECT_EQ(Int(m->props, PR_NATIVE_BODY_INFO), 1);
  EXPECT_EQ(Int(m->props, PR_INTERNET_CPID), 65001);

  MemorySink sink;
  msg::WriteMsg(*m, sink);
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  EXPECT_TRUE(file.defects.empty()) << file.defects.front();
  EXPECT_TRUE(file.streams.at("/__substg1.0_1000001F") == expected);
  EXPECT_FALSE(file.streams.contains("/__substg1.0_10090102"));
}

// More than 4 MiB that GMime makes no message of (no header, no line break): its bytes are the
// body, read where they lie rather than held.
TEST(StreamedText, ALargeUnparsedMessageIsItsBodyFromASource) {
  static const char kJunk[] = "\0\x01junk \xE9 no line ";
  std::string junk;
  while (junk.size() < (std::size_t{5} << 20)) junk.append(kJunk, sizeof kJunk - 1);
  auto m = ImportRfc822(junk);
  const auto* source = m->props.get<std::shared_ptr<const ByteSource>>(PR_BODY_W);
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(ReadAllOf(**source, 65536), Utf16LeBytes(import::ToCrlf(import::ToUtf8(junk, ""))));
}

}  // namespace
}  // namespace qc::mapi::testing
