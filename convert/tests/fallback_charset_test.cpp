// The window's fallback charset: the system's own, where it takes one byte a character.
#include "convert/fallback_charset.h"

#include <gtest/gtest.h>

namespace qc {
namespace {

TEST(FallbackCharset, WindowsCodePages) {
  EXPECT_EQ(FallbackCharsetFor(1252, ""), "windows-1252");
  EXPECT_EQ(FallbackCharsetFor(1251, ""), "windows-1251");
  EXPECT_EQ(FallbackCharsetFor(1253, "ignored_XX.KOI8-R"), "windows-1253");
  EXPECT_EQ(FallbackCharsetFor(874, ""), "windows-874");
  // Two bytes a character would misread Western text: the Western code page instead.
  for (const int page : {932, 936, 949, 950, 65001, 437}) {
    EXPECT_EQ(FallbackCharsetFor(page, ""), "windows-1252") << page;
  }
}

TEST(FallbackCharset, PosixLocales) {
  EXPECT_EQ(FallbackCharsetFor(0, "ru_RU.KOI8-R"), "KOI8-R");
  EXPECT_EQ(FallbackCharsetFor(0, "pl_PL.ISO-8859-2@euro"), "ISO-8859-2");
  EXPECT_EQ(FallbackCharsetFor(0, "ru_RU.UTF-8"), "windows-1251");
  EXPECT_EQ(FallbackCharsetFor(0, "uk_UA.utf8"), "windows-1251");
  EXPECT_EQ(FallbackCharsetFor(0, "el_GR.UTF-8"), "windows-1253");
  EXPECT_EQ(FallbackCharsetFor(0, "cs_CZ"), "windows-1250");
  EXPECT_EQ(FallbackCharsetFor(0, "tr_TR.UTF-8"), "windows-1254");
  EXPECT_EQ(FallbackCharsetFor(0, "he_IL.UTF-8"), "windows-1255");
  EXPECT_EQ(FallbackCharsetFor(0, "ar_EG.UTF-8"), "windows-1256");
  EXPECT_EQ(FallbackCharsetFor(0, "th_TH.UTF-8"), "windows-874");
  for (const char* locale : {"", "C", "C.UTF-8", "POSIX", "en_US.UTF-8", "ja_JP.UTF-8",
                             "zh_CN.GB18030", "de_DE@euro", "x"}) {
    EXPECT_EQ(FallbackCharsetFor(0, locale), "windows-1252") << locale;
  }
}

}  // namespace
}  // namespace qc
