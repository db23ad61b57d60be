// HTML inside RTF (\fromhtml1). Every byte of the HTML goes to exactly one of two places: an
// {\*\htmltagN ...} group (markup, comments, style sheets, scripts, whitespace between blocks,
// entities, line breaks inside text) or RTF text outside \htmlrtf (the HTML's text). What only a
// plain RTF reader should see (paragraph breaks, bold, the character an entity stands for)
// goes inside \htmlrtf ... \htmlrtf0, which de-encapsulating readers skip.
#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mapi/rtf/encapsulated_rtf.h"
#include "mapi/rtf/html_scan.h"
#include "mapi/rtf/rtf_builder.h"
#include "mapi/rtf/rtf_header.h"

namespace qc::mapi::rtf {

namespace {

// The HTMLTagParameter: where the piece stands in the low two bits, a flag for pieces inside a
// paragraph, a flag for closing tags, and the kind of tag in the high four bits. Readers ignore
// it; the values are the ones Outlook writes for the same pieces.
enum Destination { kInBody = 0, kInHead = 1, kInHtml = 2, kOutsideHtml = 3 };
enum TagKind {
  kText = 0,
  kHtml = 1,
  kHead = 2,
  kBody = 3,
  kParagraph = 4,
  kInline = 5,
  kBlock = 6,
  kBreak = 7,
  kFont = 9,
  kHeadItem = 10,
  kOther = 15,
};
constexpr int kInParagraph = 4;
constexpr int kClosing = 8;

struct Word {
  std::string_view name;
  int parameter = -1;
};

// What a plain RTF reader sees for an element, as RTF control words opened in a group. Asked
// for every tag of the HTML: constant arrays, not lists made each time.
std::span<const Word> FormatOf(std::string_view tag) {
  static constexpr Word kBold[] = {{"b"}};
  static constexpr Word kItalic[] = {{"i"}};
  static constexpr Word kUnderline[] = {{"ul"}};
  static constexpr Word kFixed[] = {{"f", 1}};
  static constexpr Word kLink[] = {{"cf", 1}, {"ul"}};
  if (tag == "b" || tag == "strong") return kBold;
  if (tag == "i" || tag == "em") return kItalic;
  if (tag == "u") return kUnderline;
  if (tag == "pre" || tag == "tt" || tag == "code") return kFixed;
  if (tag == "a") return kLink;
  return {};
}

bool IsBlock(std::string_view tag) {
  static constexpr std::string_view kBlocks[] = {
      "p",  "div", "h1",      "h2",     "h3",      "h4",      "h5",         "h6",     "li",
      "tr", "ul",  "ol",      "dl",     "dt",      "dd",      "blockquote", "table",  "pre",
      "hr", "br",  "address", "center", "section", "article", "header",     "footer",
  };
  for (const auto block : kBlocks) {
    if (tag == block) return true;
  }
  return false;
}

TagKind KindOf(std::string_view tag) {
  if (tag == "p") return kParagraph;
  if (tag == "br") return kBreak;
  if (tag == "font" || tag == "span") return kFont;
  if (tag == "meta" || tag == "link" || tag == "base") return kHeadItem;
  if (!FormatOf(tag).empty() || tag == "img" || tag == "sub" || tag == "sup") return kInline;
  if (IsBlock(tag) || tag == "td" || tag == "th") return kBlock;
  return kOther;
}

// The characters of text that may get an {\*\htmltag} group of their own: line breaks, a bare
// < or >, and & when it starts an entity.
constexpr auto kMarked = [] {
  std::array<bool, 256> marked{};
  for (const char c : std::string_view("\r\n<>&")) marked[static_cast<unsigned char>(c)] = true;
  return marked;
}();

bool IsWhitespace(std::string_view text) {
  return text.find_first_not_of(" \t\r\n\f") == std::string_view::npos;
}

class HtmlEncapsulator {
 public:
  std::string run(std::string_view html) {
    WriteHeader(rtf_, Encapsulated::Html);
    rtf_.raw("\r\n{\\*\\htmltag64}");
    std::size_t at = 0;
    while (at < html.size()) {
      std::size_t end = html.find('<', at + 1);
      if (html[at] == '<') {
        if (const auto markupEnd = MarkupEnd(html, at)) {
          end = *markupEnd;
          const auto tagName = markup(html.substr(at, end - at));
          if (!tagName.empty()) {
            const std::size_t rawEnd = RawTextEnd(html, end, tagName);
            if (rawEnd > end) htmltag(kOther << 4 | destination(), html.substr(end, rawEnd - end));
            end = rawEnd;
          }
          at = end;
          continue;
        }
      }
      if (end == std::string_view::npos) end = html.size();
      text(html.substr(at, end - at));
      at = end;
    }
    closeFormats(0);
    rtf_.close();
    return rtf_.take();
  }

 private:
  int destination() const {
    if (inHead_) return kInHead;
    if (inBody_ || !sawStructure_) return kInBody;
    return afterHtml_ ? kOutsideHtml : kInHtml;
  }

  bool shown() const { return !inHead_ && !afterBody_; }

  // One line of RTF source for each group, as Outlook writes them; readers skip the CR LF.
  void htmltag(int parameter, std::string_view content) {
    rtf_.raw("\r\n{\\*");
    rtf_.word("htmltag", parameter);
    // Always a space, as Outlook writes it: it is the delimiter, never part of the content.
    rtf_.raw(" ");
    rtf_.text(content);
    rtf_.close();
  }

