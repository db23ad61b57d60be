// The program's one Windows-1252 table and the reading of text whose charset nobody told.
#include "util/cp1252.h"

#include <gtest/gtest.h>

#include "util/utf8.h"

namespace qc {
namespace {

// The code points of UTF-8 text, read strictly.
std::u32string CodePoints(std::string_view utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto cp = NextUtf8(utf8, i);
    EXPECT_TRUE(cp.has_value()) << "not UTF-8 at " << i;
    out.push_back(cp.value_or(0xFFFD));
  }
  return out;
}

TEST(Windows1252, EveryByteReadsAsOneCharacterAndBack) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u32string read = CodePoints(Windows1252ToUtf8(all));
  ASSERT_EQ(read.size(), 256u);
  for (std::size_t b = 0; b < 256; ++b) {
    EXPECT_EQ(read[b], char32_t{kWindows1252[b]}) << b;
    EXPECT_EQ(Windows1252ByteOf(read[b]), std::optional<std::uint8_t>(static_cast<std::uint8_t>(b)))
        << b;
  }
}

TEST(Windows1252, ItsOwnCharactersAboveLatin1) {
  EXPECT_EQ(kWindows1252[0x80], u'€');
  EXPECT_EQ(kWindows1252[0x8A], u'Š');
  EXPECT_EQ(kWindows1252[0x93], u'“');
  EXPECT_EQ(kWindows1252[0x9F], u'Ÿ');
  EXPECT_EQ(kWindows1252[0xA0], u'\u00A0');
  EXPECT_EQ(kWindows1252[0xE9], u'é');
  EXPECT_EQ(kWindows1252[0xFF], u'ÿ');
  EXPECT_EQ(Windows1252ByteOf(U'€'), std::uint8_t{0x80});
  EXPECT_EQ(Windows1252ByteOf(U'™'), std::uint8_t{0x99});
  // C1 controls whose place the code page gave to characters of its own have no byte.
  EXPECT_EQ(Windows1252ByteOf(0x80), std::nullopt);
  EXPECT_EQ(Windows1252ByteOf(0x9F), std::nullopt);
  EXPECT_EQ(Windows1252ByteOf(U'Ā'), std::nullopt);
  EXPECT_EQ(Windows1252ByteOf(0xFFFD), std::nullopt);
  EXPECT_EQ(Windows1252ByteOf(0x1F600), std::nullopt);
}

TEST(Windows1252, TheFiveUndefinedBytesKeepTheirValue) {
  int undefined = 0;
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    if (!IsUndefinedInWindows1252(byte)) continue;
    ++undefined;
    EXPECT_EQ(kWindows1252[byte], char16_t{byte}) << b;
  }
  EXPECT_EQ(undefined, 5);
  for (const int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
    EXPECT_TRUE(IsUndefinedInWindows1252(static_cast<std::uint8_t>(b))) << b;
  }
  EXPECT_EQ(Windows1252ToUtf8("\x81\x9D"), "\u0081\u009D");
}

TEST(Utf8OrWindows1252, ValidUtf8StaysAsItIs) {
  EXPECT_EQ(Utf8OrWindows1252(""), "");
  EXPECT_EQ(Utf8OrWindows1252("plain"), "plain");
  EXPECT_EQ(Utf8OrWindows1252("Café € \xF0\x9F\x98\x80"), "Café € \xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8OrWindows1252("\u0081"), "\u0081");
}

TEST(Utf8OrWindows1252, AnythingElseIsReadWholeAsWindows1252) {
  EXPECT_EQ(Utf8OrWindows1252("Caf\xE9"), "Café");
  EXPECT_EQ(Utf8OrWindows1252("\x93quoted\x94 \x80"), "“quoted” €");
  // One stray byte makes the valid UTF-8 around it Windows-1252 as well.
  EXPECT_EQ(Utf8OrWindows1252("\xC3\xA9\xE9"), "Ã©é");
  EXPECT_EQ(Utf8OrWindows1252("\xC0\xAF"), "À¯");                 // overlong '/'
  EXPECT_EQ(Utf8OrWindows1252("\xE0\x80\xAF"), "à€¯");            // overlong '/' in three bytes
  EXPECT_EQ(Utf8OrWindows1252("\xED\xA0\x80"), "í\u00A0€");       // a surrogate
  EXPECT_EQ(Utf8OrWindows1252("\xF4\x90\x80\x80"), "ô\u0090€€");  // past U+10FFFF
  EXPECT_EQ(Utf8OrWindows1252("ab\xE2\x82"), "abâ‚");             // cut short
  EXPECT_EQ(Utf8OrWindows1252("\x8D"), "\u008D");
}

}  // namespace
}  // namespace qc
