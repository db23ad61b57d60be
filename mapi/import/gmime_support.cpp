#include "mapi/import/gmime_support.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

#include "mapi/import/base64_decoder.h"
#include "mapi/import/charset_labels.h"
#include "mapi/import/library_messages.h"
#include "mapi/import/source_stream.h"
#include "util/cp1252.h"
#include "util/per_thread.h"

namespace qc::mapi::import {

void EnsureGMimeInitialized() {
  static std::once_flag once;
  std::call_once(once, [] {
    RouteLibraryMessages();
    g_mime_init();
  });
}

namespace {

struct ParserOptionsFree {
  void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};

// Made once per thread: GMime copies what it keeps of them into each message it builds.
struct LenientOptions {
  std::unique_ptr<GMimeParserOptions, ParserOptionsFree> options;
};

}  // namespace

GMimeParserOptions* LenientParserOptions() {
  auto& kept = PerThread<LenientOptions>();
  if (kept.options) return kept.options.get();
  kept.options = [] {
    static const char* kFallbackCharsets[] = {"utf-8", "windows-1252", nullptr};
    GMimeParserOptions* made = g_mime_parser_options_new();
    g_mime_parser_options_set_fallback_charsets(made, kFallbackCharsets);
    g_mime_parser_options_set_address_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_parameter_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_rfc2047_compliance_mode(made, GMIME_RFC_COMPLIANCE_LOOSE);
    g_mime_parser_options_set_allow_addresses_without_domain(made, TRUE);
    return std::unique_ptr<GMimeParserOptions, ParserOptionsFree>(made);
  }();
  return kept.options.get();
}

EncodedContent EncodedContentOf(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  GMimeStream* stream = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
  if (stream == nullptr) return {};
  const gint64 end = stream->bound_end != -1 ? stream->bound_end
                                             : stream->bound_start + g_mime_stream_length(stream);
  return {GPtr<GMimeStream>(g_mime_stream_substream(stream, stream->bound_start, end)),
          g_mime_data_wrapper_get_encoding(content)};
}

GPtr<GMimeStream> NewDecodingStream(GMimeStream* encoded, GMimeContentEncoding encoding) {
  GPtr<GMimeStream> decoded(g_mime_stream_filter_new(encoded));
  const auto add = [&](GMimeFilter* filter) {
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(decoded.get()), filter);
    g_object_unref(filter);
  };
  switch (encoding) {
    case GMIME_CONTENT_ENCODING_UUENCODE:
      // GMime's uudecoder loses a line's end when a read ends right after a CR LF and takes the
      // next line's length for data, cutting the attachment short: it gets bare LFs.
      add(g_mime_filter_dos2unix_new(FALSE));
      [[fallthrough]];
    case GMIME_CONTENT_ENCODING_BASE64:
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE:
      add(g_mime_filter_basic_new(encoding, FALSE));
      break;
    default:
      break;
  }
  return decoded;
}

namespace {

// The bytes of `range` with their transfer encoding undone, as GMime's decoding filter does it
// (the decoder's steps over the bytes, then its flush), without the streams and filter objects
// that cost more than decoding a body of a few kilobytes.
Bytes Decode(const SourceRange& range, GMimeContentEncoding encoding) {
  const bool base64 = encoding == GMIME_CONTENT_ENCODING_BASE64;
  const bool decodes = base64 || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
  GMimeEncoding decoder;
  g_mime_encoding_init_decode(&decoder, encoding);
  Base64Decoder base64Decoder;
  Bytes out;
  out.reserve(static_cast<std::size_t>(range.end - range.start));
  std::array<char, 16384> piece;
  for (std::uint64_t at = range.start; at < range.end;) {
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), range.end - at));
    const std::size_t got =
        range.source->read(at, reinterpret_cast<std::uint8_t*>(piece.data()), want);
    if (got == 0) break;  // the source ended early, as a stream over it would
    at += got;
    const std::size_t used = out.size();
    if (!decodes) {
      out.insert(out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
      continue;
    }
    if (base64) {
      out.resize(used + got + 3);
      out.resize(used + base64Decoder.step(piece.data(), got, out.data() + used));
      continue;
    }
    out.resize(used + g_mime_encoding_outlen(&decoder, got));
    out.resize(used + g_mime_encoding_step(&decoder, piece.data(), got,
                                           reinterpret_cast<char*>(out.data() + used)));
  }
  // GMime's base64 decoder keeps nothing back for its flush.
  if (decodes && !base64) {
    const std::size_t used = out.size();
    out.resize(used + g_mime_encoding_outlen(&decoder, 0));
    out.resize(used + g_mime_encoding_flush(&decoder, piece.data(), 0,
                                            reinterpret_cast<char*>(out.data() + used)));
  }
  return out;
}

}  // namespace

