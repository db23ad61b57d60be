#include "mapi/import/text_decode.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "mapi/import/gmime_support.h"
#include "mapi/text.h"
#include "util/cp1252.h"
#include "util/per_thread.h"

namespace qc::mapi::import {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// Valid UTF-8 sequences kept, each stray byte read as windows-1252: a message labelled UTF-8
// that carries a few Latin-1 bytes keeps both its real characters and the stray ones.
std::string RepairUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t ascii = AsciiPrefix(bytes);
    out.append(bytes.substr(0, ascii));
    bytes.remove_prefix(ascii);
    if (bytes.empty()) break;
    std::size_t n = 0;
    if (NextUtf8(bytes, n)) {
      out.append(bytes.substr(0, n));
    } else {
      AppendWindows1252(out, static_cast<unsigned char>(bytes[0]));
    }
    bytes.remove_prefix(n);
  }
  return out;
}

// The converters to UTF-8 a thread has opened, by charset, kept between messages: opening one
// costs more than converting a header with it. A charset the converter does not read is kept
// as such too.
struct OpenConverters {
  std::map<std::string, GIConv, std::less<>> byCharset;
  OpenConverters() = default;
  OpenConverters(const OpenConverters&) = delete;
  OpenConverters& operator=(const OpenConverters&) = delete;
  ~OpenConverters() {
    for (const auto& [charset, cd] : byCharset) {
      if (cd != reinterpret_cast<GIConv>(-1)) g_iconv_close(cd);
    }
  }
};

GIConv ConverterFrom(const std::string& iconvName) {
  auto& open = PerThread<OpenConverters>().byCharset;
  auto it = open.find(iconvName);
  if (it == open.end())
    it = open.emplace(iconvName, g_iconv_open("UTF-8", iconvName.c_str())).first;
  return it->second;
}

// The whole of `bytes` through iconv, or nothing when a byte does not fit (or the text ends
// inside a character), as g_convert() would give it.
std::optional<std::string> Convert(std::string_view bytes, const std::string& iconvName) {
  if (bytes.empty()) return std::string();
  GIConv cd = ConverterFrom(iconvName);
  if (cd == reinterpret_cast<GIConv>(-1)) return std::nullopt;
  g_iconv(cd, nullptr, nullptr, nullptr, nullptr);  // from the initial state
  std::string out(bytes.size() * 2 + 16, '\0');
  gchar* in = const_cast<gchar*>(bytes.data());
  gsize inLeft = bytes.size();
  std::size_t used = 0;
  for (bool flushing = false;;) {
    gchar* to = out.data() + used;
    gsize room = out.size() - used;
    const gsize done = flushing ? g_iconv(cd, nullptr, nullptr, &to, &room)
                                : g_iconv(cd, &in, &inLeft, &to, &room);
    used = static_cast<std::size_t>(to - out.data());
    if (done == static_cast<gsize>(-1)) {
      if (errno != E2BIG) return std::nullopt;  // a byte that does not fit, or a cut character
      out.resize(out.size() * 2);
      continue;
    }
    if (flushing) break;
    flushing = true;  // the shift back to ASCII a stateful charset may owe
  }
  out.resize(used);
  return out;
}

struct CharsetCodePage {
  const char* name;
  int codePage;
};
constexpr CharsetCodePage kCodePages[] = {
    {"utf-8", 65001},       {"utf8", 65001},         {"us-ascii", 20127},
    {"ascii", 20127},       {"iso-8859-1", 28591},   {"latin1", 28591},
    {"iso-8859-2", 28592},  {"iso-8859-3", 28593},   {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},  {"iso-8859-6", 28596},   {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},  {"iso-8859-9", 28599},   {"iso-8859-13", 28603},
    {"iso-8859-15", 28605}, {"windows-1250", 1250},  {"windows-1251", 1251},
    {"windows-1252", 1252}, {"windows-1253", 1253},  {"windows-1254", 1254},
    {"windows-1255", 1255}, {"windows-1256", 1256},  {"windows-1257", 1257},
    {"windows-1258", 1258}, {"cp1252", 1252},        {"koi8-r", 20866},
    {"koi8-u", 21866},      {"shift_jis", 932},      {"shift-jis", 932},
    {"euc-jp", 51932},      {"iso-2022-jp", 50220},  {"gb2312", 936},
    {"gbk", 936},           {"gb18030", 54936},      {"big5", 950},
    {"euc-kr", 51949},      {"ks_c_5601-1987", 949}, {"iso-2022-kr", 50225},
    {"utf-16", 1200},       {"utf-16le", 1200},      {"utf-16be", 1201},
    {"tis-620", 874},       {"windows-874", 874},
};

// The code pages of the charsets the labels are read as, where the label itself is not listed
// above. ISO-8859-N and CPnnnn follow their numbers.
constexpr CharsetCodePage kCanonicalCodePages[] = {
    {"KOI8-R", 20866},       {"KOI8-U", 21866},
    {"GB18030", 54936},      {"BIG5", 950},
    {"EUC-JP", 51932},       {"ISO-2022-JP", 50220},
    {"ISO-2022-KR", 50225},  {"MACINTOSH", 10000},
    {"MAC-CYRILLIC", 10007}, {"MAC-CENTRALEUROPE", 10029},
    {"MAC-IS", 10079},       {"TIS-620", 874},
    {"UTF-16", 1200},        {"UTF-16LE", 1200},
    {"UTF-16BE", 1201},
};

}  // namespace

