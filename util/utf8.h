// UTF-8, the encoding of all text inside the program: reading it strictly, one code point at a
// time, and writing it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qc {

// The code point of the UTF-8 sequence at `i`, moving `i` past it; when the bytes there are not
// valid UTF-8 (overlong, surrogate, past Unicode, cut short), nothing, moving `i` by one byte.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i);

bool IsValidUtf8(std::string_view text);

// How many bytes at the start of `text` are ASCII.
std::size_t AsciiPrefix(std::string_view text);

void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace qc
