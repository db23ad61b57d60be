#include "util/registry.h"

#include "util/error.h"

namespace qc {

std::string GetFileNamePart(std::string_view path, char separator) {
  if (path.empty()) throw Error("a mailbox path is empty, so it has no file name");
  const auto cut = path.rfind(separator);
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string AddSeparator(std::string_view path, char separator) {
  std::string result(path);
  if (result.empty() || result.back() != separator) result += separator;
  return result;
}

std::string_view TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string_view FileNameFieldText(std::string_view text) {
#ifdef _WIN32
  return TrimSpaces(text);
#else
  return text;
#endif
}

}  // namespace qc
