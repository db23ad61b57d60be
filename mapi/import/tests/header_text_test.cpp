// Header text read as its writer meant it: encoded words found and decoded as lenient mail
// programs do (and as GMime does, where GMime gets them right), raw 8-bit text in the charsets
// the message declares, RFC 2231 parameters.
#include "mapi/import/header_text.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "mapi/import/gmime_support.h"

namespace qc::mapi::import {
namespace {

RawTextReader Reader(std::vector<std::string> declared = {}, std::string fallback = "windows-1252",
                     std::set<std::string>* unknown = nullptr) {
  return RawTextReader([declared] { return declared; }, std::move(fallback), nullptr, unknown);
}

// A header's text as GMime makes it: unfolded, then decoded.
std::string GMimeDecoded(const std::string& text) {
  EnsureGMimeInitialized();
  char* unfolded = g_mime_utils_header_unfold(text.c_str());
  char* decoded = g_mime_utils_header_decode_text(LenientParserOptions(), unfolded);
  g_free(unfolded);
  std::string out = decoded;
  g_free(decoded);
  return out;
}

std::string Base64(std::string_view bytes) {
  gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string out = encoded;
  g_free(encoded);
  return out;
}

// Well-formed header text: words, blanks and encoded words in charsets GMime converts as we do
// (UTF-8 text, KOI8-R and ISO-2022-JP bytes), in B and Q, with whole characters in each word
// and no padding inside a run of one charset.
TEST(HeaderText, ReadsWellFormedTextAsGMimeDoes) {
  const std::vector<std::string> words = {
      "Hello", "re:", "(x)", "a=b", "=?", "?=", "50%", "\"quoted\"", "foo=?bar", "=?utf-8?X?no?="};
  const std::vector<std::pair<std::string, std::string>> encoded = {
      {"utf-8", "Gr\xC3\xBC\xC3\x9F"},
      {"UTF-8", "\xE2\x82\xAC 5"},
      {"koi8-r", "\xF0\xD2\xC9"},
      {"iso-2022-jp", "\x1B$B$3$s\x1B(B"},
      {"utf-8", "abc"},
      {"utf-8", "a b_c"}};
  const std::vector<std::string> blanks = {" ", "  ", "\t", " \t "};
  std::mt19937 random(17);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int n = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < n; ++i) {
      if (i > 0 || random() % 4 == 0) text += blanks[random() % blanks.size()];
      if (random() % 2 == 0) {
        text += words[random() % words.size()];
        continue;
      }
      auto [charset, bytes] = encoded[random() % encoded.size()];
      const bool base64 = random() % 2 == 0 || charset == "iso-2022-jp";
      // GMime decodes a run of one charset as one stream, which padding inside would end.
      if (base64 && bytes.size() % 3 != 0) bytes += std::string(3 - bytes.size() % 3, 'x');
      if (base64) {
        text += "=?" + charset + "?B?" + Base64(bytes) + "?=";
      } else {
        std::string q;
        for (const char c : bytes) {
          char hex[4];
          g_snprintf(hex, sizeof hex, "=%02X", static_cast<unsigned char>(c));
          q += c == ' '                                      ? std::string("_")
               : std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c)
                                                             : std::string(hex);
        }
        text += "=?" + charset + "?q?" + q + "?=";
      }
    }
    EXPECT_EQ(DecodeHeaderText(text, Reader()), GMimeDecoded(text)) << text;
  }
}

TEST(HeaderText, EncodedWords) {
  const RawTextReader reader = Reader();
  // Unfolded, blanks at the ends dropped, those between encoded words too.
  EXPECT_EQ(DecodeHeaderText("  =?utf-8?Q?a?=\r\n =?utf-8?Q?b?= c\r\n\td ", reader), "ab c\td");
  // Each word padded on its own, as programs split long names: nothing after the first is lost.
  EXPECT_EQ(DecodeHeaderText("=?utf-8?B?QQ==?= =?utf-8?B?Qg==?= =?utf-8?B?0J8=?= =?UTF-8?B?0ZE=?=",
                             reader),
            "AB\xD0\x9F\xD1\x91");
  // A character split across two words of one charset.
  EXPECT_EQ(DecodeHeaderText("=?utf-8?Q?=E2=82?= =?utf-8?Q?=AC?=", reader), "\xE2\x82\xAC");
  EXPECT_EQ(DecodeHeaderText("=?utf-8?B?4oI=?==?utf-8?B?rA==?=", reader), "\xE2\x82\xAC");
  // A language after the charset (RFC 2231), lower-case encodings, an unpadded last quartet.
  EXPECT_EQ(DecodeHeaderText("=?koi8-r*ru?b?8NLJ?=", reader), "\xD0\x9F\xD1\x80\xD0\xB8");
  EXPECT_EQ(DecodeHeaderText("=?utf-8?B?QUI?=", reader), "AB");
  // Not encoded words: left as they stand.
  EXPECT_EQ(DecodeHeaderText("=?utf-8?Q?open", reader), "=?utf-8?Q?open");
  EXPECT_EQ(DecodeHeaderText("=??Q?x?= =?utf-8?Z?x?=", reader), "=??Q?x?= =?utf-8?Z?x?=");
}

