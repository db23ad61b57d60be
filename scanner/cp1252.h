// Upper-casing in the Windows-1252 single-byte character set, the character set in which the
// finder compares bytes when its search is not case-sensitive.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qc {

constexpr std::array<std::uint8_t, 256> MakeUpperCp1252() {
  std::array<std::uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    int u = b;
    if (b >= 'a' && b <= 'z') u = b - 0x20;
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) u = b - 0x20;  // à..þ except ÷
    if (b == 0x9A || b == 0x9C || b == 0x9E) u = b - 0x10;  // š œ ž
    if (b == 0xFF) u = 0x9F;                                // ÿ
    table[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(u);
  }
  return table;
}

inline constexpr std::array<std::uint8_t, 256> kUpperCp1252 = MakeUpperCp1252();

inline std::string UpperCp1252(std::string text) {
  for (auto& c : text) c = static_cast<char>(kUpperCp1252[static_cast<std::uint8_t>(c)]);
  return text;
}

}  // namespace qc