CharsetReading ReadingOf(std::string_view charset, std::string& iconvName) {
  CharsetLabel label = ReadCharsetLabel(charset);
  switch (label.kind) {
    case CharsetKind::Windows1252:
      return CharsetReading::Windows1252;
    case CharsetKind::Utf8:
      return CharsetReading::Utf8;
    case CharsetKind::Iconv:
      iconvName = std::move(label.iconvName);
      return CharsetReading::Iconv;
    case CharsetKind::None:
      break;
  }
  return CharsetReading::Guess;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset, std::string_view fallback) {
  std::string iconvName;
  switch (ReadingOf(charset, iconvName)) {
    case CharsetReading::Windows1252:
      return Windows1252ToUtf8(bytes);
    case CharsetReading::Guess:
      return GuessUtf8(bytes, fallback);
    case CharsetReading::Utf8:
      return RepairUtf8(bytes);
    case CharsetReading::Iconv:
      break;
  }
  const auto converted = Convert(bytes, iconvName);
  if (!converted) return GuessUtf8(bytes, fallback);
  return RepairUtf8(*converted);
}

std::optional<std::string> ToUtf8Exactly(std::string_view bytes, std::string_view charset) {
  std::string iconvName;
  switch (ReadingOf(charset, iconvName)) {
    case CharsetReading::Windows1252:
      // The five bytes the code page leaves undefined do not fit it.
      for (const char c : bytes) {
        if (IsUndefinedInWindows1252(static_cast<std::uint8_t>(c))) return std::nullopt;
      }
      return Windows1252ToUtf8(bytes);
    case CharsetReading::Utf8:
      if (!IsValidUtf8(bytes)) return std::nullopt;
      return std::string(bytes);
    case CharsetReading::Iconv:
      if (auto converted = Convert(bytes, iconvName); converted && IsValidUtf8(*converted)) {
        return converted;
      }
      return std::nullopt;
    case CharsetReading::Guess:
      break;
  }
  return std::nullopt;
}

std::string GuessUtf8(std::string_view bytes, std::string_view fallback) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  if (auto read = ToUtf8Exactly(bytes, fallback)) return std::move(*read);
  return Windows1252ToUtf8(bytes);
}

std::optional<int> CodePageOf(std::string_view charset) {
  const std::string lower = Lower(charset);
  for (const auto& entry : kCodePages) {
    if (lower == entry.name) return entry.codePage;
  }
  // Another label of a charset that has a code page ("x-sjis", "iso8859-2", "cp-1251").
  const CharsetLabel label = ReadCharsetLabel(charset);
  if (label.kind == CharsetKind::Windows1252) return 1252;
  if (label.kind == CharsetKind::Utf8) return 65001;
  if (label.kind != CharsetKind::Iconv) return std::nullopt;
  for (const auto& entry : kCanonicalCodePages) {
    if (label.iconvName == entry.name) return entry.codePage;
  }
  // Windows has code pages for these parts of ISO 8859 and these of the C library's CPnnn.
  const std::string_view name = label.iconvName;
  if (name.starts_with("ISO-8859-")) {
    const int part = std::stoi(std::string(name.substr(9)));
    if ((part >= 1 && part <= 9) || part == 13 || part == 15) return 28590 + part;
  } else if (name.starts_with("CP")) {
    const int page = std::stoi(std::string(name.substr(2)));
    if (page != 1125) return page;
  }
  return std::nullopt;
}

std::string MetaCharset(std::string_view html) {
  const std::string head = Lower(html.substr(0, 4096));
  std::size_t at = head.find("charset=");
  while (at != std::string::npos) {
    // Only inside a <meta> element: the word may also appear in the text.
    const std::size_t tag = head.rfind('<', at);
    if (tag != std::string::npos && head.compare(tag, 5, "<meta") == 0) {
      std::size_t start = at + 8;
      while (start < head.size() && (head[start] == '"' || head[start] == '\'')) ++start;
      std::size_t end = start;
      while (end < head.size() &&
             (std::isalnum(static_cast<unsigned char>(head[end])) || head[end] == '-' ||
              head[end] == '_' || head[end] == ':' || head[end] == '.')) {
        ++end;
      }
      if (end > start) return head.substr(start, end - start);
    }
    at = head.find("charset=", at + 8);
  }
  return {};
}

std::string ToCrlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  std::size_t run = 0;  // where the bytes not yet copied begin
  if (text.find('\0') == std::string_view::npos) {
    // The usual text, without NULs: from line end to line end, which memchr finds.
    for (std::size_t i = text.find('\n'); i != std::string_view::npos; i = text.find('\n', i + 1)) {
      if (i > 0 && text[i - 1] == '\r') continue;
      out.append(text.substr(run, i - run));
      out += '\r';
      run = i;
    }
    out.append(text.substr(run));
    return out;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0') {
      out.append(text.substr(run, i - run));
      run = i + 1;
    } else if (c == '\n' && (i == 0 || text[i - 1] != '\r')) {
      out.append(text.substr(run, i - run));
      out += '\r';
      run = i;
    }
  }
  out.append(text.substr(run));
  return out;
}

}  // namespace qc::mapi::import
