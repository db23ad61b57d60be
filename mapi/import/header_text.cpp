#include "mapi/import/header_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>

#include "mapi/import/charset_labels.h"
#include "mapi/import/text_decode.h"
#include "mapi/text.h"

namespace qc::mapi::import {

namespace {

// At most this many unknown labels are noted for one message.
constexpr std::size_t kMostUnknownNoted = 8;

bool HasEscape(std::string_view text) {
  return text.find('\x1B') != std::string_view::npos;
}

bool IsAsciiWithoutEscape(std::string_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return static_cast<unsigned char>(c) >= 0x80 || c == '\x1B'; });
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

struct Token {
  enum Kind { Blank, Word, Encoded };
  static Token Plain(Kind kind, std::string_view text) {
    Token t;
    t.kind = kind;
    t.text = text;
    return t;
  }
  Kind kind = Word;
  std::string_view text;
  std::string_view charset;  // Encoded: the label, without an RFC 2231 language
  char encoding = 0;         // Encoded: 'B' or 'Q'
  std::string_view payload;  // Encoded
};

// "=?charset?B?payload?=" (or "?Q?", a "*language" after the charset), as RFC 2047 has it.
std::optional<Token> EncodedWord(std::string_view word) {
  if (word.size() < 7 || !word.starts_with("=?") || !word.ends_with("?=")) return std::nullopt;
  if (word[2] == '?' || word[2] == '*') return std::nullopt;
  const std::size_t q = word.find('?', 2);
  if (q == std::string_view::npos || q + 2 >= word.size() || word[q + 2] != '?') {
    return std::nullopt;
  }
  const char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(word[q + 1])));
  if (encoding != 'B' && encoding != 'Q') return std::nullopt;
  if (q + 3 > word.size() - 2) return std::nullopt;
  Token t;
  t.kind = Token::Encoded;
  t.text = word;
  t.charset = word.substr(2, q - 2);
  t.charset = t.charset.substr(0, t.charset.find('*'));
  t.encoding = encoding;
  t.payload = word.substr(q + 3, word.size() - 2 - (q + 3));
  return t;
}

