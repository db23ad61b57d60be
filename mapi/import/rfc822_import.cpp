#include "mapi/import/rfc822_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "mapi/import/envelope.h"
#include "mapi/import/gmime_support.h"
#include "mapi/import/import_internal.h"
#include "mapi/import/text_decode.h"
#include "util/error.h"

namespace qc::mapi {

namespace import {

namespace {

// The mailbox's separator line belongs to the mailbox, not to the message: "From " followed by
// a space, unlike the header "From:".
std::string_view SkipSeparatorLine(std::string_view bytes) {
  if (bytes.substr(0, 5) != "From ") return bytes;
  const auto end = bytes.find('\n');
  return end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
}

// Whether a line can belong to a header block: a field ("Name:" with no blanks or controls in
// the name) or the continuation of one.
bool IsHeaderLine(std::string_view line) {
  if (line.empty()) return false;
  if (line[0] == ' ' || line[0] == '\t') return true;
  const auto colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c <= 32 || c >= 127) return false;
  }
  return true;
}

// Length of the header block: up to the first empty line, or the first line that is no header
// (a message that starts its body without the empty line), which is not included.
std::size_t HeaderBlockLength(std::string_view bytes) {
  std::size_t line = 0;
  while (line < bytes.size()) {
    if (bytes[line] == '\n' || bytes.compare(line, 2, "\r\n") == 0) return line;
    const auto end = bytes.find('\n', line);
    if (!IsHeaderLine(bytes.substr(line, end == std::string_view::npos ? end : end - line))) {
      return line;
    }
    if (end == std::string_view::npos) return bytes.size();
    line = end + 1;
  }
  return bytes.size();
}

// Text for a Unicode property from raw bytes; NULs would cut the string short in a writer.
std::string RawText(std::string_view bytes) {
  std::string text = ToUtf8(bytes, "");
  std::erase(text, '\0');
  return text;
}

GMimeParserOptions* LenientOptions() {
  static const char* kFallbackCharsets[] = {"utf-8", "windows-1252", nullptr};
  GMimeParserOptions* options = g_mime_parser_options_new();
  g_mime_parser_options_set_fallback_charsets(options, kFallbackCharsets);
  g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
  g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
  g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
  g_mime_parser_options_set_allow_addresses_without_domain(options, TRUE);
  return options;
}

// What is left when GMime finds no message at all: the bytes as the body.
std::unique_ptr<Message> Unparsed(std::string_view bytes, std::string headers) {
  auto out = std::make_unique<Message>();
  out->props.set(tags::PR_MESSAGE_CLASS_W, std::string("IPM.Note"));
  out->props.set(tags::PR_SUBJECT_W, std::string());
  if (!headers.empty()) out->props.set(tags::PR_TRANSPORT_MESSAGE_HEADERS_W, std::move(headers));
  MapContent(nullptr, *out, 0);
  out->props.set(tags::PR_BODY_W, ToCrlf(RawText(bytes)));
  return out;
}

}  // namespace

std::unique_ptr<Message> ImportAtDepth(std::string_view bytes, int depth) {
  EnsureGMimeInitialized();
  bytes = SkipSeparatorLine(bytes);
  std::string headers = RawText(bytes.substr(0, HeaderBlockLength(bytes)));

  // GMime refuses a null buffer, which is what an empty view may hold.
  GPtr<GMimeStream> stream(bytes.empty()
                               ? g_mime_stream_mem_new()
                               : g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GMimeParserOptions* options = LenientOptions();
  GPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), options));
  std::unique_ptr<Message> out = parsed ? ConvertParsed(parsed.get(), std::move(headers), depth)
                                        : Unparsed(bytes, std::move(headers));
  g_mime_parser_options_free(options);
  return out;
}

std::unique_ptr<Message> ConvertParsed(GMimeMessage* message, std::string transportHeaders,
                                       int depth) {
  auto out = std::make_unique<Message>();
  out->props.set(tags::PR_MESSAGE_CLASS_W, std::string("IPM.Note"));
  MapEnvelope(message, *out);
  if (!transportHeaders.empty()) {
    out->props.set(tags::PR_TRANSPORT_MESSAGE_HEADERS_W, std::move(transportHeaders));
  }
  MapContent(g_mime_message_get_mime_part(message), *out, depth);
  return out;
}

}  // namespace import

std::unique_ptr<Message> ImportRfc822File(const std::string& path) {
  // Non-blocking, so that a FIFO cannot hang the open; anything but a regular file (a device
  // that never ends, a folder, a FIFO) is refused before a byte is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw systemError("cannot open message file", path, errno);
  std::unique_ptr<FILE, int (*)(FILE*)> file(::fdopen(fd, "rb"), &std::fclose);
  if (!file) {
    const int error = errno;
    ::close(fd);
    throw systemError("cannot open message file", path, error);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw systemError("cannot open message file", path, errno);
  if (!S_ISREG(st.st_mode)) {
    throw Error("cannot read message file '" + path + "': it is not a regular file",
                S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, n);
  if (std::ferror(file.get())) throw systemError("cannot read message file", path, errno);
  return ImportRfc822(bytes);
}

std::unique_ptr<Message> ImportRfc822(std::string_view bytes) {
  return import::ImportAtDepth(bytes, 0);
}

void SetMessageFlags(Message& message, std::int32_t flags) {
  const bool hasAttachments = !message.attachments.empty();
  flags = hasAttachments ? (flags | MSGFLAG_HASATTACH) : (flags & ~MSGFLAG_HASATTACH);
  message.props.set(tags::PR_MESSAGE_FLAGS, flags);
  message.props.set(tags::PR_HASATTACH, hasAttachments);
}

}  // namespace qc::mapi
