// Text conversions the writers need: the model holds UTF-8, the files hold UTF-16LE.
#pragma once

#include <string>
#include <string_view>

#include "mapi/property.h"

namespace qc::mapi {

// UTF-8 to UTF-16; bytes that are not valid UTF-8 become U+FFFD, so no input is refused.
std::u16string Utf16FromUtf8(std::string_view utf8);

// The same, as little-endian bytes without a terminating NUL.
Bytes Utf16LeBytes(std::string_view utf8);

// UTF-16 code units to UTF-8 (unpaired surrogates become U+FFFD).
std::string Utf8FromUtf16(std::u16string_view utf16);

}  // namespace qc::mapi
