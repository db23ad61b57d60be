// Windows-1252, the character set of Western Windows systems and of most mail that names none:
// the finder compares mailbox bytes in it, the window draws the finder's log in it, and the RTF
// bodies we write declare it. This is the program's one table of it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qc {

namespace cp1252_detail {
// What the code page puts at 0x80-0x9F; the rest is Latin-1. The five bytes it leaves undefined
// hold the C1 control of their own value.
inline constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr std::array<char16_t, 256> MakeTable() {
  std::array<char16_t, 256> table{};
  for (std::size_t b = 0; b < 256; ++b) {
    table[b] = b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char16_t>(b);
  }
  return table;
}
}  // namespace cp1252_detail

// The character of every byte. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) give the C1 control of the same value, so reading text never loses a byte; a user
// that must not take them for characters asks IsUndefinedInWindows1252.
inline constexpr std::array<char16_t, 256> kWindows1252 = cp1252_detail::MakeTable();

constexpr bool IsUndefinedInWindows1252(std::uint8_t byte) {
  return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// The byte whose character is `c`, or nothing when the code page has none. The C1 controls
// U+0081, U+008D, U+008F, U+0090 and U+009D give their undefined byte, as the table reads it.
constexpr std::optional<std::uint8_t> Windows1252ByteOf(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
  for (std::size_t i = 0; i < cp1252_detail::kHigh.size(); ++i) {
    if (cp1252_detail::kHigh[i] == c) return static_cast<std::uint8_t>(0x80 + i);
  }
  return std::nullopt;
}

// Windows-1252 bytes as UTF-8, every byte kept (see kWindows1252).
std::string Windows1252ToUtf8(std::string_view bytes);
void AppendWindows1252(std::string& out, std::uint8_t byte);

// Text whose charset nobody told: kept as it is when it is valid UTF-8, else every byte read as
// Windows-1252. Mail programs and libraries hand out UTF-8 mostly, but raw 8-bit bytes they
// could not place still slip through, and those are most often Windows-1252.
std::string Utf8OrWindows1252(std::string_view text);

}  // namespace qc
