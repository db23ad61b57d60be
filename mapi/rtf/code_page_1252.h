// Windows code page 1252, the code page our RTF declares (\ansicpg1252).
#pragma once

#include <cstdint>
#include <optional>

namespace qc::mapi::rtf {

// The byte for `c` in code page 1252, or nothing when the code page lacks it. The five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) are never given: readers map them
// differently, so the characters U+0081 and so on go as \uN instead.
std::optional<std::uint8_t> ToCodePage1252(char32_t c);

// The character for a byte; the undefined five give U+FFFD.
char32_t FromCodePage1252(std::uint8_t b);

}  // namespace qc::mapi::rtf
