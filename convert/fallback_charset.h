// The charset of text that names none, as the window chooses it: the system's own.
#pragma once

#include <string>
#include <string_view>

namespace qc {

// The fallback charset for a system whose ANSI code page is `ansiCodePage` (Windows; 0 where
// there is none) and whose locale is `localeName` ("ru_RU.UTF-8"): that code page where it is
// one of a byte a character; on POSIX, the locale's charset where it is one, else the code
// page Windows gives the locale's language (windows-1251 for Russian, windows-1253 for Greek);
// windows-1252 otherwise (Japanese, Chinese and Korean systems too, whose code pages take two
// bytes a character and would misread Western text).
std::string FallbackCharsetFor(int ansiCodePage, std::string_view localeName);

// The same for this system.
std::string SystemFallbackCharset();

}  // namespace qc