Bytes DecodedContent(GMimePart* part) {
  GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
  GMimeStream* stream = wrapper ? g_mime_data_wrapper_get_stream(wrapper) : nullptr;
  const GMimeContentEncoding encoding =
      wrapper ? g_mime_data_wrapper_get_encoding(wrapper) : GMIME_CONTENT_ENCODING_DEFAULT;
  // Uuencoded content goes through GMime's filters, which find its begin line first.
  if (const auto range = RangeOf(stream); range && encoding != GMIME_CONTENT_ENCODING_UUENCODE) {
    return Decode(*range, encoding);
  }
  const EncodedContent content = EncodedContentOf(part);
  if (!content.stream) return {};
  GPtr<GMimeStream> decoded = NewDecodingStream(content.stream.get(), content.encoding);
  GPtr<GMimeStream> sink(g_mime_stream_mem_new());
  g_mime_stream_write_to_stream(decoded.get(), sink.get());
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
  return Bytes(array->data, array->data + array->len);
}

std::uint64_t EncodedSizeOf(GMimePart* part) {
  GMimeDataWrapper* wrapper = g_mime_part_get_content(part);
  GMimeStream* stream = wrapper ? g_mime_data_wrapper_get_stream(wrapper) : nullptr;
  if (const auto range = RangeOf(stream)) return range->end - range->start;
  const gint64 length = stream ? g_mime_stream_length(stream) : 0;
  return length > 0 ? static_cast<std::uint64_t>(length) : 0;
}

namespace {
std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
    return c > 32 && c < 127 &&
           std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
  });
}

// GMime reads a Content-Type it cannot parse as application/octet-stream, which would make an
// attachment of a body. RFC 2045 (5.2) says such a part is text/plain, and mail programs read
// "text" without a subtype as plain text too; another type without a subtype stays data.
std::string TypeOfUnreadable(GMimeObject* object) {
  const char* raw = g_mime_object_get_header(object, "Content-Type");
  if (raw == nullptr) return "application/octet-stream";
  std::string_view value(raw);
  value = value.substr(0, value.find(';'));
  const auto first = value.find_first_not_of(" \t\r\n");
  const auto last = value.find_last_not_of(" \t\r\n");
  value =
      first == std::string_view::npos ? std::string_view() : value.substr(first, last - first + 1);
  const auto slash = value.find('/');
  const std::string media = Lower(std::string(value.substr(0, slash)));
  if (slash != std::string_view::npos && IsToken(media) && IsToken(value.substr(slash + 1))) {
    return "application/octet-stream";  // well-formed: GMime's reading stands
  }
  return media == "text" || !IsToken(media) ? "text/plain" : "application/octet-stream";
}
}  // namespace

std::string MimeType(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
  const char* sub = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
  if (media == nullptr || sub == nullptr || *media == '\0' || *sub == '\0') {
    return TypeOfUnreadable(object);
  }
  std::string result = Lower(std::string(media) + "/" + sub);
  if (result == "application/octet-stream") return TypeOfUnreadable(object);
  return result;
}

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

std::string GMimeText(const char* text) {
  return text == nullptr ? std::string() : Utf8OrWindows1252(text);
}

std::string CharsetOf(GMimeObject* object) {
  const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
  return charset ? Trim(charset) : std::string();
}

const char* RawHeader(GMimeObject* object, const char* name, bool last) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(object);
  const int count = headers ? g_mime_header_list_get_count(headers) : 0;
  const char* found = nullptr;
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
    if (g_ascii_strcasecmp(g_mime_header_get_name(header), name) != 0) continue;
    found = g_mime_header_get_raw_value(header);
    if (!last) break;
  }
  return found;
}

std::vector<std::string> DeclaredCharsets(GMimeObject* root) {
  // Parts looked at, at most: a message of thousands of parts names its charsets early.
  constexpr int kMostParts = 1000;
  std::vector<std::string> text;
  std::vector<std::string> other;
  std::vector<GMimeObject*> pending{root};
  for (int seen = 0; !pending.empty() && seen < kMostParts; ++seen) {
    GMimeObject* object = pending.back();
    pending.pop_back();
    if (object == nullptr || GMIME_IS_MESSAGE_PART(object)) continue;  // a message of its own
    if (GMIME_IS_MULTIPART(object)) {
      GMimeMultipart* multipart = GMIME_MULTIPART(object);
      for (int i = g_mime_multipart_get_count(multipart) - 1; i >= 0; --i) {
        pending.push_back(g_mime_multipart_get_part(multipart, i));
      }
      continue;
    }
    std::string charset = CharsetOf(object);
    if (charset.empty() || ReadCharsetLabel(charset).kind == CharsetKind::None) continue;
    auto& list = MimeType(object).starts_with("text/") ? text : other;
    if (std::find(list.begin(), list.end(), charset) == list.end()) {
      list.push_back(std::move(charset));
    }
  }
  for (std::string& charset : other) {
    if (std::find(text.begin(), text.end(), charset) == text.end()) {
      text.push_back(std::move(charset));
    }
  }
  return text;
}

}  // namespace qc::mapi::import
