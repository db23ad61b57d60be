// The header both kinds of encapsulating RTF share.
#pragma once

#include "mapi/rtf/rtf_builder.h"

namespace qc::mapi::rtf {

enum class Encapsulated { Html, Text };

// Font 0 (Arial) for text and font 1 (Courier New) for preformatted text, both with
// \fcharset0 so that readers take their text in code page 1252; colour 1 (blue) for links.
// Outlook's own header, without the two fonts it declares and never uses.
inline void WriteHeader(RtfBuilder& rtf, Encapsulated kind) {
  rtf.raw(kind == Encapsulated::Html ? "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\fbidis \\deff0"
                                     : "{\\rtf1\\ansi\\ansicpg1252\\fromtext \\fbidis \\deff0");
  rtf.raw(
      "{\\fonttbl\r\n{\\f0\\fswiss\\fcharset0 Arial;}\r\n{\\f1\\fmodern\\fcharset0 Courier New;}}"
      "\r\n{\\colortbl\\red0\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
      "\\uc1\\pard\\plain\\deftab360 ");
  rtf.word("f", 0);
  // Outlook's sizes: 12 points for HTML, 10 for plain text.
  rtf.word("fs", kind == Encapsulated::Html ? 24 : 20);
}

}  // namespace qc::mapi::rtf
