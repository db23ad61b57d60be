// Small helpers around GMime and GLib: one-time library set-up, owning pointers for GObjects and
// g_malloc'd strings, and reading the decoded content of a MIME part.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/property.h"

// Documented and exported by GMime 3.2, but missing from its header: appends the addresses of a
// header's raw value to `list`, keeping those read before a fault, as GMime's message does with
// each address header.
extern "C" void internet_address_list_append_parse(InternetAddressList* list,
                                                   GMimeParserOptions* options, const char* str);

namespace qc::mapi::import {

// g_mime_init() once per process, whichever thread gets here first.
void EnsureGMimeInitialized();

// The parser options of the import, made once per thread: lenient, as mail programs read mail.
GMimeParserOptions* LenientParserOptions();

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(gpointer p) const { g_free(p); }
};
using GString = std::unique_ptr<char, GFree>;

// The encoded content of a leaf part as a stream of its own (reading it moves no other reader's
// position), and its transfer encoding. A null stream when the part has no content.
struct EncodedContent {
  GPtr<GMimeStream> stream;
  GMimeContentEncoding encoding = GMIME_CONTENT_ENCODING_DEFAULT;
};
EncodedContent EncodedContentOf(GMimePart* part);

// A stream that reads `encoded` (keeping it) with its transfer encoding (base64,
// quoted-printable, uuencode) undone; broken encodings give whatever GMime recovers.
GPtr<GMimeStream> NewDecodingStream(GMimeStream* encoded, GMimeContentEncoding encoding);

// The whole content of a leaf part, decoded.
Bytes DecodedContent(GMimePart* part);

// How many bytes the content of a leaf part takes in the message, still encoded: as many as
// decoding it gives, or more.
std::uint64_t EncodedSizeOf(GMimePart* part);

// "type/subtype" in lower case, "application/octet-stream" when the part has no usable type.
std::string MimeType(GMimeObject* object);

// `text` without the white space GMime trims from header values at either end.
std::string Trim(std::string_view text);

// Text GMime hands out (null for none) as UTF-8. GMime gives UTF-8, but a header with raw
// bytes GMime could not place may slip through.
std::string GMimeText(const char* text);

// A charset parameter of the part's Content-Type, or empty.
std::string CharsetOf(GMimeObject* object);

// The raw value of a header as it stands (folded, undecoded): the first of its name, or the
// last; null when there is none.
const char* RawHeader(GMimeObject* object, const char* name, bool last = false);

// The charsets the parts under `root` declare (not those of messages forwarded inside):
// those of its text parts in order, then any other part's; labels that name no charset (or
// only ASCII) left out.
std::vector<std::string> DeclaredCharsets(GMimeObject* root);

}  // namespace qc::mapi::import
