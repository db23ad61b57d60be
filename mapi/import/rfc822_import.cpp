#include "mapi/import/rfc822_import.h"

#include <algorithm>
#include <functional>

#include "mapi/file_source.h"
#include "mapi/import/attachment_props.h"
#include "mapi/import/body_props.h"
#include "mapi/import/envelope.h"
#include "mapi/import/gmime_support.h"
#include "mapi/import/import_internal.h"
#include "mapi/import/library_messages.h"
#include "mapi/import/part_split.h"
#include "mapi/import/prefixed_range.h"
#include "mapi/import/signed_and_reports.h"
#include "mapi/import/source_stream.h"
#include "mapi/import/streamed_text.h"
#include "mapi/import/text_decode.h"
#include "util/per_thread.h"

namespace qc::mapi {

namespace import {

namespace {

// A header block whose first line begins with white space (seen in real mailboxes) would be
// read as a continuation of nothing and the whole block as body; mail programs read that line
// as the header it is. How many blanks to skip for that.
std::size_t BlanksBeforeFirstHeader(std::string_view bytes) {
  const auto start = bytes.find_first_not_of(" \t");
  if (start == 0 || start == std::string_view::npos) return 0;
  const auto end = bytes.find('\n', start);
  const auto line = bytes.substr(start, end == std::string_view::npos ? end : end - start);
  const auto colon = line.find(':');
  const bool header = colon != std::string_view::npos && colon > 0 &&
                      line.substr(0, colon).find_first_of(" \t") == std::string_view::npos;
  return header ? start : 0;
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

// A mailbox's envelope line ("From someone@example.com  Wed Sep 11 19:43:23 2002"). Real
// mailboxes have it inside header blocks, after status headers some programs put first: it is
// no header, but the block goes on after it.
bool IsEnvelopeLine(std::string_view line) {
  return line.starts_with("From ");
}

// Whether a line of which `start` is all that was read so far can still turn out to be a line
// of the header block: a field (its name up to the ':' without blanks or controls), the
// continuation of one, or an envelope line.
bool MayBeHeaderLine(std::string_view start) {
  if (start.empty() || start[0] == ' ' || start[0] == '\t') return true;
  if (std::string_view("From ").starts_with(start.substr(0, 5))) return true;
  for (const char c : start) {
    if (c == ':') return true;
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || u >= 127) return false;
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
    const auto text = bytes.substr(line, end == std::string_view::npos ? end : end - line);
    if (!IsHeaderLine(text) && !IsEnvelopeLine(text)) return line;
    if (end == std::string_view::npos) return bytes.size();
    line = end + 1;
  }
  return bytes.size();
}

// Text for a Unicode property from raw bytes; NULs would cut the string short in a writer.
std::string RawText(std::string_view bytes, std::string_view fallback) {
  std::string text = GuessUtf8(bytes, fallback);
  std::erase(text, '\0');
  return text;
}

// PR_TRANSPORT_MESSAGE_HEADERS as readers that parse it expect: the header block without
// envelope lines, every line ended by CR LF, at the top level as in embedded messages.
std::string TransportHeaders(std::string_view block) {
  if (!block.starts_with("From ") && block.find("\nFrom ") == std::string_view::npos) {
    return ToCrlf(block);  // no envelope line to leave out
  }
  std::string kept;
  kept.reserve(block.size());
  while (!block.empty()) {
    const auto end = block.find('\n');
    const auto line = block.substr(0, end == std::string_view::npos ? block.size() : end + 1);
    if (!IsEnvelopeLine(line)) kept += line;
    block.remove_prefix(line.size());
  }
  return ToCrlf(kept);
}

// All of the message's bytes from `offset`: only for a message GMime could make nothing of.
std::string ReadAll(const ByteSource& bytes, std::uint64_t offset) {
  std::string all(static_cast<std::size_t>(bytes.size() - std::min(offset, bytes.size())), '\0');
  all.resize(bytes.read(offset, reinterpret_cast<std::uint8_t*>(all.data()), all.size()));
  return all;
}

// What is left when GMime finds no message at all: the bytes from `offset` as the body (read as
// they are written when there are many of them).
std::unique_ptr<Message> Unparsed(const std::shared_ptr<const ByteSource>& bytes,
                                  std::uint64_t offset, std::string headers, const Level& level) {
  auto out = std::make_unique<Message>();
  out->props.set(tags::PR_MESSAGE_CLASS_W, std::string("IPM.Note"));
  out->props.set(tags::PR_SUBJECT_W, std::string());
  if (!headers.empty()) {
    out->props.set(tags::PR_TRANSPORT_MESSAGE_HEADERS_W, TransportHeaders(headers));
  }
  MapContent(nullptr, *out, level);
  if (bytes->size() - std::min(offset, bytes->size()) > kLargeBody) {
    out->props.set(tags::PR_BODY_W,
                   StreamedText(std::make_shared<PrefixedRange>(std::string(), bytes, offset), "",
                                TextForm::Body, level.options.fallbackCharset));
  } else {
    out->props.set(tags::PR_BODY_W,
                   ToCrlf(RawText(ReadAll(*bytes, offset), level.options.fallbackCharset)));
  }
  if (level.options.rtfBody) SetRtfBody(out->props, nullptr);  // of this body, not MapContent's
  return out;
}

// The start of a message read in pieces, as far as the separator line and the header block need.
class MessageStart {
 public:
  explicit MessageStart(const ByteSource& bytes) : bytes_(bytes) {
    more();
    // The mailbox's separator line belongs to the mailbox, not to the message: "From " followed
    // by a space, unlike the header "From:".
    if (text_.starts_with("From ")) {
      std::size_t end = std::string::npos;
      do {
        end = text_.find('\n');
      } while (end == std::string::npos && more());
      body_ = end == std::string::npos ? text_.size() : end + 1;
      separatorDate_ = SeparatorDate(text_.substr(0, body_));
    }
    body_ += BlanksBeforeFirstHeader(text_.substr(body_));
    // A header line cut off by the end of a piece may look like no header: only a stop before a
    // complete line counts, or before one that cannot be a header however it goes on (a body
    // of one long line is not read whole here).
    do {
      headerLength_ = HeaderBlockLength(text_.substr(body_));
      const std::size_t stop = body_ + headerLength_;
      if (text_.find('\n', stop) != std::string::npos) break;
      if (!MayBeHeaderLine(text_.substr(stop))) break;
    } while (more());
  }

