// Charset labels as mail programs read them: the names a message gives its text (in a
// Content-Type, an encoded word, an RFC 2231 parameter, an HTML <meta>), with their aliases,
// common misspellings and whatever broken programs wrote after them, turned into the one
// converter that reads them. The list is closed and our own: the Linux and the Windows build
// hand their converters only the names in it, which both read alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qc::mapi::import {

// How the bytes of a label's text become UTF-8.
enum class CharsetKind {
  None,         // the label names no charset worth following (empty, ASCII) or one not known
  Windows1252,  // our own table (the Latin-1 labels too, as every mail program reads them)
  Utf8,         // UTF-8, stray bytes kept as windows-1252
  Iconv,        // the converter named `iconvName`
};

struct CharsetLabel {
  CharsetKind kind = CharsetKind::None;
  std::string iconvName;  // Iconv: a name the converters of both builds read alike
  bool known = true;      // false: a label that was given but names no charset we know
};

// The charset `label` names, read as mail programs read it: in any letter case, quoted,
// with '_' for '-' or the '-' left out ("iso8859-2", "windows1251", "cp-1251", "utf8"), under
// its aliases ("x-sjis", "ks_c_5601-1987", "x-mac-cyrillic", "unicode-1-1-utf-7"), and with
// what a broken program wrote after it ("UTF-8Return-Path: ..."). Some labels are read as the
// superset their writers used: gb2312 as GB18030, Shift_JIS as Windows' code page 932, EUC-KR
// as code page 949, Latin-1 as windows-1252.
CharsetLabel ReadCharsetLabel(std::string_view label);

// Whether `label` can be the run's fallback, the charset of text that names none: a charset
// known here (not ASCII, which would say nothing).
bool IsUsableFallback(std::string_view label);

// Whether `label` names a charset of one byte a character (windows-1251, KOI8-R, ISO-8859-2),
// which reads any text without fault.
bool IsSingleByteCharset(std::string_view label);

// The labels known here, grouped by the charset they name, each group's usual name first:
// what the user may give as the fallback.
std::vector<std::vector<std::string>> CharsetLabelGroups();

// The charset the run falls back to unless told otherwise: the single-byte code page of the
// systems the mail was written on.
inline constexpr std::string_view kDefaultFallbackCharset = "windows-1252";

}  // namespace qc::mapi::import
