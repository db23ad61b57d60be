// Charset labels read as mail programs read them, into names both builds' converters read.
#include "mapi/import/charset_labels.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>

#include "mapi/import/text_decode.h"

namespace qc::mapi::import {
namespace {

std::string Reading(std::string_view label) {
  const CharsetLabel read = ReadCharsetLabel(label);
  if (!read.known) return "unknown";
  switch (read.kind) {
    case CharsetKind::None:
      return "none";
    case CharsetKind::Windows1252:
      return "windows-1252";
    case CharsetKind::Utf8:
      return "utf-8";
    case CharsetKind::Iconv:
      return read.iconvName;
  }
  return "?";
}

TEST(CharsetLabels, AliasesAndSupersets) {
  const std::pair<const char*, const char*> cases[] = {
      {"utf-8", "utf-8"},
      {"UTF8", "utf-8"},
      {"x-unicode20utf8", "utf-8"},
      {"us-ascii", "none"},
      {"", "none"},
      {"ISO-8859-1", "windows-1252"},
      {"latin1", "windows-1252"},
      {"x-user-defined", "windows-1252"},
      {"shift_jis", "CP932"},
      {"x-sjis", "CP932"},
      {"MS_Kanji", "CP932"},
      {"ks_c_5601-1987", "CP949"},
      {"euc-kr", "CP949"},
      {"gb2312", "GB18030"},
      {"GBK", "GB18030"},
      {"x-gbk", "GB18030"},
      {"big5", "BIG5"},
      {"euc-jp", "EUC-JP"},
      {"x-euc-jp", "EUC-JP"},
      {"iso-2022-jp", "ISO-2022-JP"},
      {"unicode-1-1-utf-7", "UTF-7"},
      {"utf-7", "UTF-7"},
      {"koi8-r", "KOI8-R"},
      {"x-mac-cyrillic", "MAC-CYRILLIC"},
      {"x-mac-ce", "MAC-CENTRALEUROPE"},
      {"macintosh", "MACINTOSH"},
      {"ibm866", "CP866"},
      {"cp850", "CP850"},
      {"windows-874", "CP874"},
      {"tis-620", "TIS-620"},
      {"iso-8859-11", "ISO-8859-11"},
  };
  for (const auto& [label, reading] : cases) EXPECT_EQ(Reading(label), reading) << label;
}

TEST(CharsetLabels, MisspellingsAndWhatBrokenProgramsWroteAfterThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"windows1251", "CP1251"},
      {"cp-1251", "CP1251"},
      {"win-1251", "CP1251"},
      {"x-cp1250", "CP1250"},
      {"iso8859-2", "ISO-8859-2"},
      {"ISO_8859-7", "ISO-8859-7"},
      {"iso-8859-9:1989", "ISO-8859-9"},
      {"iso88592", "ISO-8859-2"},
      {"uft-8", "utf-8"},
      {"\"koi8-r\"", "KOI8-R"},
      {"'koi8-r'", "KOI8-R"},
      {" utf-8 ", "utf-8"},
      {"x-koi8-r", "KOI8-R"},
      {"x-iso-8859-2", "ISO-8859-2"},
      {"UTF-8Return-Path: <bounce@example.org>", "utf-8"},
      {"koi8-r; format=flowed", "KOI8-R"},
      {"windows-1251Content-Transfer-Encoding:", "CP1251"},
      {"charset=us-ascii", "none"},
      {"iso-2022-jp-2004", "ISO-2022-JP"},
      // A number that goes on is another label, not garbage after one.
      {"iso-8859-15", "ISO-8859-15"},
      {"iso-8859-12", "unknown"},
      {"windows-12520", "unknown"},
      {"x-martian", "unknown"},
      {"x-mac-greek", "unknown"},
      {"mac", "MACINTOSH"},
  };
  for (const auto& [label, reading] : cases) EXPECT_EQ(Reading(label), reading) << label;
}