  // What it looks at may lie in itself: a copy would look at the original's.
  MessageStart(const MessageStart&) = delete;
  MessageStart& operator=(const MessageStart&) = delete;

  // Where the message begins, past any separator line.
  std::uint64_t offset() const { return body_; }
  // Where its content begins, past the header block and the empty line after it.
  std::uint64_t contentOffset() const {
    const std::string_view rest = text_.substr(body_ + headerLength_);
    return body_ + headerLength_ + (rest.starts_with("\r\n") ? 2 : rest.starts_with("\n") ? 1 : 0);
  }
  // The date on the separator line, if any.
  std::optional<FileTime> separatorDate() const { return separatorDate_; }
  // The header block as text, its raw bytes read as text that names no charset.
  std::string headers(std::string_view fallback) const {
    return RawText(text_.substr(body_, headerLength_), fallback);
  }
  // The fields of the header block, split as GMime would split them; nothing for a block that
  // is not ended by an empty line, or that has a line GMime reads its own way.
  std::optional<HeaderFields> fields() const {
    if (contentOffset() == body_ + headerLength_) return std::nullopt;
    return HeaderFields::Split(block());
  }
  // The Content- fields of a block fields() split, and the empty line after it.
  std::string contentFields() const {
    std::string fields = HeaderFields::ContentFields(block());
    fields += text_.substr(body_ + headerLength_, contentOffset() - body_ - headerLength_);
    return fields;
  }

 private:
  std::string_view block() const { return text_.substr(body_, headerLength_); }

  // Reads the next piece: all of a message held in memory at once, where it lies.
  bool more() {
    if (text_.size() >= bytes_.size()) return false;
    if (const std::uint8_t* whole = bytes_.data()) {
      text_ = std::string_view(reinterpret_cast<const char*>(whole),
                               static_cast<std::size_t>(bytes_.size()));
      return true;
    }
    const std::size_t old = read_.size();
    const auto piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, bytes_.size() - old));
    read_.resize(old + piece);
    read_.resize(old +
                 bytes_.read(old, reinterpret_cast<std::uint8_t*>(read_.data() + old), piece));
    text_ = read_;
    return read_.size() > old;
  }

