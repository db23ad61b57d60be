#include "mapi/rtf/tests/deencapsulate.h"

#include <stdexcept>
#include <vector>

#include "mapi/rtf/code_page_1252.h"
#include "mapi/text.h"

namespace qc::mapi::rtf::testing {

namespace {

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::runtime_error("bad hex digit in \\'hh");
}

class Reader {
 public:
  explicit Reader(bool plain) : plain_(plain) {}

  Recovered read(std::string_view rtf) {
    std::size_t i = 0;
    bool ended = false;
    while (i < rtf.size()) {
      const char c = rtf[i];
      if (ended) {
        if (c != '\r' && c != '\n' && c != '\0') throw std::runtime_error("text after the end");
        ++i;
      } else if (c == '{') {
        stack_.push_back(state_);
        groupStart_ = true;
        skip_ = 0;
        ++i;
        continue;
      } else if (c == '}') {
        if (stack_.empty()) throw std::runtime_error("unbalanced }");
        state_ = stack_.back();
        stack_.pop_back();
        ended = stack_.empty();
        skip_ = 0;
        ++i;
      } else if (c == '\\') {
        i = control(rtf, i);
        continue;  // control() keeps track of the group start itself
      } else if (c == '\r' || c == '\n') {
        ++i;
        continue;
      } else {
        character(FromCodePage1252(static_cast<unsigned char>(c)));
        ++i;
      }
      groupStart_ = false;
    }
    if (!ended) throw std::runtime_error("the document is not closed");
    return {kind_, Utf8FromUtf16(out_)};
  }

 private:
  struct State {
    bool htmlrtf = false;
    bool hidden = false;   // a destination whose text is not output
    bool htmltag = false;  // inside {\*\htmltag}
    int uc = 1;
  };

  std::size_t control(std::string_view rtf, std::size_t i) {
    if (i + 1 >= rtf.size()) throw std::runtime_error("backslash at the end");
    const char c = rtf[i + 1];
    const bool atGroupStart = groupStart_;
    groupStart_ = false;
    if (c == '*') {
      if (!atGroupStart) throw std::runtime_error("\\* not at a group's start");
      starred_ = true;
      groupStart_ = true;
      return i + 2;
    }
    if (c == '\'') {
      if (i + 3 >= rtf.size()) throw std::runtime_error("cut \\'hh");
      character(FromCodePage1252(
          static_cast<std::uint8_t>(HexValue(rtf[i + 2]) * 16 + HexValue(rtf[i + 3]))));
      starred_ = false;
      return i + 4;
    }
    if (!IsLetter(c)) {
      if (c == '\\' || c == '{' || c == '}') character(static_cast<unsigned char>(c));
      if (c == '~') character(0xA0);
      starred_ = false;
      return i + 2;
    }
    std::size_t j = i + 1;
    while (j < rtf.size() && IsLetter(rtf[j])) ++j;
    const std::string name(rtf.substr(i + 1, j - i - 1));
    std::size_t digitsAt = j;
    if (j < rtf.size() && rtf[j] == '-') ++j;
    while (j < rtf.size() && IsDigit(rtf[j])) ++j;
    const bool hasParameter = j > digitsAt && IsDigit(rtf[j - 1]);
    if (!hasParameter) j = digitsAt;
    const int parameter =
        hasParameter ? std::stoi(std::string(rtf.substr(digitsAt, j - digitsAt))) : 0;
    if (j < rtf.size() && rtf[j] == ' ') ++j;
    word(name, hasParameter, parameter, atGroupStart);
    starred_ = false;
    return j;
  }

  void word(const std::string& name, bool hasParameter, int parameter, bool atGroupStart) {
    if (atGroupStart) {
      if (name == "htmltag" || name == "mhtmltag") {
        if (!starred_) throw std::runtime_error("htmltag without \\*");
        state_.htmltag = true;
        state_.hidden = state_.hidden || plain_ || kind_ != "html";
        return;
      }
      if (starred_ || name == "fonttbl" || name == "colortbl" || name == "stylesheet" ||
          name == "info" || name == "pict" || name == "pntext") {
        state_.hidden = true;
        return;
      }
    }
    if (name == "ansicpg" && parameter != 1252) throw std::runtime_error("not code page 1252");
    if (name == "fromhtml" || name == "fromtext") {
      if (stack_.size() != 1 || !kind_.empty()) throw std::runtime_error("misplaced " + name);
      kind_ = name == "fromhtml" ? "html" : "text";
    } else if (name == "htmlrtf") {
      state_.htmlrtf = !hasParameter || parameter != 0;
    } else if (name == "uc") {
      state_.uc = parameter;
    } else if (name == "u") {
      unit(static_cast<char16_t>(parameter < 0 ? parameter + 0x10000 : parameter));
      skip_ = state_.uc;
    } else if (name == "par" || name == "line") {
      character('\r');
      character('\n');
    } else if (name == "tab") {
      character('\t');
    }
  }

  void character(char32_t c) {
    if (skip_ > 0) {
      --skip_;
      return;
    }
    if (c >= 0x10000) {
      unit(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(c));
    }
  }

  void unit(char16_t u) {
    if (state_.hidden || (state_.htmlrtf && !plain_)) return;
    out_.push_back(u);
  }

  bool plain_;
  State state_;
  std::vector<State> stack_;
  bool groupStart_ = false;
  bool starred_ = false;
  int skip_ = 0;
  std::string kind_;
  std::u16string out_;
};

}  // namespace

Recovered Deencapsulate(std::string_view rtf) {
  return Reader(false).read(rtf);
}

std::string PlainRtfText(std::string_view rtf) {
  return Reader(true).read(rtf).text;
}

}  // namespace qc::mapi::rtf::testing
