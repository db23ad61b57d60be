// A de-encapsulating RTF reader written from MS-OXRTFEX for the tests, independent of the
// writer: what Outlook recovers from our RTF, and what a plain RTF reader shows of it.
#pragma once

#include <string>
#include <string_view>

namespace qc::mapi::rtf::testing {

struct Recovered {
  std::string kind;  // "html", "text", or empty when the RTF declares neither
  std::string text;  // UTF-8
};

// Recovers the encapsulated HTML or text. Throws std::runtime_error on RTF it cannot read
// (unbalanced groups, a broken escape, text after the document's end, a code page other
// than 1252).
Recovered Deencapsulate(std::string_view rtf);

// The text a plain RTF reader shows: {\*\htmltag} groups skipped, \htmlrtf obeyed as
// ordinary RTF, \par and \line as CR LF.
std::string PlainRtfText(std::string_view rtf);

}  // namespace qc::mapi::rtf::testing
