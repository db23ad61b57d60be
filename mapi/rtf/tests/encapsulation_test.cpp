// HTML and plain text inside RTF: what a de-encapsulating reader recovers must be exactly what
// went in, the escapes must be the ones RTF readers know, and a plain RTF reader must still see
// readable text.
#include <gtest/gtest.h>

#include <random>

#include "mapi/rtf/encapsulated_rtf.h"
#include "mapi/rtf/html_scan.h"
#include "mapi/rtf/tests/deencapsulate.h"
#include "mapi/rtf/tests/samples.h"
#include "mapi/text.h"

namespace qc::mapi::rtf {
namespace {

using testing::Deencapsulate;
using testing::PlainRtfText;

int Depth(std::string_view rtf) {
  int depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;
    } else if (rtf[i] == '{') {
      ++depth;
    } else if (rtf[i] == '}' && --depth == 0 && i + 1 != rtf.size()) {
      return -1;  // the document closed before its end
    }
  }
  return depth;
}

TEST(HtmlEncapsulation, EverySampleComesBackExactly) {
  for (const auto& sample : testing::HtmlSamples()) {
    const std::string rtf = HtmlToEncapsulatedRtf(sample.content);
    EXPECT_EQ(Depth(rtf), 0) << sample.name;
    const auto back = Deencapsulate(rtf);
    EXPECT_EQ(back.kind, "html") << sample.name;
    EXPECT_EQ(back.text, sample.content) << sample.name << "\n" << rtf;
  }
}

TEST(TextEncapsulation, EverySampleComesBackExactly) {
  for (const auto& sample : testing::TextSamples()) {
    const std::string rtf = TextToEncapsulatedRtf(sample.content);
    EXPECT_EQ(Depth(rtf), 0) << sample.name;
    const auto back = Deencapsulate(rtf);
    EXPECT_EQ(back.kind, "text") << sample.name;
    EXPECT_EQ(back.text, sample.content) << sample.name << "\n" << rtf;
    EXPECT_EQ(PlainRtfText(rtf), sample.content) << sample.name;
  }
}

// Random strings over the characters that need care, in random HTML-ish and text-ish shapes.
TEST(Encapsulation, RandomMixturesComeBackExactly) {
  static const char* const kAlphabet[] = {
      "a",
      "Z",
      "7",
      // Runs long enough that the characters after them fall at every place of a 16-byte step.
      "plain words",
      "and more plain words that run on ",
      " ",
      "  ",
      "\t",
      "\r\n",
      "\n",
      "\r",
      "\\",
      "{",
      "}",
      "<",
      ">",
      "&",
      ";",
      "&amp;",
      "&#233;",
      "&nbsp;",
      "&bogus;",
      "<p>",
      "</p>",
      "<b>",
      "</i>",
      "<br>",
      "<pre>",
      "</pre>",
      "<!-- c -->",
      "<style>p{x:1}</style>",
      "<a href=\"x>y\">",
      "é",
      "€",
      "\u0081",
      "\u009d",
      "中",
      "😀",
      "\x01",
      "-",
      "?",
      "\\par",
      "\\'e9",
      "\xff",
      "\xe4\xb8",
      "<html>",
      "<head>",
      "</head>",
      "<body>",
      "</body>",
      "</html>",
  };
  std::mt19937 random(42);
  for (int round = 0; round < 1000; ++round) {
    std::string input;
    const int pieces = static_cast<int>(random() % 40);
    for (int k = 0; k < pieces; ++k) input += kAlphabet[random() % std::size(kAlphabet)];
    // Bytes that are not UTF-8 come back as U+FFFD; compare with that.
    const std::string expected = Utf8FromUtf16(Utf16FromUtf8(input));
    const std::string html = HtmlToEncapsulatedRtf(input);
    ASSERT_EQ(Depth(html), 0) << input;
    ASSERT_EQ(Deencapsulate(html).text, expected) << input << "\n" << html;
    const std::string text = TextToEncapsulatedRtf(input);
    ASSERT_EQ(Depth(text), 0) << input;
    ASSERT_EQ(Deencapsulate(text).text, expected) << input << "\n" << text;
  }
}

// The header Outlook writes, and the marker the format asks for before any shared text.
TEST(HtmlEncapsulation, HeaderAsOutlookWritesIt) {
  const std::string rtf = HtmlToEncapsulatedRtf("<p>x</p>");
  EXPECT_TRUE(rtf.starts_with("{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\fbidis \\deff0{\\fonttbl"))
      << rtf;
  EXPECT_NE(rtf.find("\\uc1\\pard\\plain\\deftab360 \\f0\\fs24\r\n{\\*\\htmltag64}"),
            std::string::npos)
      << rtf;
  EXPECT_TRUE(TextToEncapsulatedRtf("x").starts_with(
      "{\\rtf1\\ansi\\ansicpg1252\\fromtext \\fbidis \\deff0{\\fonttbl"));
}

