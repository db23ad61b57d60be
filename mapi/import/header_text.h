// Header text as its writer meant it: encoded words (RFC 2047) read in their charsets, RFC 2231
// parameters in theirs, and 8-bit bytes written straight into headers (as mail programs of the
// 1990s did) read in the charset the message declares elsewhere.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qc::mapi::import {

// How a message reads text that names no charset of its own (8-bit header text, a parameter
// written raw, an encoded word whose bytes do not fit the charset it names): valid UTF-8 as
// UTF-8; else in the first charset the message declares that reads all of it; else in the
// run's fallback charset (as windows-1252 where it does not fit that either). No byte is lost.
// Text in ISO-2022 escapes is read in the ISO-2022 charset the message declares, else as
// ISO-2022-JP.
class RawTextReader {
 public:
  // `declared`: the charsets the message declares, its first text part's first; asked for
  // once, when some text needs them. `enclosing`: the reader of the message this one is
  // forwarded in, whose charsets come after this one's. `unknown`: where the labels that name
  // no charset we know are noted, for the user to hear of.
  RawTextReader(std::function<std::vector<std::string>()> declared, std::string fallback,
                const RawTextReader* enclosing = nullptr, std::set<std::string>* unknown = nullptr);

  // Raw bytes as UTF-8.
  std::string read(std::string_view bytes) const;
  // Bytes in the charset `label` names (an encoded word, an RFC 2231 value) as UTF-8: in that
  // charset where all of them fit it, else as raw bytes. An unknown label is noted.
  std::string read(std::string_view bytes, std::string_view label) const;

  const std::string& fallback() const { return fallback_; }
  // The charsets the message declares, then those of the messages it is forwarded in.
  const std::vector<std::string>& declared() const;
  // Notes a label that names no charset we know.
  void noteUnknown(std::string_view label) const;

 private:
  std::function<std::vector<std::string>()> source_;
  mutable std::optional<std::vector<std::string>> declared_;
  std::string fallback_;
  const RawTextReader* enclosing_;
  std::set<std::string>* unknown_;
};

// The blanks of a header value: spaces, tabs and the line breaks of folding.
inline bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A header's raw value with the blanks at both ends off and its line breaks out, as GMime's
// g_mime_utils_header_unfold leaves it: the header on one line, as mail programs show it.
std::string Unfold(std::string_view raw);

// Whether a header's raw value holds what only DecodeHeaderText() reads as its writer meant it:
// 8-bit bytes, an escape (ISO-2022), an encoded word.
bool NeedsDecoding(std::string_view raw);

// An unstructured header's raw value (Subject, Thread-Topic, Keywords) as text: unfolded, its
// encoded words decoded and the blanks between two of them dropped, its raw bytes read by
// `reader`. Encoded words are found as lenient mail programs find them (inside other text,
// holding blanks), and a run of them in one charset and encoding is decoded as one, for a
// character may be split across two; each word's padding ends only its own bytes.
std::string DecodeHeaderText(std::string_view raw, const RawTextReader& reader);

// A structured header's raw value (an address list) for a parser that reads only UTF-8: each
// run of encoded words becomes one UTF-8 encoded word of the same text and raw bytes their
// UTF-8, so that quotes, commas and angle brackets stand where they stood.
std::string Utf8HeaderValue(std::string_view raw, const RawTextReader& reader);

// The parameter `name` (in any letter case) of a raw Content-Type or Content-Disposition value,
// read as lenient mail programs read it: an RFC 2231 value in its charset (continued over
// numbered parts or not), a quoted string or token that holds encoded words or raw bytes. The
// first parameter of that name counts; nothing when there is none.
std::optional<std::string> HeaderParameter(std::string_view raw, std::string_view name,
                                           const RawTextReader& reader);

}  // namespace qc::mapi::import
