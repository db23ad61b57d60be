// Text conversions shared by the import and the writers: the model holds UTF-8, the files hold
// UTF-16LE, and mail arrives in whatever it was sent in.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mapi/property.h"

namespace qc::mapi {

// The code point of the UTF-8 sequence at `i`, moving `i` past it; when the bytes there are not
// valid UTF-8 (overlong, surrogate, past Unicode, cut short), nothing, moving `i` by one byte.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i);

bool IsValidUtf8(std::string_view text);

void AppendUtf8(std::string& out, char32_t codePoint);

// windows-1252 bytes as UTF-8; the five bytes the code page leaves undefined map to the C1
// control characters of the same value, so nothing is dropped.
std::string Windows1252ToUtf8(std::string_view bytes);
void AppendWindows1252(std::string& out, unsigned char byte);

// UTF-8 to UTF-16; bytes that are not valid UTF-8 become U+FFFD, so no input is refused.
std::u16string Utf16FromUtf8(std::string_view utf8);

// The same, as little-endian bytes without a terminating NUL.
Bytes Utf16LeBytes(std::string_view utf8);

// UTF-16 code units to UTF-8 (unpaired surrogates become U+FFFD).
std::string Utf8FromUtf16(std::u16string_view utf16);

}  // namespace qc::mapi