  static constexpr std::size_t kPiece = 64 * 1024;
  const ByteSource& bytes_;
  std::string read_;       // the pieces read so far, of a message not held in memory
  std::string_view text_;  // the bytes looked at so far
  std::size_t body_ = 0;
  std::size_t headerLength_ = 0;
  std::optional<FileTime> separatorDate_;
};

// What the import could not take apart stays with the item all the same: the message as it
// stands (from `offset`, past the mailbox's separator line), as a file a mail program opens.
void KeepWholeMessage(Message& out, std::shared_ptr<const ByteSource> bytes, std::uint64_t offset,
                      const ImportNotes& notes) {
  ByValueAttachment whole;
  whole.fileName = kWholeMessageName;
  whole.mimeType = "message/rfc822";
  whole.data = std::make_shared<PrefixedRange>(std::string(), std::move(bytes), offset);
  out.attachments.push_back(MakeByValueAttachment(std::move(whole)));
  out.props.set(tags::PR_HASATTACH, true);
  const auto* flags = out.props.get<std::int32_t>(tags::PR_MESSAGE_FLAGS);
  out.props.set(tags::PR_MESSAGE_FLAGS, (flags ? *flags : 0) | MSGFLAG_HASATTACH);
  if (notes.warnings != nullptr) {
    notes.warnings->push_back(
        "its parts are nested too deep to be converted one by one; the whole message is kept as "
        "the attachment \"" +
        std::string(kWholeMessageName) + "\"");
  }
}

// What GMime made of a message, and the stream it read.
struct Parsed {
  GPtr<GMimeStream> stream;
  GPtr<GMimeMessage> message;  // when GMime parsed the header block
  GPtr<GMimeObject> part;      // the top part, when the import split the header block
  std::optional<HeaderFields> fields;

  bool any() const { return message || part; }
  GMimeObject* root() const {
    return message ? g_mime_message_get_mime_part(message.get()) : part.get();
  }
};

// Each thread's parser of whole messages, kept between them: a parser is an object of GLib's,
// whose making and unmaking (its type's bookkeeping, a lock all threads share) cost more than
// setting it to a new stream. Between messages it holds an empty stream, not the last message's,
// which would keep that message's bytes alive.
struct ReusedParser {
  GPtr<GMimeStream> idle{g_mime_stream_null_new()};
  GPtr<GMimeParser> parser{g_mime_parser_new_with_stream(idle.get())};
};

// What `construct` makes of `stream` with this thread's parser, which is left on its empty
// stream again.
template <class T, class Construct>
GPtr<T> ParseWithThreadParser(GMimeStream* stream, Construct construct) {
  ReusedParser& reused = PerThread<ReusedParser>();
  GMimeParser* parser = reused.parser.get();
  g_mime_parser_init_with_stream(parser, stream);
  g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
  GPtr<T> made(construct(parser, LenientParserOptions()));
  g_mime_parser_init_with_stream(parser, reused.idle.get());
  RethrowReadFailure(stream);
  return made;
}

// [from, end) of `bytes` parsed by GMime as a message, header block and all.
Parsed ParseMessage(const std::shared_ptr<const ByteSource>& bytes, std::uint64_t from,
                    std::uint64_t end) {
  Parsed out;
  out.stream = NewSourceStream(bytes, from, end, Nuls::Blanked);
  out.message =
      ParseWithThreadParser<GMimeMessage>(out.stream.get(), g_mime_parser_construct_message);
  return out;
}

// The message with its header block split here, GMime given only the block's Content- fields
// and the content to parse as its top part: the same part as GMime's message would hold, with
// none of the objects GMime makes of the other fields. Nothing when the block is not one to
// split, and the message is left to ParseMessage.
std::optional<Parsed> ParseSplit(const std::shared_ptr<const ByteSource>& bytes,
                                 const MessageStart& start) {
  std::optional<HeaderFields> fields = start.fields();
  if (!fields) return std::nullopt;
  Parsed out;
  const auto source =
      std::make_shared<PrefixedRange>(start.contentFields(), bytes, start.contentOffset());
  out.stream = NewSourceStream(source, 0, source->size(), Nuls::Blanked);
  out.part = ParseWithThreadParser<GMimeObject>(out.stream.get(), g_mime_parser_construct_part);
  if (!out.part) return std::nullopt;
  out.fields = std::move(fields);
  return out;
}

// One part of a message's top multipart, parsed on its own inside a multipart of its own by
// `parser`, which serves all of them.
GPtr<GMimeObject> ParsePart(GMimeParser* parser, const std::shared_ptr<const ByteSource>& bytes,
                            const PartRange& range,
                            const std::shared_ptr<const PartFrames>& frames) {
  const std::shared_ptr<const ByteSource> alone = PartAlone(bytes, range, frames);
  GPtr<GMimeStream> stream = NewSourceStream(alone, 0, alone->size(), Nuls::Blanked);
  g_mime_parser_init_with_stream(parser, stream.get());
  GPtr<GMimeObject> part(g_mime_parser_construct_part(parser, LenientParserOptions()));
  RethrowReadFailure(stream.get());
  return part;
}

// A top multipart of more parts than this is taken a part at a time: GMime's tree of a whole
// message holds some 3 KB for each part, 200 MB for 70,000 attachments.
constexpr std::size_t kMostPartsParsedWhole = 1000;

// Whether the message could be a multipart/mixed of more than kMostPartsParsedWhole parts: its
// header block names one, and as many lines of its content begin as boundary lines do. Most
// messages are told apart by their header block alone.
bool MayHaveManyParts(const ByteSource& bytes, const MessageStart& start,
                      const std::string& headers) {
  // Letters in either case; a stray match elsewhere only costs the count.
  struct Folded {
    std::size_t operator()(char c) const { return static_cast<unsigned char>(c | 0x20); }
    bool operator()(char a, char b) const { return (a | 0x20) == (b | 0x20); }
  };
  static constexpr std::string_view kMixed = "multipart/mixed";
  static const std::boyer_moore_horspool_searcher searcher(kMixed.begin(), kMixed.end(), Folded{},
                                                           Folded{});
  return std::search(headers.begin(), headers.end(), searcher) != headers.end() &&
         CountDashLines(bytes, start.contentOffset(), bytes.size(), kMostPartsParsedWhole) >
             kMostPartsParsedWhole;
}

// Where the parts of a message lie, when its top part (as `headersOnly`, GMime's parse of its
// header block, has it) is a multipart/mixed of more than kMostPartsParsedWhole parts; nothing
// for any other message, which GMime parses whole. Other kinds of multipart are read as a whole
// (the parts of an alternative or a related one are chosen among), and parts are not told
// their type by a multipart/digest.
std::vector<PartRange> ManyParts(const ByteSource& bytes, const MessageStart& start,
                                 GMimeMessage* headersOnly) {
  GMimeObject* top = headersOnly ? g_mime_message_get_mime_part(headersOnly) : nullptr;
  if (top == nullptr || !GMIME_IS_MULTIPART(top) || MimeType(top) != "multipart/mixed") return {};
  const char* boundary = g_mime_object_get_content_type_parameter(top, "boundary");
  if (boundary == nullptr || *boundary == '\0') return {};
  std::vector<PartRange> parts =
      SplitMultipart(bytes, start.contentOffset(), bytes.size(), boundary);
  if (parts.size() <= kMostPartsParsedWhole) return {};
  return parts;
}

}  // namespace