// Every name a label is read as opens in this build's converter, and reads bytes as the label's
// own table does: under Wine this checks the Windows build's converter.
TEST(CharsetLabels, EveryReadingOpensInTheConverter) {
  for (const char* label :
       {"koi8-r",      "koi8-u",          "koi8-ru",     "koi8-t",      "x-mac-cyrillic",
        "x-mac-ce",    "x-mac-icelandic", "macintosh",   "gb2312",      "big5",
        "shift_jis",   "euc-jp",          "iso-2022-jp", "euc-kr",      "iso-2022-kr",
        "utf-7",       "utf-16",          "utf-16le",    "utf-16be",    "windows-874",
        "tis-620",     "viscii",          "armscii-8",   "georgian-ps", "pt154",
        "ibm437",      "cp737",           "cp775",       "cp850",       "cp852",
        "cp855",       "cp857",           "cp860",       "cp861",       "cp862",
        "cp863",       "cp864",           "cp865",       "cp866",       "cp869",
        "cp1125",      "iso-8859-2",      "iso-8859-10", "iso-8859-16", "windows-1250",
        "windows-1258"}) {
    const CharsetLabel read = ReadCharsetLabel(label);
    ASSERT_EQ(read.kind, CharsetKind::Iconv) << label;
    GIConv cd = g_iconv_open("UTF-8", read.iconvName.c_str());
    EXPECT_NE(cd, reinterpret_cast<GIConv>(-1)) << label << " as " << read.iconvName;
    if (cd != reinterpret_cast<GIConv>(-1)) g_iconv_close(cd);
  }
}

TEST(CharsetLabels, CodePagesOfAliases) {
  EXPECT_EQ(CodePageOf("x-sjis"), 932);
  EXPECT_EQ(CodePageOf("iso8859-2"), 28592);
  EXPECT_EQ(CodePageOf("cp-1251"), 1251);
  EXPECT_EQ(CodePageOf("x-gbk"), 54936);
  EXPECT_EQ(CodePageOf("ks_c_5601-1987"), 949);
  // What the labels were given before stays: gb2312 HTML is still marked 936.
  EXPECT_EQ(CodePageOf("gb2312"), 936);
  EXPECT_EQ(CodePageOf("euc-kr"), 51949);
  // No code page: UTF-7 (readers do not take it) and ISO-8859-16 are stored as UTF-8.
  EXPECT_EQ(CodePageOf("utf-7"), std::nullopt);
  EXPECT_EQ(CodePageOf("iso-8859-16"), std::nullopt);
  EXPECT_EQ(CodePageOf("x-martian"), std::nullopt);
}

TEST(CharsetLabels, Fallbacks) {
  EXPECT_TRUE(IsUsableFallback("windows-1251"));
  EXPECT_TRUE(IsUsableFallback("shift_jis"));
  EXPECT_TRUE(IsUsableFallback("utf-8"));
  EXPECT_FALSE(IsUsableFallback("us-ascii"));
  EXPECT_FALSE(IsUsableFallback(""));
  EXPECT_FALSE(IsUsableFallback("x-martian"));
}

TEST(CharsetLabels, TextThatNamesNoCharsetReadsInTheFallback) {
  EXPECT_EQ(GuessUtf8("\xCF\xF0\xE8", "windows-1251"), "\xD0\x9F\xD1\x80\xD0\xB8");
  EXPECT_EQ(GuessUtf8("\xD0\x9F", "windows-1251"), "\xD0\x9F");  // valid UTF-8 stays
  // Bytes the fallback does not read: windows-1252, which keeps every one.
  EXPECT_EQ(GuessUtf8("\x82\xA0\x82", "shift_jis"), "\xE2\x80\x9A\xC2\xA0\xE2\x80\x9A");
  EXPECT_EQ(ToUtf8("\xCF\xF0\xE8", "x-martian", "windows-1251"), "\xD0\x9F\xD1\x80\xD0\xB8");
  EXPECT_EQ(ToUtf8("", "UTF-8Return-Path: <a@b.c>"), "");
  EXPECT_EQ(ToUtf8("", "koi8-r"), "");
}

}  // namespace
}  // namespace qc::mapi::import