// Words and blanks of unfolded header text, found as lenient programs find them: an encoded
// word may stand inside other text and hold blanks; "=?" without its end is plain text.
std::vector<Token> Tokenize(std::string_view t) {
  std::vector<Token> tokens;
  const std::size_t n = t.size();
  std::size_t i = 0;
  const auto startsEncoded = [&](std::size_t at) { return t.compare(at, 2, "=?") == 0; };
  // Where the last search for an encoded word's end found none: none lies past it either, so
  // text of many "=?x?Q?" without an end is read once, not once for each of them.
  std::size_t noEndFrom = std::string_view::npos;
  while (i < n) {
    const std::size_t blank = i;
    while (i < n && IsBlank(t[i])) ++i;
    if (i > blank) tokens.push_back(Token::Plain(Token::Blank, t.substr(blank, i - blank)));
    if (i >= n) break;
    const std::size_t word = i;
    bool plain = true;
    if (startsEncoded(i)) {
      std::size_t j = i + 2;
      while (j < n && t[j] != '?') ++j;
      if (j + 2 < n && std::string_view("BbQq").find(t[j + 1]) != std::string_view::npos &&
          t[j + 2] == '?') {
        const std::size_t end = j + 3 >= noEndFrom ? std::string_view::npos : t.find("?=", j + 3);
        if (end == std::string_view::npos) noEndFrom = std::min(noEndFrom, j + 3);
        if (end == std::string_view::npos) {
          i = word + 2;
        } else {
          i = end + 2;
          plain = false;
        }
      } else {
        i = j;
      }
    }
    if (plain) {
      while (i < n && !IsBlank(t[i]) && !startsEncoded(i)) ++i;
    }
    const std::string_view text = t.substr(word, i - word);
    if (auto encoded = EncodedWord(text)) {
      tokens.push_back(*encoded);
    } else {
      tokens.push_back(Token::Plain(Token::Word, text));
    }
  }
  return tokens;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Base64 over the payloads of a run of encoded words. A quartet may be split across two words;
// padding ends the bytes of its own word only (programs pad every word of a long name).
class Base64Run {
 public:
  void feed(std::string_view payload, std::string& out) {
    for (const char c : payload) {
      const int rank = Rank(c);
      if (rank >= 0) {
        saved_ = (saved_ << 6) | static_cast<std::uint32_t>(rank);
        if (++n_ == 4) {
          out += static_cast<char>(saved_ >> 16);
          out += static_cast<char>(saved_ >> 8);
          out += static_cast<char>(saved_);
          n_ = 0;
          saved_ = 0;
        }
      } else if (c == '=') {
        finish(out);
      }
    }
  }
  // What a quartet cut short holds.
  void finish(std::string& out) {
    if (n_ >= 2) {
      saved_ <<= 6 * (4 - n_);
      out += static_cast<char>(saved_ >> 16);
      if (n_ == 3) out += static_cast<char>(saved_ >> 8);
    }
    n_ = 0;
    saved_ = 0;
  }

 private:
  static int Rank(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  }
  int n_ = 0;
  std::uint32_t saved_ = 0;
};

// RFC 2047's quoted-printable: "_" a space, "=XX" a byte, a lone "=" itself.
void QDecode(std::string_view payload, std::string& out) {
  for (std::size_t i = 0; i < payload.size(); ++i) {
    const char c = payload[i];
    if (c == '_') {
      out += ' ';
    } else if (c == '=' && i + 2 < payload.size() && HexValue(payload[i + 1]) >= 0 &&
               HexValue(payload[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(payload[i + 1]) * 16 + HexValue(payload[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
}

// The run of encoded words that starts at tokens[i] (same charset and encoding, blanks
// between): its decoded bytes, and the index of its last word.
std::string DecodeRun(const std::vector<Token>& tokens, std::size_t i, std::size_t& last) {
  const Token& first = tokens[i];
  std::string bytes;
  Base64Run base64;
  std::string quoted;  // Q payloads joined: "=E2=82" and "=AC" make one character
  last = i;
  for (std::size_t k = i; k < tokens.size(); ++k) {
    const Token& t = tokens[k];
    if (t.kind == Token::Blank) continue;
    if (t.kind != Token::Encoded || t.encoding != first.encoding ||
        !EqualsIgnoringCase(t.charset, first.charset)) {
      break;
    }
    if (t.encoding == 'B') {
      base64.feed(t.payload, bytes);
    } else {
      quoted += t.payload;
    }
    last = k;
  }
  if (first.encoding == 'B') {
    base64.finish(bytes);
  } else {
    QDecode(quoted, bytes);
  }
  return bytes;
}

// Whether the blank at tokens[i] stands between two encoded words (and so is no text).
bool BetweenEncodedWords(const std::vector<Token>& tokens, std::size_t i) {
  return i > 0 && i + 1 < tokens.size() && tokens[i - 1].kind == Token::Encoded &&
         tokens[i + 1].kind == Token::Encoded;
}

void AppendRaw(std::string& out, std::string& raw, const RawTextReader& reader) {
  if (raw.empty()) return;
  out += IsAsciiWithoutEscape(raw) ? raw : reader.read(raw);
  raw.clear();
}

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
  }
  return out;
}

// Header text made of its tokens: raw runs through `raw`, encoded runs through `encoded`.
template <class Raw, class Encoded>
std::string Rebuild(std::string_view text, const Raw& raw, const Encoded& encoded) {
  const std::vector<Token> tokens = Tokenize(text);
  std::string out;
  std::string pending;  // raw text not yet read
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == Token::Blank) {
      if (!BetweenEncodedWords(tokens, i)) pending += t.text;
    } else if (t.kind == Token::Word) {
      pending += t.text;
    } else {
      raw(out, pending);
      std::size_t last = i;
      const std::string bytes = DecodeRun(tokens, i, last);
      encoded(out, bytes, t.charset);
      i = last;
    }
  }
  raw(out, pending);
  return out;
}

// Skips blanks and (nested) comments.
void SkipBlanksAndComments(std::string_view t, std::size_t& i) {
  while (i < t.size()) {
    if (IsBlank(t[i])) {
      ++i;
    } else if (t[i] == '(') {
      int depth = 0;
      for (; i < t.size(); ++i) {
        if (t[i] == '\\' && i + 1 < t.size()) {
          ++i;  // a quoted character, whatever it is
        } else if (t[i] == '(') {
          ++depth;
        } else if (t[i] == ')' && --depth == 0) {
          ++i;
          break;
        }
      }
    } else {
      break;
    }
  }
}

bool IsParameterNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 32 && u < 127 &&
         std::string_view("()<>@,;:\\\"/[]?=*").find(c) == std::string_view::npos;
}

// A parameter value: a quoted string (escapes undone; to the end when unclosed), or anything
// up to the next ';' without the blanks before it, as lenient programs take a token.
std::string ParameterValue(std::string_view t, std::size_t& i) {
  SkipBlanksAndComments(t, i);
  std::string value;
  if (i < t.size() && t[i] == '"') {
    for (++i; i < t.size() && t[i] != '"'; ++i) {
      if (t[i] == '\\' && i + 1 < t.size()) ++i;
      value += t[i];
    }
    if (i < t.size()) ++i;
    return value;
  }
  const std::size_t start = i;
  while (i < t.size() && t[i] != ';') ++i;
  std::size_t end = i;
  while (end > start && IsBlank(t[end - 1])) --end;
  return std::string(t.substr(start, end - start));
}

// "%XX" as the byte it stands for.
std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

RawTextReader::RawTextReader(std::function<std::vector<std::string>()> declared,
                             std::string fallback, const RawTextReader* enclosing,
                             std::set<std::string>* unknown)
    : source_(std::move(declared)),
      fallback_(std::move(fallback)),
      enclosing_(enclosing),
      unknown_(unknown) {}

const std::vector<std::string>& RawTextReader::declared() const {
  if (!declared_) {
    std::vector<std::string> all = source_ ? source_() : std::vector<std::string>();
    if (enclosing_ != nullptr) {
      for (const std::string& label : enclosing_->declared()) {
        if (std::find(all.begin(), all.end(), label) == all.end()) all.push_back(label);
      }
    }
    declared_ = std::move(all);
  }
  return *declared_;
}

void RawTextReader::noteUnknown(std::string_view label) const {
  if (unknown_ != nullptr && unknown_->size() < kMostUnknownNoted) {
    unknown_->insert(std::string(label.substr(0, 64)));
  }
}

std::string RawTextReader::read(std::string_view bytes) const {
  if (IsAsciiWithoutEscape(bytes)) return std::string(bytes);
  if (HasEscape(bytes)) {
    // ISO-2022 text is 7-bit and would pass for UTF-8: its escapes tell it.
    std::vector<std::string_view> candidates;
    for (const std::string& label : declared()) {
      const CharsetLabel read = ReadCharsetLabel(label);
      if (read.kind == CharsetKind::Iconv && read.iconvName.starts_with("ISO-2022-")) {
        candidates.push_back(label);
      }
    }
    candidates.push_back("iso-2022-jp");
    candidates.push_back("iso-2022-kr");
    for (const std::string_view label : candidates) {
      if (auto text = ToUtf8Exactly(bytes, label); text && !HasEscape(*text)) return *text;
    }
  }
  if (IsValidUtf8(bytes)) return std::string(bytes);
  for (const std::string& label : declared()) {
    // Charsets of 7-bit or 16-bit units read 8-bit text as something it is not.
    const CharsetLabel read = ReadCharsetLabel(label);
    if (read.kind == CharsetKind::Iconv && read.iconvName.starts_with("UTF-")) continue;
    if (auto text = ToUtf8Exactly(bytes, label)) return *text;
  }
  return GuessUtf8(bytes, fallback_);
}

std::string RawTextReader::read(std::string_view bytes, std::string_view label) const {
  const CharsetLabel charset = ReadCharsetLabel(label);
  if (!charset.known) noteUnknown(label);
  if (charset.kind != CharsetKind::None) {
    if (auto text = ToUtf8Exactly(bytes, label)) return *text;
  }
  return read(bytes);
}

bool NeedsDecoding(std::string_view raw) {
  // Two simple passes cost less than one that tests three things at each byte.
  return !IsAsciiWithoutEscape(raw) || raw.find("=?") != std::string_view::npos;
}

std::string Unfold(std::string_view raw) {
  while (!raw.empty() && IsBlank(raw.front())) raw.remove_prefix(1);
  while (!raw.empty() && IsBlank(raw.back())) raw.remove_suffix(1);
  std::string out;
  out.reserve(raw.size());
  std::size_t from = 0;
  for (std::size_t k = 0; k < raw.size(); ++k) {
    if (raw[k] == '\r' || raw[k] == '\n') {
      out.append(raw.data() + from, k - from);
      from = k + 1;
    }
  }
  return out.append(raw.data() + from, raw.size() - from);
}

std::string DecodeHeaderText(std::string_view raw, const RawTextReader& reader) {
  const std::string text = Unfold(raw);
  if (!NeedsDecoding(text)) return text;
  return Rebuild(
      text, [&](std::string& out, std::string& pending) { AppendRaw(out, pending, reader); },
      [&](std::string& out, const std::string& bytes, std::string_view charset) {
        out += reader.read(bytes, charset);
      });
}

std::string Utf8HeaderValue(std::string_view raw, const RawTextReader& reader) {
  const std::string text = Unfold(raw);
  if (!NeedsDecoding(text)) return text;
  return Rebuild(
      text, [&](std::string& out, std::string& pending) { AppendRaw(out, pending, reader); },
      [&](std::string& out, const std::string& bytes, std::string_view charset) {
        out += "=?UTF-8?B?" + Base64Encode(reader.read(bytes, charset)) + "?=";
      });
}

std::optional<std::string> HeaderParameter(std::string_view raw, std::string_view name,
                                           const RawTextReader& reader) {
  const std::string t = Unfold(raw);
  // The type or disposition before the parameters, quoted strings and all.
  std::size_t i = 0;
  for (bool quoted = false; i < t.size() && (quoted || t[i] != ';'); ++i) {
    if (t[i] == '"') quoted = !quoted;
  }
  // RFC 2231 parts of the parameter by number, each encoded or not; the first part's charset.
  std::map<int, std::pair<bool, std::string>> parts;
  bool continued = false;
  while (i < t.size() && t[i] == ';') {
    ++i;
    SkipBlanksAndComments(t, i);
    const std::size_t start = i;
    while (i < t.size() && IsParameterNameChar(t[i])) ++i;
    const std::string_view parameter = std::string_view(t).substr(start, i - start);
    SkipBlanksAndComments(t, i);
    int part = -1;
    bool encoded = false;
    if (i < t.size() && t[i] == '*') {
      ++i;
      SkipBlanksAndComments(t, i);
      if (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        part = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9' && part < 10000) {
          part = part * 10 + (t[i++] - '0');
        }
        SkipBlanksAndComments(t, i);
        if (i < t.size() && t[i] == '*') {
          encoded = true;
          ++i;
          SkipBlanksAndComments(t, i);
        }
      } else {
        encoded = true;
      }
    }
    if (i >= t.size() || t[i] != '=' || parameter.empty()) {
      while (i < t.size() && t[i] != ';') ++i;  // not a parameter: on to the next
      continue;
    }
    ++i;
    std::string value = ParameterValue(t, i);
    SkipBlanksAndComments(t, i);
    if (!EqualsIgnoringCase(parameter, name)) continue;
    if (part >= 0) {
      if (!parts.count(part)) parts[part] = {encoded, std::move(value)};
      continued = true;
      continue;
    }
    if (continued) continue;  // the continued value came first
    if (!encoded) {
      return NeedsDecoding(value) ? DecodeHeaderText(value, reader) : value;
    }
    parts[0] = {true, std::move(value)};
    break;
  }
  if (parts.empty()) return std::nullopt;
  // charset'language'%XX...: the charset and language only before the first part.
  std::string charset;
  std::string bytes;
  for (auto& [number, part] : parts) {
    auto& [encoded, value] = part;
    std::string_view text = value;
    if (encoded && &part == &parts.begin()->second) {
      const std::size_t quote = text.find('\'');
      const std::size_t second =
          quote == std::string_view::npos ? quote : text.find('\'', quote + 1);
      if (second != std::string_view::npos) {
        charset = std::string(text.substr(0, quote));
        text.remove_prefix(second + 1);
      }
    }
    bytes += encoded ? PercentDecode(text) : std::string(text);
  }
  return charset.empty() ? reader.read(bytes) : reader.read(bytes, charset);
}

}  // namespace qc::mapi::import
