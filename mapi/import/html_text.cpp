#include "mapi/import/html_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>

#include "mapi/text.h"

namespace qc::mapi::import {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

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

void HtmlToTextStream::put(char c, std::string& out) {
  if (c == '\n') {
    if (inLine_) {
      out += '\n';
      inLine_ = false;
      space_ = false;
    } else if (started_) {
      emptyLine_ = true;  // at most one between lines, and none at the end
    }
    return;
  }
  if (c == ' ' || c == '\t' || c == '\r') {
    space_ = inLine_;
    return;
  }
  if (!inLine_) {
    if (emptyLine_) out += '\n';
    emptyLine_ = false;
    inLine_ = true;
    started_ = true;
  } else if (space_) {
    out += ' ';
  }
  space_ = false;
  out += c;
}

void HtmlToTextStream::put(std::string_view text, std::string& out) {
  for (const char c : text) put(c, out);
}

void HtmlToTextStream::tagEffect(const std::string& name, bool closing, std::string& out) {
  // An item ends where the next begins, so only containers end a line when they close.
  if (IsBlockTag(name) && (!closing || (name != "li" && name != "br"))) put('\n', out);
  if (name == "li" && !closing) put("* ", out);
  if ((name == "td" || name == "th") && closing) put(' ', out);
}

void HtmlToTextStream::tagRead(std::string& out) {
  state_ = State::Text;
  if (!skipUntil_.empty()) {
    if (closing_ && name_ == skipUntil_) skipUntil_.clear();
    return;
  }
  if (!closing_ && (name_ == "script" || name_ == "style" || name_ == "title")) {
    pending_ = name_;  // its effect waits for its end tag to be found, or not
    pendingSeen_ = 0;
    return;
  }
  tagEffect(name_, closing_, out);
}

void HtmlToTextStream::feed(std::string_view html, bool last, std::string& out) {
  held_.append(html);
  std::size_t p = 0;
  while (p < held_.size()) {
    if (!pending_.empty()) {
      const std::string end = "</" + pending_;
      const std::size_t from = p + pendingSeen_;
      const auto found = std::search(
          held_.begin() + static_cast<std::ptrdiff_t>(from), held_.end(), end.begin(), end.end(),
          [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
      if (found != held_.end()) {
        skipUntil_ = pending_;
      } else if (!last && held_.size() - p <= kLookAhead) {
        pendingSeen_ = held_.size() - p - std::min(held_.size() - p, end.size());
        break;  // it may close in the next piece
      } else {
        tagEffect(pending_, false, out);  // not closed: its content is text
      }
      pending_.clear();
      continue;
    }
    if (state_ == State::Comment) {
      const std::size_t end = held_.find("-->", p);
      if (end != std::string::npos) {
        p = end + 3;
        state_ = State::Text;
      } else {
        // Keep what could begin the end of the comment.
        p = last ? held_.size()
                 : std::max(p, held_.size() - std::min<std::size_t>(held_.size(), 2));
        break;
      }
      continue;
    }
    if (state_ == State::Tag) {
      while (p < held_.size() && held_[p] != '>') {
        const auto c = static_cast<unsigned char>(held_[p++]);
        if (!tagStarted_) {
          tagStarted_ = true;
          if (c == '/') {
            closing_ = true;
            continue;
          }
        }
        if (nameDone_) continue;
        if (!std::isalnum(c)) {
          nameDone_ = true;
        } else if (name_.size() < 32) {  // longer than any name looked for
          name_ += static_cast<char>(std::tolower(c));
        }
      }
      if (p == held_.size() && !last) break;  // the tag goes on in the next piece
      if (p < held_.size()) ++p;              // its '>'
      tagRead(out);
      continue;
    }
    const char c = held_[p];
    if (c == '<') {
      if (held_.size() - p < 4 && !last) break;
      if (held_.compare(p, 4, "<!--") == 0) {
        p += 4;
        state_ = State::Comment;
        continue;
      }
      ++p;
      state_ = State::Tag;
      name_.clear();
      closing_ = false;
      tagStarted_ = false;
      nameDone_ = false;
      continue;
    }
    if (!skipUntil_.empty()) {
      ++p;
      continue;
    }
    if (c == '&') {
      // An entity ends at a ';' within its first 11 bytes.
      if (held_.size() - p < 11 && !last) break;
      std::string decoded;
      if (const std::size_t used = DecodeEntity(std::string_view(held_).substr(p, 11), decoded)) {
        put(decoded, out);
        p += used;
        continue;
      }
    }
    put(c == '\n' || c == '\r' || c == '\t' ? ' ' : c, out);
    ++p;
  }
  held_.erase(0, p);
  if (last && inLine_) {
    out += '\n';
    inLine_ = false;
  }
}

}  // namespace qc::mapi::import
