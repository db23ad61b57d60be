#include "mapi/import/header_fields.h"

#include "mapi/import/gmime_support.h"
#include "mapi/import/header_text.h"

namespace qc::mapi::import {

namespace {

bool IsNameByte(unsigned char c) {
  return c > 32 && c < 127 && c != ':';
}

bool IsFold(char c) {
  return c == ' ' || c == '\t';
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The lines of a header block, each with its line end, handed to `line` with the length of its
// field name (0 for a continuation line). False, and a stop, where a line is none GMime would
// split as a field is split here.
template <class Line>
bool ForEachLine(std::string_view block, Line line) {
  if (block.find('\0') != std::string_view::npos) return false;
  for (std::size_t at = 0; at < block.size();) {
    const auto end = block.find('\n', at);
    if (end == std::string_view::npos) return false;  // a block ends with its last line's end
    const std::string_view text = block.substr(at, end + 1 - at);
    at = end + 1;
    std::size_t name = 0;
    if (!IsFold(text[0])) {
      while (IsNameByte(static_cast<unsigned char>(text[name]))) ++name;
      if (name == 0 || text[name] != ':') return false;
    }
    if (!line(text, name)) return false;
  }
  return true;
}

}  // namespace

HeaderFields HeaderFields::Of(GMimeObject* object) {
  HeaderFields out;
  GMimeHeaderList* headers = object ? g_mime_object_get_header_list(object) : nullptr;
  const int count = headers ? g_mime_header_list_get_count(headers) : 0;
  out.fields_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    out.fields_.push_back(Field{g_mime_header_list_get_header_at(headers, i)});
  }
  return out;
}

std::optional<HeaderFields> HeaderFields::Split(std::string_view block) {
  HeaderFields out;
  out.text_.reserve(block.size() + 16);
  // Names and raw values go into text_ each followed by a NUL; a raw value grows by the
  // continuation lines that follow its field's line.
  const bool split = ForEachLine(block, [&](std::string_view line, std::size_t name) {
    if (name == 0) {
      if (out.fields_.empty()) return false;  // a fold of nothing
      out.text_.pop_back();
      out.text_ += line;
      out.text_ += '\0';
      return true;
    }
    Field field;
    field.name = out.text_.size();
    field.nameLength = name;
    out.text_.append(line.substr(0, name));
    out.text_ += '\0';
    field.raw = out.text_.size();
    out.text_.append(line.substr(name + 1));
    out.text_ += '\0';
    out.fields_.push_back(field);
    return true;
  });
  if (!split) return std::nullopt;
  return out;
}

std::string HeaderFields::ContentFields(std::string_view block) {
  std::string kept;
  bool keeping = false;
  ForEachLine(block, [&](std::string_view line, std::size_t name) {
    if (name > 0) keeping = name >= 8 && SameName(line.substr(0, 8), "Content-");
    if (keeping) kept += line;
    return true;
  });
  return kept;
}

std::string_view HeaderFields::name(std::size_t i) const {
  const Field& field = fields_[i];
  if (field.header != nullptr) {
    const char* name = g_mime_header_get_name(field.header);
    return name ? std::string_view(name) : std::string_view();
  }
  return std::string_view(text_).substr(field.name, field.nameLength);
}

const char* HeaderFields::raw(std::size_t i) const {
  const Field& field = fields_[i];
  if (field.header != nullptr) {
    const char* raw = g_mime_header_get_raw_value(field.header);
    return raw ? raw : "";
  }
  return text_.c_str() + field.raw;
}

std::string HeaderFields::value(std::size_t i) const {
  const Field& field = fields_[i];
  if (field.header != nullptr) {
    const char* value = g_mime_header_get_value(field.header);
    return value ? value : "";
  }
  // As GMime makes a header's value from its raw value. Its decoding gives back text of ASCII
  // without a "=?" as it stands, so most values need only the unfolding.
  if (const std::string_view text(text_.c_str() + field.raw); !NeedsDecoding(text)) {
    return Unfold(text);
  }
  const GString unfolded(g_mime_utils_header_unfold(raw(i)));
  const GString decoded(g_mime_utils_header_decode_text(LenientParserOptions(), unfolded.get()));
  return decoded ? decoded.get() : "";
}

bool HeaderFields::is(std::size_t i, std::string_view name) const {
  return SameName(this->name(i), name);
}

std::string HeaderFields::first(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (is(i, name)) return Trim(value(i));
  }
  return {};
}

}  // namespace qc::mapi::import
