#include "mapi/rtf/html_scan.h"

#include <array>
#include <utility>

namespace qc::mapi::rtf {

namespace {

bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Quotes count only around an attribute's value, so that "<a title='x>y'>" is one tag while a
// stray quote elsewhere does not swallow the rest of the document.
std::size_t TagEnd(std::string_view html, std::size_t at) {
  std::size_t i = at;
  while (i < html.size()) {
    const char c = html[i];
    if (c == '>') return i + 1;
    ++i;
    if (c != '=') continue;
    while (i < html.size() && IsSpace(html[i])) ++i;
    if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
      const std::size_t close = html.find(html[i], i + 1);
      if (close != std::string_view::npos) i = close + 1;
    }
  }
  return html.size();
}

constexpr std::array<std::pair<std::string_view, char32_t>, 24> kNamed = {{
    {"amp", '&'},      {"lt", '<'},        {"gt", '>'},       {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},    {"copy", 0xA9},     {"reg", 0xAE},     {"trade", 0x2122}, {"euro", 0x20AC},
    {"pound", 0xA3},   {"yen", 0xA5},      {"laquo", 0xAB},   {"raquo", 0xBB},   {"middot", 0xB7},
    {"bull", 0x2022},  {"hellip", 0x2026}, {"ndash", 0x2013}, {"mdash", 0x2014}, {"lsquo", 0x2018},
    {"rsquo", 0x2019}, {"ldquo", 0x201C},  {"rdquo", 0x201D}, {"shy", 0xAD},
}};

}  // namespace

std::optional<std::size_t> MarkupEnd(std::string_view html, std::size_t at) {
  if (at + 1 >= html.size() || html[at] != '<') return std::nullopt;
  if (html.substr(at, 4) == "<!--") {
    const std::size_t end = html.find("-->", at + 4);
    return end == std::string_view::npos ? html.size() : end + 3;
  }
  const char next = html[at + 1];
  if (next == '!' || next == '?') {
    const std::size_t end = html.find('>', at + 2);
    return end == std::string_view::npos ? html.size() : end + 1;
  }
  if (IsAlpha(next) || (next == '/' && at + 2 < html.size() && IsAlpha(html[at + 2]))) {
    return TagEnd(html, at + 1);
  }
  return std::nullopt;
}

TagInfo ReadTag(std::string_view markup) {
  TagInfo tag;
  std::size_t i = 1;
  if (i < markup.size() && markup[i] == '/') {
    tag.closing = true;
    ++i;
  }
  if (i >= markup.size() || !IsAlpha(markup[i])) return tag;
  while (i < markup.size() && !IsSpace(markup[i]) && markup[i] != '/' && markup[i] != '>') {
    tag.name.push_back(Lower(markup[i++]));
  }
  tag.selfClosing = markup.ends_with("/>");
  return tag;
}

bool HasRawText(std::string_view tagName) {
  return tagName == "script" || tagName == "style" || tagName == "title" || tagName == "textarea" ||
         tagName == "xmp";
}

std::size_t RawTextEnd(std::string_view html, std::size_t at, std::string_view tagName) {
  for (std::size_t i = html.find("</", at); i != std::string_view::npos;
       i = html.find("</", i + 2)) {
    std::size_t k = 0;
    while (k < tagName.size() && i + 2 + k < html.size() && Lower(html[i + 2 + k]) == tagName[k]) {
      ++k;
    }
    if (k == tagName.size()) return i;
  }
  return html.size();
}

std::size_t EntityLength(std::string_view html, std::size_t at) {
  std::size_t i = at + 1;
  std::size_t digits = 0;
  if (i < html.size() && html[i] == '#') {
    ++i;
    const bool hex = i < html.size() && (html[i] == 'x' || html[i] == 'X');
    if (hex) ++i;
    while (i < html.size() && (hex ? IsHexDigit(html[i]) : IsDigit(html[i])) && digits < 8) {
      ++i, ++digits;
    }
  } else {
    while (i < html.size() && (IsAlpha(html[i]) || (digits > 0 && IsDigit(html[i]))) &&
           digits < 32) {
      ++i, ++digits;
    }
  }
  return digits > 0 && i < html.size() && html[i] == ';' ? i + 1 - at : 0;
}

std::optional<char32_t> EntityValue(std::string_view entity) {
  const std::string_view body = entity.substr(1, entity.size() - 2);
  if (!body.starts_with('#')) {
    for (const auto& [name, value] : kNamed) {
      if (name == body) return value;
    }
    return std::nullopt;
  }
  const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
  char32_t value = 0;
  for (const char c : body.substr(hex ? 2 : 1)) {
    const unsigned digit = IsDigit(c) ? c - '0' : (Lower(c) - 'a' + 10);
    value = value * (hex ? 16 : 10) + digit;
  }
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  return value;
}

}  // namespace qc::mapi::rtf
