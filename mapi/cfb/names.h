// Entry names of a Compound File as the writer handles them: UTF-16 conversion, the
// upper-casing and sibling order of MS-CFB, and what a name must not be.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mapi/cfb/format.h"

namespace qc::mapi::cfb {

// UTF-8 to UTF-16; throws qc::Error on malformed input.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// The upper-casing readers apply to each UTF-16 unit when they order siblings.
char16_t UpperUnit(char16_t c);
// Sibling order in a storage: shorter names first, then unit by unit after upper-casing.
int CompareNames(std::u16string_view a, std::u16string_view b);
// Why `name` cannot name a directory entry, or an empty string when it can.
std::string NameProblem(std::u16string_view name);

}  // namespace qc::mapi::cfb
