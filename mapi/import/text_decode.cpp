#include "mapi/import/text_decode.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
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

namespace {

struct NamedEntity {
  const char* name;
  std::uint32_t cp;
};
constexpr NamedEntity kEntities[] = {
    {"amp", '&'},      {"lt", '<'},       {"gt", '>'},       {"quot", '"'},      {"apos", '\''},
    {"nbsp", 0xA0},    {"ndash", 0x2013}, {"mdash", 0x2014}, {"hellip", 0x2026}, {"copy", 0xA9},
    {"reg", 0xAE},     {"trade", 0x2122}, {"euro", 0x20AC},  {"laquo", 0xAB},    {"raquo", 0xBB},
    {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"ldquo", 0x201C}, {"rdquo", 0x201D},  {"bull", 0x2022},
    {"auml", 0xE4},    {"ouml", 0xF6},    {"uuml", 0xFC},    {"Auml", 0xC4},     {"Ouml", 0xD6},
    {"Uuml", 0xDC},    {"szlig", 0xDF},   {"eacute", 0xE9},  {"egrave", 0xE8},   {"agrave", 0xE0},
    {"ccedil", 0xE7},  {"deg", 0xB0},
};

// Decodes the entity starting at text[0] == '&'; returns how many bytes it used (0: none).
std::size_t DecodeEntity(std::string_view text, std::string& out) {
  const std::size_t semi = text.find(';');
  if (semi == std::string_view::npos || semi < 2 || semi > 10) return 0;
  const std::string_view body = text.substr(1, semi - 1);
  std::uint32_t cp = 0;
  if (body[0] == '#') {
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty()) return 0;
    for (char c : digits) {
      const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                    : hex && std::isxdigit(static_cast<unsigned char>(c))
                        ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                        : -1;
      if (v < 0) return 0;
      cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
      if (cp > 0x10FFFF) return 0;
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  } else {
    for (const auto& e : kEntities) {
      if (body == e.name) cp = e.cp;
    }
    if (cp == 0) return 0;
  }
  AppendUtf8(out, cp == 0xA0 ? ' ' : cp);
  return semi + 1;
}

bool IsBlockTag(std::string_view name) {
  static constexpr const char* kBlocks[] = {"br", "p",  "div",        "tr",  "li", "h1",
                                            "h2", "h3", "h4",         "h5",  "h6", "table",
                                            "ul", "ol", "blockquote", "pre", "hr", "title"};
  for (const char* b : kBlocks) {
    if (name == b) return true;
  }
  return false;
}

// Collapses runs of spaces, trims line ends, and keeps at most one empty line in a row.
std::string TidyLines(std::string_view text) {
  std::string out;
  std::string line;
  int emptyLines = 0;
  auto flush = [&] {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (line.empty()) {
      if (++emptyLines > 1 || out.empty()) return;
    } else {
      emptyLines = 0;
    }
    out += line;
    out += '\n';
    line.clear();
  };
  for (char c : text) {
    if (c == '\n') {
      flush();
    } else if (c == ' ' || c == '\t' || c == '\r') {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  flush();
  while (out.size() >= 2 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n') {
    out.pop_back();
  }
  return out;
}

}  // namespace

std::string HtmlToText(std::string_view html) {
  std::string flat;
  flat.reserve(html.size());
  std::size_t i = 0;
  std::string skipUntil;  // closing tag whose content is not text (script, style, title)
  const std::string lower = Lower(html);
  // Where each skipped element's closing tag was last found, so that many unclosed openings
  // do not each search the rest of the document.
  std::map<std::string, std::size_t> closingAt;
  auto IsClosedLater = [&](const std::string& name, std::size_t from) {
    auto [it, added] = closingAt.try_emplace(name, 0);
    if (added || (it->second != std::string::npos && it->second < from)) {
      it->second = lower.find("</" + name, from);
    }
    return it->second != std::string::npos;
  };
  while (i < html.size()) {
    const char c = html[i];
    if (c == '<') {
      if (html.compare(i, 4, "<!--") == 0) {
        const std::size_t end = html.find("-->", i + 4);
        i = end == std::string_view::npos ? html.size() : end + 3;
        continue;
      }
      const std::size_t end = html.find('>', i);
      const std::string_view tag =
          html.substr(i + 1, (end == std::string_view::npos ? html.size() : end) - i - 1);
      i = end == std::string_view::npos ? html.size() : end + 1;
      const bool closing = !tag.empty() && tag[0] == '/';
      std::size_t n = closing ? 1 : 0;
      while (n < tag.size() && std::isalnum(static_cast<unsigned char>(tag[n]))) ++n;
      const std::string name = Lower(tag.substr(closing ? 1 : 0, n - (closing ? 1 : 0)));
      if (!skipUntil.empty()) {
        if (closing && name == skipUntil) skipUntil.clear();
        continue;
      }
      // Only when the element is closed somewhere: an unclosed <style> must not hide the text.
      if (!closing && (name == "script" || name == "style" || name == "title") &&
          IsClosedLater(name, i)) {
        skipUntil = name;
        continue;
      }
      // An item ends where the next begins, so only containers end a line when they close.
      if (IsBlockTag(name) && (!closing || (name != "li" && name != "br"))) flat += '\n';
      if (name == "li" && !closing) flat += "* ";
      if ((name == "td" || name == "th") && closing) flat += ' ';
      continue;
    }
    if (!skipUntil.empty()) {
      ++i;
      continue;
    }
    if (c == '&') {
      if (const std::size_t used = DecodeEntity(html.substr(i), flat); used > 0) {
        i += used;
        continue;
      }
    }
    flat += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    ++i;
  }
  return TidyLines(flat);
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