// Text made to look like endless encoded words is read once over, not once for each of them.
TEST(HeaderText, ManyUnendedEncodedWords) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "=?a?Q?x";
  EXPECT_TRUE(DecodeHeaderText(text, Reader()) == text);
  std::string spaced;
  for (int i = 0; i < 100000; ++i) spaced += "=?a?Q?x ";
  EXPECT_EQ(DecodeHeaderText(spaced, Reader()).size(), spaced.size() - 1);
}

TEST(HeaderText, AliasesAndUnknownCharsetsInEncodedWords) {
  std::set<std::string> unknown;
  const RawTextReader reader = Reader({}, "windows-1252", &unknown);
  EXPECT_EQ(DecodeHeaderText("=?x-sjis?B?gqCCog==?=", reader), "\xE3\x81\x82\xE3\x81\x84");
  EXPECT_EQ(DecodeHeaderText("=?ks_c_5601-1987?B?vsiz5w==?=", reader), "\xEC\x95\x88\xEB\x85\x95");
  EXPECT_EQ(DecodeHeaderText("=?unicode-1-1-utf-7?Q?+BB8EQA-?=", reader), "\xD0\x9F\xD1\x80");
  EXPECT_TRUE(unknown.empty());
  // An unknown label: its bytes are read as text that names none (here windows-1252).
  EXPECT_EQ(DecodeHeaderText("=?x-martian?Q?caf=E9?=", reader), "caf\xC3\xA9");
  EXPECT_EQ(unknown, std::set<std::string>{"x-martian"});
  // Bytes that do not fit the charset they name: read as raw bytes, never dropped.
  EXPECT_EQ(DecodeHeaderText("=?utf-8?Q?caf=E9?=", reader), "caf\xC3\xA9");
}

TEST(HeaderText, RawBytesInTheCharsetsTheMessageDeclares) {
  const std::string koi8 = "\xF0\xD2\xC9\xD7\xC5\xD4 \xCD\xC9\xD2";  // Привет мир
  const std::string utf8 =
      "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80";
  EXPECT_EQ(DecodeHeaderText(koi8, Reader({"koi8-r"})), utf8);
  // Valid UTF-8 is UTF-8, whatever the message declares.
  EXPECT_EQ(DecodeHeaderText(utf8, Reader({"koi8-r"})), utf8);
  // The first declared charset that reads all of it: UTF-8 and ISO-2022-JP do not read these
  // bytes, KOI8-R does (and so would ISO-8859-5, after it).
  EXPECT_EQ(DecodeHeaderText(koi8, Reader({"utf-8", "iso-2022-jp", "koi8-r", "iso-8859-5"})), utf8);
  // Nothing declared: the fallback; bytes the fallback leaves undefined are kept.
  EXPECT_EQ(DecodeHeaderText(koi8, Reader({}, "koi8-r")), utf8);
  EXPECT_EQ(DecodeHeaderText("caf\xE9 \x81", Reader()), "caf\xC3\xA9 \xC2\x81");
  EXPECT_EQ(DecodeHeaderText("\x8F\xA1", Reader({}, "windows-1251")), "\xD0\x8F\xD0\x8E");
  // Raw text beside encoded words; the blank between them is text.
  EXPECT_EQ(DecodeHeaderText("Re: " + koi8 + " =?utf-8?Q?=E2=9C=93?=", Reader({"koi8-r"})),
            "Re: " + utf8 + " \xE2\x9C\x93");
}

