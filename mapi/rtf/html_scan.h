// Just enough of HTML's tokenizing rules to tell markup from text: where a tag, comment or
// declaration ends, where the text of <script> or <style> ends, and what an entity stands for.
// Nothing here changes a byte; a wrong guess only changes how a plain RTF reader shows it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qc::mapi::rtf {

// One past the end of the tag, comment ("<!-- ... -->") or declaration ("<!...>", "<?...>")
// that starts at html[at], which is '<'; the end of the input when it is not closed; nothing
// when this '<' starts no markup (as in "a < b").
std::optional<std::size_t> MarkupEnd(std::string_view html, std::size_t at);

struct TagInfo {
  std::string name;  // lower case; empty for comments and declarations
  bool closing = false;
  bool selfClosing = false;
};
TagInfo ReadTag(std::string_view markup);

// Elements whose content is not markup: script, style, title, textarea, xmp.
bool HasRawText(std::string_view tagName);

// Where the raw text that starts at `at` ends: at "</name" in any letter case, or at the end.
std::size_t RawTextEnd(std::string_view html, std::size_t at, std::string_view tagName);

// The length of the character reference at html[at] ('&'): "&name;", "&#123;" or "&#x1F600;";
// 0 when there is none there.
std::size_t EntityLength(std::string_view html, std::size_t at);

// The character a reference stands for, when we know it (numeric ones, and the named ones mail
// uses most).
std::optional<char32_t> EntityValue(std::string_view entity);

}  // namespace qc::mapi::rtf
