#include "mapi/import/large_html.h"

#include <algorithm>

#include "mapi/import/streamed_text.h"
#include "mapi/import/text_decode.h"

namespace qc::mapi::import {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 16;
// The longest "cid:" target looked for whole; a longer one (no content identifier is) is not.
constexpr std::size_t kLongestCid = 1024;
constexpr std::string_view kCidEnds = "\"' )>\t\r\n";

}  // namespace

LargeHtml LargeHtmlOf(std::shared_ptr<const ByteSource> decoded, std::string charset,
                      std::string_view fallback) {
  if (charset.empty()) {
    std::string head(4096, '\0');
    head.resize(decoded->read(0, reinterpret_cast<std::uint8_t*>(head.data()), head.size()));
    charset = MetaCharset(head);
  }
  if (charset.empty()) charset = IsValidUtf8Source(*decoded) ? "utf-8" : std::string(fallback);
  LargeHtml out;
  out.utf8 = StreamedText(decoded, charset, TextForm::Utf8, fallback);
  out.text = StreamedText(decoded, charset, TextForm::HtmlBody, fallback);
  if (const auto codePage = CodePageOf(charset)) {
    out.html = std::move(decoded);
    out.codePage = *codePage;
  } else {
    // A charset we cannot name as a code page: the HTML as UTF-8, so that the bytes and
    // PR_INTERNET_CPID agree.
    out.html = out.utf8;
  }
  return out;
}

HtmlReferences FindReferences(const ByteSource& utf8Html, const std::vector<std::string>& texts) {
  HtmlReferences out;
  out.holds.assign(texts.size(), false);
  std::size_t overlap = kLongestCid + 4;
  for (const std::string& text : texts) overlap = std::max(overlap, text.size());
  // Each piece read after what ended the last one, so that whatever crosses from one piece to
  // the next is whole in one window.
  std::string window;
  std::string piece(kPiece, '\0');
  for (std::uint64_t at = 0;;) {
    const std::size_t got =
        at < utf8Html.size()
            ? utf8Html.read(at, reinterpret_cast<std::uint8_t*>(piece.data()), piece.size())
            : 0;
    const bool last = got == 0 || at + got >= utf8Html.size();
    at += got;
    window.append(piece, 0, got);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (!out.holds[i] && window.find(texts[i]) != std::string::npos) out.holds[i] = true;
    }
    for (auto c = window.find("cid:"); c != std::string::npos; c = window.find("cid:", c + 4)) {
      const std::size_t end = window.find_first_of(kCidEnds, c + 4);
      // One that runs to the end of the window may go on in the next piece.
      if (end != std::string::npos || last) {
        out.cids.insert(window.substr(c + 4, end == std::string::npos ? end : end - c - 4));
      }
    }
    if (last) break;
    window.erase(0, window.size() - std::min(window.size(), overlap));
  }
  return out;
}

}  // namespace qc::mapi::import
