#include "mapi/check/cfb/cfb_rules.h"

namespace qc::mapi::cfb::check {

namespace {

// A run of letters whose capitals lie at a fixed distance.
struct Shift {
  char16_t first, last;
  int delta;
};
constexpr Shift kShifts[] = {
    {u'a', u'z', -0x20},     {0x00E0, 0x00F6, -0x20}, {0x00F8, 0x00FE, -0x20},
    {0x03B1, 0x03C1, -0x20}, {0x03C3, 0x03C9, -0x20},  // Greek, final sigma apart
    {0x0430, 0x044F, -0x20}, {0x0450, 0x045F, -0x50},  // Cyrillic
};

// A run of Latin Extended-A letters in capital/small pairs: the small one is the second.
struct Pairs {
  char16_t first, last;  // first is a capital
};
constexpr Pairs kPairs[] = {
    {0x0100, 0x012F}, {0x0132, 0x0137}, {0x0139, 0x0148}, {0x014A, 0x0177}, {0x0179, 0x017E}};

}  // namespace

char16_t UpperCase(char16_t c) {
  switch (c) {
    case 0x00B5:  // micro sign
      return 0x039C;
    case 0x00FF:
      return 0x0178;
    case 0x0131:  // dotless i
      return u'I';
    case 0x017F:  // long s
      return u'S';
    case 0x03C2:  // final sigma
      return 0x03A3;
    default:
      break;
  }
  for (const Shift& s : kShifts) {
    if (c >= s.first && c <= s.last) return static_cast<char16_t>(c + s.delta);
  }
  for (const Pairs& p : kPairs) {
    if (c >= p.first && c <= p.last)
      return (c - p.first) % 2 == 1 ? static_cast<char16_t>(c - 1) : c;
  }
  return c;
}

int SiblingOrder(std::u16string_view a, std::u16string_view b) {
  if (a.size() < b.size()) return -1;
  if (a.size() > b.size()) return 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char16_t x = UpperCase(a[i]);
    const char16_t y = UpperCase(b[i]);
    if (x < y) return -1;
    if (x > y) return 1;
  }
  return 0;
}

std::string NameFault(std::u16string_view name) {
  if (name.empty()) return "is empty";
  if (name.size() > 31) return "is longer than 31 UTF-16 units";
  for (const char16_t c : name) {
    if (c == u'/' || c == u'\\' || c == u':' || c == u'!') return "contains / \\ : or !";
    if (c == 0) return "contains NUL";
  }
  return {};
}

}  // namespace qc::mapi::cfb::check
