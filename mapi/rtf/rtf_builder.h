// Writes RTF: control words with the delimiters they need, and text escaped so that every RTF
// reader, and every de-encapsulating one, gets the same characters back.
#pragma once

#include <string>
#include <string_view>

namespace qc::mapi::rtf {

class RtfBuilder {
 public:
  // RTF as it stands (a header); it must not end inside a control word.
  void raw(std::string_view rtf);

  // "\name" or "\nameN"; a space follows only when what comes next would run into it.
  void word(std::string_view name);
  void word(std::string_view name, int parameter);

  void open() { put('{'); }
  void close() { put('}'); }

  // Text given as UTF-8, escaped: \ { } with a backslash; CR LF as \par (a de-encapsulating
  // reader turns \par into CR LF) followed by a real CR LF that RTF readers skip; a lone CR or
  // LF as \'0d or \'0a, so it comes back alone; tab as \tab; other control characters and the
  // characters of code page 1252 beyond ASCII as \'hh; all others as \uN? in UTF-16 units.
  // Bytes that are not UTF-8 become U+FFFD.
  void text(std::string_view utf8);

  // One character, escaped as text() does (CR and LF alone).
  void character(char32_t c);

  const std::string& str() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  void put(char c);
  void hex(unsigned byte);
  void unicode(char32_t c);

  std::string out_;
  bool wordOpen_ = false;
};

}  // namespace qc::mapi::rtf