  // RTF for plain RTF readers only.
  template <typename Write>
  void rtfOnly(Write write) {
    rtf_.word("htmlrtf");
    write();
    rtf_.word("htmlrtf", 0);
  }

  void lineBreak(std::string_view word) {
    rtfOnly([&] { rtf_.word(word); });
    lineStart_ = true;
  }

  // A tag, comment or declaration; returns the name of an element whose raw text follows.
  std::string markup(std::string_view markup) {
    const TagInfo tag = ReadTag(markup);
    const std::string& name = tag.name;
    int parameter = (name.empty() ? kOther : KindOf(name)) << 4;
    if (tag.closing) parameter |= kClosing;
    if (name == "html") {
      parameter = kHtml << 4 | (tag.closing ? kClosing : 0) | kOutsideHtml;
      sawStructure_ = true;
      afterHtml_ = tag.closing;
    } else if (name == "head") {
      parameter = kHead << 4 | (tag.closing ? kClosing | kInHead : kInHtml);
      sawStructure_ = true;
      inHead_ = !tag.closing;
    } else if (name == "body") {
      parameter = kBody << 4 | (tag.closing ? kClosing : 0) | kInHtml;
      if (tag.closing) closeFormats(0);
      inHead_ = false;
      inBody_ = !tag.closing;
      afterBody_ = tag.closing;
    } else {
      parameter |= destination();
      if (parameter >> 4 == kInline || parameter >> 4 == kFont) parameter |= kInParagraph;
    }
    htmltag(parameter, markup);
    if (!name.empty() && shown()) render(tag);
    return !tag.closing && !tag.selfClosing && HasRawText(name) ? name : std::string();
  }

  void render(const TagInfo& tag) {
    if (tag.name == "br") return lineBreak("line");
    if (IsBlock(tag.name) && !lineStart_) lineBreak("par");
    if (tag.closing) {
      for (std::size_t i = formats_.size(); i-- > 0;) {
        if (formats_[i] == tag.name) return closeFormats(i);
      }
      return;
    }
    const auto words = FormatOf(tag.name);
    if (words.empty() || tag.selfClosing) return;
    rtfOnly([&] {
      rtf_.open();
      for (const Word& w : words) {
        if (w.parameter < 0) {
          rtf_.word(w.name);
        } else {
          rtf_.word(w.name, w.parameter);
        }
      }
    });
    formats_.push_back(tag.name);
  }

  // Closes the RTF groups of formats_[keep] and all opened after it.
  void closeFormats(std::size_t keep) {
    if (formats_.size() <= keep) return;
    rtfOnly([&] {
      for (std::size_t i = keep; i < formats_.size(); ++i) rtf_.close();
    });
    formats_.resize(keep);
  }

  bool inPre() const {
    for (const auto& f : formats_) {
      if (f == "pre") return true;
    }
    return false;
  }

  void text(std::string_view text) {
    // Whitespace with a line break between blocks is layout of the source, not text.
    if (!shown() || (IsWhitespace(text) &&
                     (text.find_first_of("\r\n") != text.npos || (sawStructure_ && !inBody_)))) {
      return htmltag(kText << 4 | destination(), text);
    }
    std::size_t start = 0;
    auto flush = [&](std::size_t end) {
      if (end > start) {
        rtf_.text(text.substr(start, end - start));
        lineStart_ = false;
      }
    };
    for (std::size_t i = 0; i < text.size();) {
      // Most characters need nothing of their own.
      while (i < text.size() && !kMarked[static_cast<unsigned char>(text[i])]) ++i;
      if (i == text.size()) break;
      const char c = text[i];
      std::size_t length = 0;
      std::optional<char32_t> shows;
      int parameter = kInline << 4 | kInParagraph | destination();
      if (c == '\r' || c == '\n') {
        length = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        parameter = kText << 4 | kInParagraph | destination();
        shows = inPre() ? U'\n' : U' ';
        // The indentation of the next source line is whitespace HTML collapses into the space.
        while (!inPre() && i + length < text.size() &&
               (text[i + length] == ' ' || text[i + length] == '\t')) {
          ++length;
        }
      } else if (c == '<' || c == '>') {
        // Readers turn a bare < or > in text into &lt; or &gt;: keep ours as markup.
        length = 1;
        shows = static_cast<char32_t>(c);
      } else if (c == '&' && (length = EntityLength(text, i)) > 0) {
        shows = EntityValue(text.substr(i, length));
      }
      if (length == 0) {
        ++i;
        continue;
      }
      flush(i);
      htmltag(parameter, text.substr(i, length));
      if (shows == U'\n') {
        lineBreak("line");
      } else if (shows) {
        rtfOnly([&] { rtf_.character(*shows < 0x20 ? U' ' : *shows); });
        lineStart_ = false;
      }
      i += length;
      start = i;
    }
    flush(text.size());
  }

  RtfBuilder rtf_;
  bool sawStructure_ = false;  // an <html> or <head> tag
  bool inHead_ = false;
  bool inBody_ = false;
  bool afterBody_ = false;
  bool afterHtml_ = false;
  bool lineStart_ = true;
  std::vector<std::string> formats_;  // elements whose RTF group is open, innermost last
};

}  // namespace

std::string HtmlToEncapsulatedRtf(std::string_view htmlUtf8) {
  return HtmlEncapsulator().run(htmlUtf8);
}

}  // namespace qc::mapi::rtf
