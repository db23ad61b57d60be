#include "mapi/rtf/code_page_1252.h"

#include "util/cp1252.h"

namespace qc::mapi::rtf {

std::optional<std::uint8_t> ToCodePage1252(char32_t c) {
  const auto b = Windows1252ByteOf(c);
  if (!b || IsUndefinedInWindows1252(*b)) return std::nullopt;
  return b;
}

char32_t FromCodePage1252(std::uint8_t b) {
  return IsUndefinedInWindows1252(b) ? char32_t{0xFFFD} : char32_t{kWindows1252[b]};
}

}  // namespace qc::mapi::rtf
