// An HTML body too large to hold in memory: kept as it stands (or as UTF-8), its text made as it
// is written, and what it refers to found by reading it in pieces.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "mapi/property.h"

namespace qc::mapi::import {

struct LargeHtml {
  std::shared_ptr<const ByteSource> html;  // PR_HTML, in the charset of PR_INTERNET_CPID
  std::shared_ptr<const ByteSource> utf8;  // the HTML as UTF-8
  std::shared_ptr<const ByteSource> text;  // PR_BODY_W made of it, as UTF-16LE
  int codePage = 65001;                    // PR_INTERNET_CPID
};

// The HTML of `decoded` (a part's content, its transfer encoding undone) read as a smaller HTML
// body is: in `charset`, else the one its <meta> element names, else UTF-8 where all of it is
// valid UTF-8 and in `fallback` where not; kept as it stands where that charset has a code page,
// as UTF-8 where not.
LargeHtml LargeHtmlOf(std::shared_ptr<const ByteSource> decoded, std::string charset,
                      std::string_view fallback);

// What an HTML body refers to: the targets of its "cid:" URLs, and which of `texts` (the
// locations of the resources beside it) it holds.
struct HtmlReferences {
  std::set<std::string> cids;
  std::vector<bool> holds;
};
HtmlReferences FindReferences(const ByteSource& utf8Html, const std::vector<std::string>& texts);

}  // namespace qc::mapi::import
