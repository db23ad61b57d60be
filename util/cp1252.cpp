#include "util/cp1252.h"

#include "util/utf8.h"

namespace qc {

void AppendWindows1252(std::string& out, std::uint8_t byte) {
  AppendUtf8(out, kWindows1252[byte]);
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) AppendWindows1252(out, static_cast<std::uint8_t>(c));
  return out;
}

std::string Utf8OrWindows1252(std::string_view text) {
  return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

}  // namespace qc
