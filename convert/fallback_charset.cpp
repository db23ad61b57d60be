#include "convert/fallback_charset.h"

#include <algorithm>
#include <cctype>

#include "mapi/import/charset_labels.h"
#include "util/system.h"

namespace qc {

namespace {

struct LanguageCodePage {
  const char* languages;  // ISO 639-1 codes, each between spaces
  int codePage;
};

// The ANSI code page Windows gives the locales of each language.
constexpr LanguageCodePage kLanguages[] = {
    {" ru uk be bg sr mk kk ky tt mn ", 1251},
    {" pl cs sk hu hr sl ro sq bs ", 1250},
    {" el ", 1253},
    {" tr az uz ", 1254},
    {" he yi ", 1255},
    {" ar fa ur ", 1256},
    {" lt lv et ", 1257},
    {" vi ", 1258},
    {" th ", 874},
};

std::string CodePageCharset(int codePage) {
  return codePage == 874 ? "windows-874" : "windows-" + std::to_string(codePage);
}

}  // namespace

std::string FallbackCharsetFor(int ansiCodePage, std::string_view localeName) {
  const std::string western(mapi::import::kDefaultFallbackCharset);
  if (ansiCodePage > 0) {
    const bool singleByte = ansiCodePage == 874 || (ansiCodePage >= 1250 && ansiCodePage <= 1258);
    return singleByte ? CodePageCharset(ansiCodePage) : western;
  }
  // language[_territory][.charset][@modifier]
  const std::size_t dot = localeName.find('.');
  if (dot != std::string_view::npos) {
    const std::string_view charset =
        localeName.substr(dot + 1, localeName.find('@', dot) - dot - 1);
    if (mapi::import::IsSingleByteCharset(charset) &&
        mapi::import::ReadCharsetLabel(charset).known) {
      return std::string(charset);
    }
  }
  std::string language(localeName.substr(0, localeName.find_first_of("_.@")));
  std::transform(language.begin(), language.end(), language.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (language.size() < 2 || language.size() > 3) return western;
  for (const auto& entry : kLanguages) {
    if (std::string_view(entry.languages).find(" " + language + " ") != std::string_view::npos) {
      return CodePageCharset(entry.codePage);
    }
  }
  return western;
}

std::string SystemFallbackCharset() {
  return FallbackCharsetFor(sys::AnsiCodePage(), sys::LocaleName());
}

}  // namespace qc
