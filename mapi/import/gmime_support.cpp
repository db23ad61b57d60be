#include "mapi/import/gmime_support.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace qc::mapi::import {

void EnsureGMimeInitialized() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
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

Bytes DecodedContent(GMimePart* part) {
  const EncodedContent content = EncodedContentOf(part);
  if (!content.stream) return {};
  GPtr<GMimeStream> decoded = NewDecodingStream(content.stream.get(), content.encoding);
  GPtr<GMimeStream> sink(g_mime_stream_mem_new());
  g_mime_stream_write_to_stream(decoded.get(), sink.get());
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(sink.get()));
  return Bytes(array->data, array->data + array->len);
}

std::string MimeType(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
  const char* sub = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
  if (media == nullptr || sub == nullptr || *media == '\0' || *sub == '\0') {
    return "application/octet-stream";
  }
  std::string result = std::string(media) + "/" + sub;
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

namespace {
std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}
}  // namespace

std::string HeaderValue(GMimeObject* object, const char* name) {
  const char* value = g_mime_object_get_header(object, name);
  return value ? Trim(value) : std::string();
}

std::string CharsetOf(GMimeObject* object) {
  const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
  return charset ? Trim(charset) : std::string();
}

}  // namespace qc::mapi::import
