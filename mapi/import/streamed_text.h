// The text of a body too large to hold as a string (a body of hundreds of megabytes would be held
// three or four times over on its way to a store): converted as it is read, in pieces.
#pragma once

#include <memory>
#include <string_view>

#include "mapi/import/charset_labels.h"
#include "mapi/property.h"

namespace qc::mapi::import {

// What is made of the text.
enum class TextForm {
  Body,      // a body: line ends made CR LF and NULs dropped as ToCrlf() does, as UTF-16LE
  HtmlBody,  // the text HtmlToTextStream makes of the HTML, as a body
  Utf8,      // the text as UTF-8
};

// `decoded` (a part's content with its transfer encoding undone) in `charset`, read as UTF-8 as
// ToUtf8() reads it with `fallback`, in `form`: the same text as a smaller body gets. Its size is
// counted once, by converting it all; reading front to back is cheap, reading backwards converts
// again from the start. Throws qc::Error where `decoded` cannot be read.
std::shared_ptr<const ByteSource> StreamedText(std::shared_ptr<const ByteSource> decoded,
                                               std::string_view charset,
                                               TextForm form = TextForm::Body,
                                               std::string_view fallback = kDefaultFallbackCharset);

// Whether all of `bytes` is valid UTF-8, read in pieces.
bool IsValidUtf8Source(const ByteSource& bytes);

}  // namespace qc::mapi::import