std::string UnknownCharsetsWarning(const std::set<std::string>& labels, std::string_view fallback) {
  std::string named;
  for (const std::string& label : labels) {
    if (!named.empty()) named += ", ";
    named += "\"" + label + "\"";
  }
  const bool one = labels.size() == 1;
  return std::string(one ? "its charset " : "its charsets ") + named + (one ? " is" : " are") +
         " not known: the text in " + (one ? "it" : "them") +
         " was read as UTF-8 where valid, else as " + std::string(fallback);
}

std::unique_ptr<Message> ImportAtDepth(std::shared_ptr<const ByteSource> bytes,
                                       const Level& level) {
  EnsureGMimeInitialized();
  const MessageStart start(*bytes);
  std::string headers = start.headers(level.options.fallbackCharset);

  std::vector<PartRange> parts;
  Parsed parsed;
  if (MayHaveManyParts(*bytes, start, headers)) {
    parsed = ParseMessage(bytes, start.offset(), start.contentOffset());
    parts = ManyParts(*bytes, start, parsed.message.get());
  }
  if (parts.empty()) {
    std::optional<Parsed> split = level.splitHeaderBlocks ? ParseSplit(bytes, start) : std::nullopt;
    parsed = split ? std::move(*split) : ParseMessage(bytes, start.offset(), bytes->size());
  }
  std::unique_ptr<Message> out;
  if (!parsed.any()) {
    out = Unparsed(bytes, start.offset(), std::move(headers), level);
  } else if (parsed.fields) {
    out = ConvertParsed({*parsed.fields, nullptr, parsed.root()}, std::move(headers), level,
                        start.separatorDate());
  } else if (parts.empty()) {
    out = ConvertParsed(parsed.message.get(), std::move(headers), level, start.separatorDate());
  } else {
    const auto frames = FramesFor(g_mime_object_get_content_type_parameter(
        g_mime_message_get_mime_part(parsed.message.get()), "boundary"));
    GPtr<GMimeParser> parser(g_mime_parser_new());
    std::size_t next = 0;
    const PartFeed feed{parts.size(), [&]() -> GPtr<GMimeObject> {
                          return next < parts.size()
                                     ? ParsePart(parser.get(), bytes, parts[next++], frames)
                                     : nullptr;
                        }};
    out = ConvertParsed(parsed.message.get(), std::move(headers), level, start.separatorDate(),
                        &feed);
  }
  if (parsed.any() && IsSmimeSigned(parsed.root())) {
    // The signed entity is the whole content already, structure and all.
    KeepSignedEntity(*out, bytes, start.contentOffset());
  } else if (level.depth == 0 && level.notes != nullptr && level.notes->tooDeep) {
    KeepWholeMessage(*out, bytes, start.offset(), *level.notes);
  }
  // Bodies are read after parsing: a failure there must not pass for a shorter body.
  RethrowReadFailure(parsed.stream.get());
  return out;
}