TEST(HeaderText, Iso2022JpWrittenRaw) {
  const std::string jis = "\x1B$B=5Kv\x1B(B report";  // 週末 report
  EXPECT_EQ(DecodeHeaderText(jis, Reader()), "\xE9\x80\xB1\xE6\x9C\xAB report");
  EXPECT_EQ(DecodeHeaderText(jis, Reader({"iso-2022-jp"})), "\xE9\x80\xB1\xE6\x9C\xAB report");
}

TEST(HeaderText, AddressHeadersKeepTheirStructure) {
  const RawTextReader reader = Reader({"koi8-r"});
  // Commas and quotes inside encoded words stay inside the one UTF-8 word that replaces them.
  EXPECT_EQ(Utf8HeaderValue("=?utf-8?Q?Smith=2C_John?= <js@example.org>", reader),
            "=?UTF-8?B?U21pdGgsIEpvaG4=?= <js@example.org>");
  EXPECT_EQ(Utf8HeaderValue("\"\xE9\xD7\xC1\xCE\" <i@example.ru>,\r\n b@example.org", reader),
            "\"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD\" <i@example.ru>, b@example.org");
  EXPECT_EQ(Utf8HeaderValue("plain <p@example.org>", reader), "plain <p@example.org>");
}

TEST(HeaderParameters, Rfc2231AndWhatProgramsWroteInstead) {
  std::set<std::string> unknown;
  const RawTextReader reader = Reader({"koi8-r"}, "windows-1252", &unknown);
  const auto name = [&](const std::string& raw) {
    return HeaderParameter(raw, "filename", reader).value_or("<none>");
  };
  EXPECT_EQ(name("attachment; filename=\"a b.txt\""), "a b.txt");
  EXPECT_EQ(name("attachment; FileName = a b.txt ; size=3"), "a b.txt");
  EXPECT_EQ(name("attachment; filename=\"say \\\"hi\\\".txt\""), "say \"hi\".txt");
  EXPECT_EQ(name("attachment; size=3"), "<none>");
  EXPECT_EQ(name("attachment; filename*=koi8-r'ru'%F0%D2%C9.txt"), "\xD0\x9F\xD1\x80\xD0\xB8.txt");
  // Continuations, out of order, the first encoded, the last not.
  EXPECT_EQ(name("attachment; filename*1*=%C3%A9;\r\n filename*0*=utf-8''r%C3%A9sum;"
                 " filename*2=\" final.txt\""),
            "r\xC3\xA9sum\xC3\xA9 final.txt");
  // Encoded words in a quoted value; raw bytes in the message's charset; comments.
  EXPECT_EQ(name("attachment; filename=\"=?gb2312?B?sai45g==?=.txt\""),
            "\xE6\x8A\xA5\xE5\x91\x8A.txt");
  EXPECT_EQ(name("attachment; (note) filename=\"\xF0\xD2\xC9.txt\" (end)"),
            "\xD0\x9F\xD1\x80\xD0\xB8.txt");
  // The first of two counts.
  EXPECT_EQ(name("attachment; filename=first.txt; filename*=utf-8''second.txt"), "first.txt");
  EXPECT_EQ(name("attachment; filename*=utf-8''first.txt; filename=second.txt"), "first.txt");
  // A comment left open, or ended by a lone backslash, ends the value.
  EXPECT_EQ(name("attachment; filename=a.txt; (open"), "a.txt");
  EXPECT_EQ(name("attachment; (x\\"), "<none>");
  EXPECT_EQ(name("attachment; filename=a.txt (\\"), "a.txt (\\");
  // A quoted ';' is part of the type's value, not the end of it.
  EXPECT_EQ(HeaderParameter("text/plain; x=\"a;b\"; name=n.txt", "name", reader).value_or(""),
            "n.txt");
  // An unknown charset: noted, its bytes read as raw ones (in the message's KOI8-R).
  EXPECT_EQ(name("attachment; filename*=x-klingon''caf%E9.txt"), "caf\xD0\x98.txt");
  EXPECT_EQ(unknown, std::set<std::string>{"x-klingon"});
}

TEST(HeaderText, EnclosingMessagesCharsetsComeAfterOwn) {
  const RawTextReader outer = Reader({"koi8-r"});
  const RawTextReader inner([] { return std::vector<std::string>{"iso-2022-jp"}; }, "windows-1252",
                            &outer);
  EXPECT_EQ(inner.declared(), (std::vector<std::string>{"iso-2022-jp", "koi8-r"}));
  EXPECT_EQ(inner.read("\xF0\xD2\xC9\xD7\xC5\xD4"),
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
}

}  // namespace
}  // namespace qc::mapi::import