TEST(HtmlEncapsulation, EscapesAreTheOnesRtfReadersKnow) {
  struct Case {
    const char* html;
    const char* rtf;
  };
  const Case cases[] = {
      {"é", "\\'e9"},                // code page 1252, as Outlook writes it
      {"€", "\\'80"},                // 1252's own character at 0x80
      {"中", "\\u20013?"},           // outside the code page: UTF-16 unit, one fallback
      {"😀", "\\u-10179?\\u-8704?"},  // beyond the BMP: a surrogate pair, signed
      {"\u0081", "\\u129?"},         // a byte 1252 leaves undefined: not \'81
      {"{a\\b}", "\\{a\\\\b\\}"},    // group characters and the backslash
      {"a\r\n b",
       "a\r\n{\\*\\htmltag4 \\par\r\n }\\htmlrtf  \\htmlrtf0 b"},  // a line break in text is markup
      {"a\nb", "a\r\n{\\*\\htmltag4 \\'0a}"},                      // a lone LF comes back alone
      {"a\tb", "a\\tab b"},          // the delimiter keeps "b" out of the word
      {"<b>1</b>", "\\htmlrtf0 1"},  // a digit after a word needs its space
  };
  for (const auto& c : cases) {
    const std::string rtf = HtmlToEncapsulatedRtf(c.html);
    EXPECT_NE(rtf.find(c.rtf), std::string::npos) << c.html << "\n" << rtf;
  }
}

TEST(HtmlEncapsulation, MarkupGoesIntoHtmltagGroups) {
  const std::string rtf = HtmlToEncapsulatedRtf(
      "<html><head><style>p {color: red}</style></head><body><p>Hi &amp; bye</p></body></html>");
  for (const char* group :
       {"{\\*\\htmltag19 <html>}", "{\\*\\htmltag34 <head>}", "{\\*\\htmltag241 <style>}",
        "{\\*\\htmltag241 p \\{color: red\\}}", "{\\*\\htmltag41 </head>}",
        "{\\*\\htmltag50 <body>}", "{\\*\\htmltag84 &amp;}", "{\\*\\htmltag58 </body>}",
        "{\\*\\htmltag27 </html>}"}) {
    EXPECT_NE(rtf.find(group), std::string::npos) << group << "\n" << rtf;
  }
}

// What a reader that knows nothing of encapsulation shows.
TEST(HtmlEncapsulation, PlainRtfReadersSeeTheText) {
  EXPECT_EQ(PlainRtfText(HtmlToEncapsulatedRtf(
                "<html><head><title>T</title><style>x{}</style></head>\r\n<body><p>One &amp; "
                "two</p>\r\n<p>Three<br>four\r\nfive</p></body></html>")),
            "One & two\r\nThree\r\nfour five\r\n");
  EXPECT_EQ(PlainRtfText(HtmlToEncapsulatedRtf("<pre>a\r\nb</pre>")), "a\r\nb\r\n");
  EXPECT_EQ(PlainRtfText(HtmlToEncapsulatedRtf("x &lt;y&gt; &#8364; &unknown;")), "x <y> € ");
}

// Formatting groups exist only for a plain RTF reader; mis-nested or unclosed tags must not
// unbalance the document (an early '}' would end it, and the rest of the HTML with it).
TEST(HtmlEncapsulation, MisnestedTagsKeepGroupsBalanced) {
  for (const char* html : {"<b><i>x</b>y</i>z", "</b></b>x", "<b>unclosed", "<b><b><b>x</b>",
                           "<a href=x><b>y</a></b>", "<body><b>x</body>y<b>z"}) {
    const std::string rtf = HtmlToEncapsulatedRtf(html);
    EXPECT_EQ(Depth(rtf), 0) << html << "\n" << rtf;
    EXPECT_EQ(Deencapsulate(rtf).text, html);
  }
  EXPECT_NE(HtmlToEncapsulatedRtf("<b>x</b>").find("}\\htmlrtf{\\b\\htmlrtf0 x"),
            std::string::npos);
}

TEST(HtmlScan, MarkupEnds) {
  EXPECT_EQ(MarkupEnd("<a title='x>y'>z", 0), 15u);
  EXPECT_EQ(MarkupEnd("<p class=x'y>z", 0), 13u);  // a stray quote in a value is just a byte
  EXPECT_EQ(MarkupEnd("<!-- a > b -->c", 0), 14u);
  EXPECT_EQ(MarkupEnd("<!DOCTYPE html>x", 0), 15u);
  EXPECT_EQ(MarkupEnd("<b", 0), 2u);
  EXPECT_FALSE(MarkupEnd("< b>", 0));
  EXPECT_FALSE(MarkupEnd("</ b>", 0));
  EXPECT_FALSE(MarkupEnd("<", 0));
  EXPECT_EQ(RawTextEnd("a</B></SCRIPT>", 0, "script"), 5u);
  EXPECT_EQ(EntityLength("&amp;x", 0), 5u);
  EXPECT_EQ(EntityLength("&#x1F600;", 0), 9u);
  EXPECT_EQ(EntityLength("&amp x", 0), 0u);
  EXPECT_EQ(EntityLength("&#;", 0), 0u);
  EXPECT_EQ(EntityValue("&#x1F600;"), U'\U0001F600');
  EXPECT_EQ(EntityValue("&#55296;"), std::nullopt);  // a surrogate is no character
  EXPECT_EQ(EntityValue("&#0;"), std::nullopt);
}

}  // namespace
}  // namespace qc::mapi::rtf
