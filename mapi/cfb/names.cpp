#include "mapi/cfb/names.h"

#include <algorithm>
#include <array>

#include "mapi/cfb/entry_name.h"
#include "mapi/text.h"
#include "util/error.h"

namespace qc::mapi::cfb {

std::u16string Utf8ToUtf16(std::string_view text) {
  if (!IsValidUtf8(text)) throw Error("not valid UTF-8 in the name \"" + std::string(text) + "\"");
  return Utf16FromUtf8(text);
}

EntryName::EntryName(std::string_view utf8) {
  // The names the writers give: short and ASCII, one unit per byte, none of the characters a
  // name must not hold. Checked in one pass.
  if (!utf8.empty() && utf8.size() <= kMaxNameUnits) {
    static constexpr auto kPlain = [] {
      std::array<bool, 256> plain{};
      for (int c = 1; c < 0x80; ++c) plain[c] = c != '/' && c != '\\' && c != ':' && c != '!';
      return plain;
    }();
    std::size_t n = 0;
    for (; n < utf8.size(); ++n) {
      const auto c = static_cast<unsigned char>(utf8[n]);
      if (!kPlain[c]) break;
      units_[n] = c;
    }
    if (n == utf8.size()) {
      size_ = static_cast<std::uint8_t>(n);
      return;
    }
  }
  const std::u16string units = Utf8ToUtf16(utf8);
  if (const std::string problem = NameProblem(units); !problem.empty()) {
    throw Error("the Compound File entry name \"" + std::string(utf8) + "\" " + problem);
  }
  std::copy(units.begin(), units.end(), units_.begin());
  size_ = static_cast<std::uint8_t>(units.size());
}

std::string Utf16ToUtf8(std::u16string_view text) {
  return Utf8FromUtf16(text);
}

// Simple (one unit to one unit) upper-casing for the scripts names are likely to use; names we
// write ourselves are ASCII, so other letters keep their case.
char16_t UpperUnit(char16_t c) {
  const auto minus = [c](int d) { return static_cast<char16_t>(c - d); };
  if (c >= u'a' && c <= u'z') return minus(0x20);
  if (c < 0xB5) return c;
  if (c == 0xB5) return 0x039C;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return minus(0x20);
  if (c == 0xFF) return 0x0178;
  if (c == 0x0131) return u'I';
  if (c == 0x017F) return u'S';
  if ((c >= 0x0100 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177)) return (c & 1) ? minus(1) : c;
  if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) return (c & 1) ? c : minus(1);
  if (c == 0x03C2) return 0x03A3;
  if (c >= 0x03B1 && c <= 0x03C9) return minus(0x20);
  if (c >= 0x0430 && c <= 0x044F) return minus(0x20);
  if (c >= 0x0450 && c <= 0x045F) return minus(0x50);
  return c;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;  // siblings mostly share a long prefix ("__substg1.0_")
    const char16_t x = UpperUnit(a[i]);
    const char16_t y = UpperUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

std::string NameProblem(std::u16string_view name) {
  if (name.empty()) return "is empty";
  if (name.size() > kMaxNameUnits) return "is longer than 31 UTF-16 units";
  for (char16_t c : name) {
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!') return "contains / \\ : or !";
    if (c == 0) return "contains NUL";
  }
  return {};
}

}  // namespace qc::mapi::cfb
