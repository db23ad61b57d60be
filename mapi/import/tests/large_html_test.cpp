// HTML bodies too large to hold: their text made as it comes is the text of a smaller body,
// wherever the pieces end; the HTML is stored as it stands, and what it shows in place is found.
#include <random>

#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/import/html_text.h"
#include "mapi/import/tests/import_test_support.h"
#include "mapi/import/text_decode.h"
#include "mapi/msg/msg_writer.h"
#include "mapi/text.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;
using import::HtmlToText;
using import::HtmlToTextStream;

std::string InPieces(std::string_view html, std::size_t piece) {
  HtmlToTextStream stream;
  std::string out;
  for (std::size_t at = 0; at < html.size(); at += piece) {
    stream.feed(html.substr(at, piece), false, out);
  }
  stream.feed({}, true, out);
  return out;
}

TEST(HtmlToTextStream, GivesWhatHtmlToTextGivesWhereverThePiecesEnd) {
  const std::string cases[] = {
      "",
      "plain text, no tags",
      "<p>One</p><p>Two<br>three</p>",
      "<ul><li>a<li>b</li></ul><table><tr><td>x</td><th>y</th></tr></table>",
      "  leading   and\ttrailing  \r\n  spaces  ",
      "<div>\n\n\n</div><div></div><p>after empty blocks</p>\n\n",
      "&amp; &lt;b&gt; &nbsp;x&#233;&#x20AC;&#0;&#xD800; &bogus; &unterminated &;&#; &#x; &ampx",
      "&amp",
      "a & b",
      "<!-- a comment --><p>shown</p><!-- <p>hidden</p> -->tail",
      "<!--> still in the comment --> out",
      "<!-- never closed <p>lost",
      "<title>Title</title><style>p { color: red }</style><script>var x = '<p>';</script>Body",
      "<TITLE>Upper</TITLE><STYLE>x</STYLE>text<SCRIPT>y</SCRIPT>",
      "<style>unclosed style: its text stays",
      "<title>unclosed title",
      "<script>a</scriptx>b</script>c",
      "<p>a tag without its end",
      "text then <",
      "<br/><br /><BR>x<hr>y",
      "<p>caf\xC3\xA9 \xE2\x9C\x93</p>",
      "<td>1</td><td>2</td>\n<li>item",
  };
  for (const std::string& html : cases) {
    const std::string expected = HtmlToText(html);
    for (const std::size_t piece : {1u, 2u, 3u, 5u, 7u, 13u, 65536u}) {
      SCOPED_TRACE("\"" + html + "\" in pieces of " + std::to_string(piece));
      EXPECT_EQ(InPieces(html, piece), expected);
    }
  }
}

// Made-up HTML of the pieces that matter, in any order.
TEST(HtmlToTextStream, AgreesOnRandomHtml) {
  const char* tokens[] = {"<p>",      "</p>",     "<br>",      "<li>",    "</li>",    "<td>",
                          "</td>",    "<script>", "</script>", "<style>", "</style>", "<title>",
                          "</title>", "<!--",     "-->",       "&amp;",   "&#65;",    "&",
                          "<",        ">",        " ",         "\n",      "\r\n",     "\t",
                          "word",     "x",        ";",         "&nbsp;",  "<div ",    "/>"};
  std::mt19937 random(1234);
  for (int round = 0; round < 400; ++round) {
    std::string html;
    const int count = static_cast<int>(random() % 60);
    for (int i = 0; i < count; ++i) html += tokens[random() % std::size(tokens)];
    const std::string expected = HtmlToText(html);
    for (const std::size_t piece : {1u, 4u, 9u}) {
      ASSERT_EQ(InPieces(html, piece), expected) << "\"" << html << "\" in pieces of " << piece;
    }
  }
}

Bytes ReadAllOf(const ByteSource& source) {
  Bytes out(static_cast<std::size_t>(source.size()));
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t n = source.read(at, out.data() + at, out.size() - at);
    if (n == 0) break;
    at += n;
  }
  return out;
}

// An HTML body of more than 4 MiB with a picture shown by its content identifier and one by
// its location: the HTML stored as it stands, its text as for a smaller body, the pictures
// hidden as inline ones, and (in the .msg form) no RTF but an HTML native body.
TEST(LargeHtml, IsStoredAsItStandsWithItsText) {
  std::string html = "<html><head><meta charset=\"windows-1252\"><title>T</title></head><body>";
  while (html.size() < (std::size_t{5} << 20)) html += "<p>caf\xE9 &amp; <b>bold</b></p>\n";
  html += "<img src=\"cid:pic1@x\"><img src=\"http://x.example/pic2.png\"></body></html>";
  const std::string message =
      "Subject: large html\nContent-Type: multipart/related; boundary=b\n\n--b\n"
      "Content-Type: text/html\n\n" +
      html +
      "\n--b\nContent-Type: image/png\nContent-ID: <pic1@x>\n\nPNG1\n--b\n"
      "Content-Type: image/png\nContent-Location: http://x.example/pic2.png\n\nPNG2\n--b--\n";
  auto m = ImportRfc822(message);
  const auto* stored = m->props.get<std::shared_ptr<const ByteSource>>(PR_HTML);
  ASSERT_NE(stored, nullptr);
  const Bytes bytes = ReadAllOf(**stored);
  EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == html);
  EXPECT_EQ(Int(m->props, PR_INTERNET_CPID), 1252);
  const auto* text = m->props.get<std::shared_ptr<const ByteSource>>(PR_BODY_W);
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(ReadAllOf(**text) ==
              Utf16LeBytes(import::ToCrlf(HtmlToText(import::ToUtf8(html, "windows-1252")))));
  ASSERT_EQ(m->attachments.size(), 2u);
  EXPECT_TRUE(Bool(m->attachments[0].props, PR_ATTACHMENT_HIDDEN));
  EXPECT_TRUE(Bool(m->attachments[1].props, PR_ATTACHMENT_HIDDEN));
  EXPECT_EQ(m->props.find(PR_RTF_COMPRESSED), nullptr);
  EXPECT_EQ(Int(m->props, PR_NATIVE_BODY_INFO), 3);

  MemorySink sink;
  msg::WriteMsg(*m, sink);
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  EXPECT_TRUE(file.defects.empty()) << file.defects.front();
  EXPECT_TRUE(file.streams.at("/__substg1.0_10130102") == Bytes(html.begin(), html.end()));
}

// A charset without a code page: the HTML is stored as UTF-8, as a smaller body's is.
TEST(LargeHtml, AnUnknownCharsetIsStoredAsUtf8) {
  std::string html = "<p>";
  while (html.size() < (std::size_t{5} << 20)) html += "\xC3\xA9t\xC3\xA9 ";
  auto m = ImportRfc822("Content-Type: text/html; charset=x-unknown\n\n" + html);
  const auto* stored = m->props.get<std::shared_ptr<const ByteSource>>(PR_HTML);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(Int(m->props, PR_INTERNET_CPID), 65001);
  const Bytes bytes = ReadAllOf(**stored);
  EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == import::ToUtf8(html, "x-unknown"));
}

}  // namespace
}  // namespace qc::mapi::testing
