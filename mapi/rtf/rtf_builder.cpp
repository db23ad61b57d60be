#include "mapi/rtf/rtf_builder.h"

#include <bit>
#include <cctype>
#include <charconv>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  char digits[12];
  out_.append(digits, std::to_chars(digits, digits + sizeof digits, parameter).ptr);
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

namespace {
// Printable ASCII that RTF takes as it is: most of any mail body.
bool IsPlainText(char c) {
  return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}';
}

// How many bytes from `from` on are plain text.
std::size_t PlainTextRun(std::string_view text, std::size_t from) {
  std::size_t end = from;
#if defined(__SSE2__)
  // Sixteen bytes a step: bytes as signed numbers, so those past ASCII are below 0x20 too.
  const __m128i below = _mm_set1_epi8(0x20);
  const __m128i del = _mm_set1_epi8(0x7F);
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i openBrace = _mm_set1_epi8('{');
  const __m128i closeBrace = _mm_set1_epi8('}');
  for (; end + 16 <= text.size(); end += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + end));
    const __m128i special = _mm_or_si128(
        _mm_or_si128(_mm_cmplt_epi8(bytes, below), _mm_cmpeq_epi8(bytes, del)),
        _mm_or_si128(
            _mm_cmpeq_epi8(bytes, backslash),
            _mm_or_si128(_mm_cmpeq_epi8(bytes, openBrace), _mm_cmpeq_epi8(bytes, closeBrace))));
    if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special)); mask != 0) {
      return end + static_cast<std::size_t>(std::countr_zero(mask)) - from;
    }
  }
#endif
  while (end < text.size() && IsPlainText(text[end])) ++end;
  return end - from;
}
}  // namespace

void RtfBuilder::text(std::string_view utf8) {
  out_.reserve(out_.size() + utf8.size() + utf8.size() / 8);
  for (std::size_t i = 0; i < utf8.size();) {
    if (const std::size_t run = PlainTextRun(utf8, i); run != 0) {
      put(utf8[i]);  // the first may need a delimiter after a control word
      out_.append(utf8.substr(i + 1, run - 1));
      i += run;
      continue;
    }
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