std::unique_ptr<Message> ConvertParsed(const ParsedMessage& parsed, std::string transportHeaders,
                                       const Level& level, std::optional<FileTime> separatorDate,
                                       const PartFeed* parts) {
  auto out = std::make_unique<Message>();
  out->props.set(tags::PR_MESSAGE_CLASS_W, std::string("IPM.Note"));
  GMimeObject* root = parsed.root;
  // The parts of a message taken a part at a time are not there to ask: its text that names no
  // charset goes by the messages around it and the fallback.
  const RawTextReader text(
      [root, parts] { return parts ? std::vector<std::string>() : DeclaredCharsets(root); },
      level.options.fallbackCharset, level.text, level.unknownCharsets());
  Level here = level;
  here.text = &text;
  MapEnvelope(parsed.fields, parsed.message, *out, text, separatorDate);
  if (!transportHeaders.empty()) {
    out->props.set(tags::PR_TRANSPORT_MESSAGE_HEADERS_W, TransportHeaders(transportHeaders));
  }
  if (parts != nullptr) {
    MapContentPartByPart(*parts, *out, here);
  } else {
    MapContent(root, *out, here);
  }
  if (auto report = ReportMessageClass(root)) {
    out->props.set(tags::PR_MESSAGE_CLASS_W, std::move(*report));
  }
  return out;
}

std::unique_ptr<Message> ConvertParsed(GMimeMessage* message, std::string transportHeaders,
                                       const Level& level, std::optional<FileTime> separatorDate,
                                       const PartFeed* parts) {
  const HeaderFields fields = HeaderFields::Of(GMIME_OBJECT(message));
  return ConvertParsed({fields, message, g_mime_message_get_mime_part(message)},
                       std::move(transportHeaders), level, separatorDate, parts);
}

}  // namespace import

std::unique_ptr<Message> ImportRfc822File(const std::string& path,
                                          std::vector<std::string>* warnings) {
  return ImportRfc822(FileSource::Open(path, "message file"), {}, warnings);
}

std::unique_ptr<Message> ImportRfc822(std::string_view bytes, std::vector<std::string>* warnings) {
  return ImportRfc822(std::make_shared<MemorySource>(Bytes(bytes.begin(), bytes.end())), {},
                      warnings);
}

std::unique_ptr<Message> ImportRfc822(std::shared_ptr<const ByteSource> bytes,
                                      ImportOptions options, std::vector<std::string>* warnings) {
  const LibraryMessageScope libraries(warnings);
  import::ImportNotes notes;
  notes.warnings = warnings;
  auto message = import::ImportAtDepth(std::move(bytes), import::Level{0, options, &notes});
  if (warnings != nullptr && !notes.unknownCharsets.empty()) {
    warnings->push_back(
        import::UnknownCharsetsWarning(notes.unknownCharsets, options.fallbackCharset));
  }
  return message;
}

void SetMessageFlags(Message& message, std::int32_t flags) {
  const bool hasAttachments = !message.attachments.empty();
  flags = hasAttachments ? (flags | MSGFLAG_HASATTACH) : (flags & ~MSGFLAG_HASATTACH);
  message.props.set(tags::PR_MESSAGE_FLAGS, flags);
  message.props.set(tags::PR_HASATTACH, hasAttachments);
}

}  // namespace qc::mapi
