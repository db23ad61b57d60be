// Upper-casing in the Windows-1252 single-byte character set, the character set in which the
// finder compares bytes when its search is not case-sensitive.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "util/cp1252.h"

namespace qc {

// The capital the finder gives a small letter: a-z and à-þ (not ÷) as in Latin-1, and š, œ, ž
// and ÿ, whose capitals the code page holds at 0x8A, 0x8C, 0x8E and 0x9F. ß, µ and ƒ have none
// there and stay as they are.
constexpr char32_t FinderCapitalOf(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // à..þ except ÷
  if (c == 0x0161 || c == 0x0153) return c - 1;              // š œ
  if (c == 0x017E) return 0x017D;                            // ž
  if (c == 0x00FF) return 0x0178;                            // ÿ
  return c;
}

constexpr std::array<std::uint8_t, 256> MakeUpperCp1252() {
  std::array<std::uint8_t, 256> table{};
  for (std::size_t b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    table[b] = Windows1252ByteOf(FinderCapitalOf(kWindows1252[b])).value_or(byte);
  }
  return table;
}

inline constexpr std::array<std::uint8_t, 256> kUpperCp1252 = MakeUpperCp1252();

inline std::string UpperCp1252(std::string text) {
  for (auto& c : text) c = static_cast<char>(kUpperCp1252[static_cast<std::uint8_t>(c)]);
  return text;
}

}  // namespace qc
