// A plain-text rendering of an HTML body, the PR_BODY beside its PR_HTML: whole, or from HTML
// that arrives in pieces.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qc::mapi::import {

// A readable plain text from HTML (UTF-8 in, UTF-8 out): tags removed, block elements become
// line breaks, the contents of <title>, <script> and <style> are dropped, entities decoded.
std::string HtmlToText(std::string_view html);

// HtmlToText over HTML that arrives in pieces, for a body too large to hold: the same text,
// given out as it comes, but for one thing: the content of a <script>, <style> or <title>
// element is dropped only when its end tag follows within kLookAhead bytes (HtmlToText looks
// through the whole document), and is text otherwise.
class HtmlToTextStream {
 public:
  static constexpr std::size_t kLookAhead = std::size_t{1} << 20;

  // Appends the text of `html` to `out`, but for what may depend on the next piece; `last` ends
  // the document and gives out the rest.
  void feed(std::string_view html, bool last, std::string& out);

 private:
  // TidyLines as the text comes: a line's characters go out at once, the space and the empty
  // line after them only when more text follows.
  void put(char c, std::string& out);
  void put(std::string_view text, std::string& out);
  // What the tag just read does to the text.
  void tagRead(std::string& out);
  void tagEffect(const std::string& name, bool closing, std::string& out);

  enum class State { Text, Tag, Comment };
  std::string held_;  // input not yet read
  State state_ = State::Text;
  // The tag being read.
  std::string name_;
  bool closing_ = false;
  bool tagStarted_ = false;
  bool nameDone_ = false;
  std::string skipUntil_;        // the element whose content is being dropped
  std::string pending_;          // an element opened: is it closed within kLookAhead?
  std::size_t pendingSeen_ = 0;  // how much of held_ was looked through for its end tag
  // The lines.
  bool inLine_ = false;
  bool space_ = false;
  bool emptyLine_ = false;
  bool started_ = false;
};

}  // namespace qc::mapi::import
