// RTF bodies that carry the message's HTML or plain text so that a de-encapsulating reader
// (Outlook, and any reader following MS-OXRTFEX) gets that HTML or text back exactly, while a
// plain RTF reader still shows the text with its paragraphs.
//
// Characters, not bytes: the input is Unicode (UTF-8, the model's text form) and the RTF
// declares code page 1252 whatever the message's charset was. Characters of code page 1252
// are written as themselves or \'hh, all others as \uN, so every character survives, and the
// de-encapsulated HTML is the input as Unicode text. A charset the HTML names in a <meta> tag
// is left as it stands: the text the reader gets back is still the text we put in, and whoever
// turns it into bytes again chooses the charset (PR_INTERNET_CPID says which the message had).
// Bytes that are not UTF-8 become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace qc::mapi::rtf {

// \fromhtml1 RTF: the HTML's markup, comments, style sheets and scripts in {\*\htmltagN ...}
// groups; its text as RTF text, with breaks, bold, italics and the like that only a plain RTF
// reader sees inside \htmlrtf ... \htmlrtf0.
std::string HtmlToEncapsulatedRtf(std::string_view htmlUtf8);

// \fromtext RTF: the text with CR LF as \par, tabs as \tab.
std::string TextToEncapsulatedRtf(std::string_view textUtf8);

}  // namespace qc::mapi::rtf
