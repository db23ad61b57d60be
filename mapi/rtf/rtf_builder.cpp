#include "mapi/rtf/rtf_builder.h"

#include <cctype>

#include "mapi/rtf/code_page_1252.h"
#include "mapi/text.h"

namespace qc::mapi::rtf {

void RtfBuilder::raw(std::string_view rtf) {
  out_.append(rtf);
  wordOpen_ = false;
}

void RtfBuilder::word(std::string_view name) {
  out_.push_back('\\');
  out_.append(name);
  wordOpen_ = true;
}

void RtfBuilder::word(std::string_view name, int parameter) {
  word(name);
  out_.append(std::to_string(parameter));
}

// A letter or digit would lengthen the word or its number, a hyphen would start a number, and a
// space would be taken as the delimiter: each needs a delimiting space first.
void RtfBuilder::put(char c) {
  if (wordOpen_ && (std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '-')) {
    out_.push_back(' ');
  }
  wordOpen_ = false;
  out_.push_back(c);
}

void RtfBuilder::hex(unsigned byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  put('\\');
  out_.push_back('\'');
  out_.push_back(kDigits[(byte >> 4) & 0xF]);
  out_.push_back(kDigits[byte & 0xF]);
}

// \uN takes a signed 16-bit N; characters beyond the BMP go as their surrogate pair. The '?'
// is the one fallback character that \uc1 tells older readers to show instead.
void RtfBuilder::unicode(char32_t c) {
  auto unit = [&](unsigned u) {
    word("u", u >= 0x8000 ? static_cast<int>(u) - 0x10000 : static_cast<int>(u));
    out_.push_back('?');
    wordOpen_ = false;
  };
  if (c >= 0x10000) {
    c -= 0x10000;
    unit(0xD800 + (c >> 10));
    unit(0xDC00 + (c & 0x3FF));
  } else {
    unit(c);
  }
}

void RtfBuilder::character(char32_t c) {
  if (c == '\\' || c == '{' || c == '}') {
    put('\\');
    out_.push_back(static_cast<char>(c));
  } else if (c == '\t') {
    word("tab");
  } else if (c < 0x20 || c == 0x7F) {
    hex(c);
  } else if (c < 0x80) {
    put(static_cast<char>(c));
  } else if (const auto b = ToCodePage1252(c)) {
    hex(*b);
  } else {
    unicode(c);
  }
}

void RtfBuilder::text(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
      word("par");
      raw("\r\n");
      i += 2;
      continue;
    }
    character(NextUtf8(utf8, i).value_or(0xFFFD));
  }
}

}  // namespace qc::mapi::rtf
