// Text conversions shared by the import and the writers: the model holds UTF-8, the files hold
// UTF-16LE, and mail arrives in whatever it was sent in.
#pragma once

#include <string>
#include <string_view>

#include "mapi/property.h"
#include "util/cp1252.h"
#include "util/utf8.h"

namespace qc::mapi {

// The UTF-8 and Windows-1252 readings are the whole program's (util/); the store library's code
// names them as its own.
using qc::AppendUtf8;
using qc::AppendWindows1252;
using qc::AsciiPrefix;
using qc::IsValidUtf8;
using qc::NextUtf8;
using qc::Windows1252ToUtf8;

// UTF-8 to UTF-16; bytes that are not valid UTF-8 become U+FFFD, so no input is refused.
std::u16string Utf16FromUtf8(std::string_view utf8);

// The same, as little-endian bytes without a terminating NUL.
Bytes Utf16LeBytes(std::string_view utf8);
// The same, appended to `out`.
void AppendUtf16Le(Bytes& out, std::string_view utf8);

// UTF-16 code units to UTF-8 (unpaired surrogates become U+FFFD).
std::string Utf8FromUtf16(std::u16string_view utf16);

}  // namespace qc::mapi
