// The text conversions every string of a message goes through on its way to a file, checked
// against a plain reading of them: UTF-8 to UTF-16LE bytes, and line ends made CR LF.
#include <gtest/gtest.h>

#include <random>

#include "mapi/import/text_decode.h"
#include "mapi/text.h"

namespace qc::mapi {
namespace {

// UTF-16LE as the writers need it, from the code points NextUtf8 reads one by one.
Bytes PlainUtf16Le(std::string_view utf8) {
  Bytes out;
  const auto unit = [&out](char32_t u) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = NextUtf8(utf8, i).value_or(0xFFFD);
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return out;
}

// ASCII runs of every length around the eight and sixteen bytes taken at a time, between
// characters of every UTF-8 length and bytes that are no UTF-8 at all.
TEST(Utf16LeBytes, AgreesWithAPlainConversion) {
  static const char* const kPieces[] = {
      "a", "é", "€", "\xF0\x9F\x98\x80", "\xC3", "\xFF", "\xE2\x82", "\xED\xA0\x80", "\r\n", ""};
  std::mt19937 random(5);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int pieces = static_cast<int>(random() % 12);
    for (int p = 0; p < pieces; ++p) {
      text.append(random() % 40, static_cast<char>('A' + random() % 26));
      text += kPieces[random() % std::size(kPieces)];
    }
    ASSERT_EQ(Utf16LeBytes(text), PlainUtf16Le(text)) << text;
  }
  EXPECT_EQ(Utf16LeBytes(""), Bytes{});
  Bytes appended{1, 2};
  AppendUtf16Le(appended, "abcdefghi\xC3\xA9");
  EXPECT_EQ(appended, (Bytes{1, 2,   'a', 0,   'b', 0,   'c', 0,   'd', 0,    'e',
                             0, 'f', 0,   'g', 0,   'h', 0,   'i', 0,   0xE9, 0}));
  EXPECT_EQ(Utf16LeBytes("\xF0\x9F\x98\x80"), (Bytes{0x3D, 0xD8, 0x00, 0xDE}));
}

TEST(ToCrlf, BareLineFeedsGetTheirCarriageReturnAndNulsGo) {
  using import::ToCrlf;
  EXPECT_EQ(ToCrlf(""), "");
  EXPECT_EQ(ToCrlf("\n"), "\r\n");
  EXPECT_EQ(ToCrlf("a\nb\r\nc\n\n"), "a\r\nb\r\nc\r\n\r\n");
  EXPECT_EQ(ToCrlf("\r\r\n\r"), "\r\r\n\r");
  EXPECT_EQ(ToCrlf(std::string_view("a\0b\0\0c", 6)), "abc");
  // The CR must stand right before the LF in the text as given.
  EXPECT_EQ(ToCrlf(std::string_view("x\r\0\ny", 5)), "x\r\r\ny");
  EXPECT_EQ(ToCrlf(std::string_view("\0\n", 2)), "\r\n");
}

}  // namespace
}  // namespace qc::mapi
