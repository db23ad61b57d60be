#include "mapi/import/text_decode.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <utility>

#include "mapi/import/gmime_support.h"
#include "mapi/text.h"

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

std::string Guess(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
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
    {"utf-7", 65000},       {"tis-620", 874},        {"windows-874", 874},
};

bool IsLatin1(std::string_view lower) {
  return lower == "iso-8859-1" || lower == "iso_8859-1" || lower == "latin1" ||
         lower == "windows-1252" || lower == "cp1252" || lower == "x-user-defined";
}

bool IsAscii(std::string_view lower) {
  return lower == "us-ascii" || lower == "ascii";
}

}  // namespace

CharsetReading ReadingOf(std::string_view charset, std::string& iconvName) {
  const std::string lower = Lower(charset);
  // Latin-1 labels are read as windows-1252, its superset in practice (as browsers do).
  if (IsLatin1(lower)) return CharsetReading::Windows1252;
  if (lower.empty() || IsAscii(lower)) return CharsetReading::Guess;
  if (lower == "utf-8" || lower == "utf8") return CharsetReading::Utf8;
  EnsureGMimeInitialized();
  const char* name = g_mime_charset_iconv_name(lower.c_str());
  if (name == nullptr) return CharsetReading::Guess;
  iconvName = name;
  return CharsetReading::Iconv;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
  std::string iconvName;
  switch (ReadingOf(charset, iconvName)) {
    case CharsetReading::Windows1252:
      return Windows1252ToUtf8(bytes);
    case CharsetReading::Guess:
      return Guess(bytes);
    case CharsetReading::Utf8:
      return RepairUtf8(bytes);
    case CharsetReading::Iconv:
      break;
  }
  gsize written = 0;
  GError* error = nullptr;
  GString converted(g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                              iconvName.c_str(), nullptr, &written, &error));
  if (error != nullptr) g_error_free(error);
  if (!converted) return Guess(bytes);
  return RepairUtf8(std::string_view(converted.get(), written));
}

std::optional<int> CodePageOf(std::string_view charset) {
  const std::string lower = Lower(charset);
  for (const auto& entry : kCodePages) {
    if (lower == entry.name) return entry.codePage;
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
