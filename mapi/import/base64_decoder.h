// Base64 content decoded as GMime's decoder (g_mime_encoding_base64_decode_step) decodes it, a
// whole quartet at a time where four characters of the alphabet come in a row, as they do in
// almost all of an attachment's lines.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qc::mapi::import {

// Bytes outside the alphabet are skipped; the first '=' ends the content, a quartet it cuts
// short after two or three characters still giving its one or two bytes; a quartet left
// incomplete when the content ends gives nothing. The content may come in pieces of any size.
class Base64Decoder {
 public:
  // The bytes decoded from the next `size` characters, into `out`, which has room for
  // size + 3 bytes; returns how many.
  std::size_t step(const char* in, std::size_t size, std::uint8_t* out);

 private:
  int pending_ = 0;  // characters of the quartet begun, or -1 once '=' has ended the content
  std::uint32_t bits_ = 0;
};

}  // namespace qc::mapi::import
