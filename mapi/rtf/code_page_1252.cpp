#include "mapi/rtf/code_page_1252.h"

#include <array>

namespace qc::mapi::rtf {

namespace {

// 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,  //
    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

}  // namespace

std::optional<std::uint8_t> ToCodePage1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
  if (c == 0xFFFD) return std::nullopt;
  for (std::size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == c) return static_cast<std::uint8_t>(0x80 + i);
  }
  return std::nullopt;
}

char32_t FromCodePage1252(std::uint8_t b) {
  return (b >= 0x80 && b < 0xA0) ? char32_t{kHigh[b - 0x80]} : char32_t{b};
}

}  // namespace qc::mapi::rtf
