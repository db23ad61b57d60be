// Character-set handling for the RFC 822 import: turning the bytes of a header or body into UTF-8,
// and the Windows code page of a MIME charset.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mapi/import/charset_labels.h"
#include "mapi/text.h"

namespace qc::mapi::import {

using mapi::IsValidUtf8;
using mapi::Windows1252ToUtf8;

// How ToUtf8() reads bytes in a MIME charset: as windows-1252 (the Latin-1 labels); as UTF-8
// with stray bytes read as windows-1252; through iconv (`iconvName`), falling back to a guess
// where the bytes do not fit the charset; or by a guess (no charset, US-ASCII, one unknown):
// UTF-8 when all of them form valid UTF-8, the fallback charset otherwise.
enum class CharsetReading { Windows1252, Utf8, Iconv, Guess };
CharsetReading ReadingOf(std::string_view charset, std::string& iconvName);

// Bytes in the given MIME charset (empty when the message named none) as UTF-8. Never fails:
// unknown charsets and bytes that do not fit their charset are read as UTF-8 when they form
// valid UTF-8 and in `fallback` otherwise (as windows-1252 where they do not fit that either).
std::string ToUtf8(std::string_view bytes, std::string_view charset,
                   std::string_view fallback = kDefaultFallbackCharset);

// Bytes in `charset` as UTF-8 when every one of them fits it, else nothing: how the import
// finds which of a message's charsets its raw header text is written in. A label that names
// no charset (or none known) fits nothing.
std::optional<std::string> ToUtf8Exactly(std::string_view bytes, std::string_view charset);

// Bytes that name no charset as UTF-8: valid UTF-8 as it is, else in `fallback`, else (where
// they do not fit the fallback) as windows-1252, which keeps every byte.
std::string GuessUtf8(std::string_view bytes, std::string_view fallback);

// The Windows code page of a MIME charset name (65001 for UTF-8, 28591 for ISO-8859-1, ...), or
// nothing when the name is not one we know.
std::optional<int> CodePageOf(std::string_view charset);

// The charset an HTML document declares in a <meta> element near its start, or empty.
std::string MetaCharset(std::string_view html);

// Bare LF line ends become CR LF, the form MAPI clients expect in PR_BODY; NULs are dropped, as
// a reader of the stored string would stop at the first.
std::string ToCrlf(std::string_view text);

}  // namespace qc::mapi::import
