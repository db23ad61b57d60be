#include "mapi/tests/corpus.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qc::mapi::testing {

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Runs of blanks as one space: readers refold long headers their own way.
std::string Spaced(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\t' || c == '\r' || c == '\n';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

void CollectAddresses(InternetAddressList* list, std::set<std::string>& out, int depth = 0) {
  if (list == nullptr || depth > 4) return;
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* a = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(a)) {
      CollectAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(a)), out,
                       depth + 1);
    } else if (INTERNET_ADDRESS_IS_MAILBOX(a)) {
      const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
      if (addr && *addr) out.insert(Lower(addr));
    }
  }
}

std::string PartBytes(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return {};
  GMimeStream* memory = g_mime_stream_mem_new();
  g_mime_data_wrapper_write_to_stream(content, memory);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
  std::string out(reinterpret_cast<const char*>(bytes->data), bytes->len);
  g_object_unref(memory);
  return out;
}

std::string FromWindows1252(const std::string& bytes) {
  gsize written = 0;
  char* text = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", "WINDOWS-1252",
                         nullptr, &written, nullptr);
  if (!text) {
    // The five bytes windows-1252 leaves undefined: as their C1 controls.
    text = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8", "ISO-8859-1",
                     nullptr, &written, nullptr);
  }
  std::string out(text ? text : "", text ? written : 0);
  g_free(text);
  return out;
}

// The charset an HTML document names in a <meta> element.
std::string MetaCharset(const std::string& html) {
  const std::string head = Lower(html.substr(0, 4096));
  for (auto at = head.find("charset="); at != std::string::npos;
       at = head.find("charset=", at + 1)) {
    const auto tag = head.rfind('<', at);
    if (tag == std::string::npos || head.compare(tag, 5, "<meta") != 0) continue;
    auto start = at + 8;
    while (start < head.size() && (head[start] == '"' || head[start] == '\'')) ++start;
    auto end = start;
    while (end < head.size() && (std::isalnum(static_cast<unsigned char>(head[end])) ||
                                 std::string_view("-_:.").find(head[end]) != std::string::npos)) {
      ++end;
    }
    if (end > start) return head.substr(start, end - start);
  }
  return {};
}

// Valid UTF-8 kept, each stray byte read as windows-1252: mail labelled UTF-8 with a few
// Latin-1 bytes in it shows both.
std::string RepairedUtf8(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const gunichar c =
        g_utf8_get_char_validated(bytes.data() + i, static_cast<gssize>(bytes.size() - i));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2) ||
        (c == 0 && bytes[i] != '\0')) {
      out += FromWindows1252(bytes.substr(i, 1));
      ++i;
    } else {
      const auto n =
          static_cast<std::size_t>(g_utf8_next_char(bytes.data() + i) - (bytes.data() + i));
      out.append(bytes, i, n);
      i += n;
    }
  }
  return out;
}

// A text part as UTF-8, as a lenient mail program reads it: the declared charset, Latin-1
// labels as windows-1252 (as browsers do); without a charset, or labelled ASCII, valid UTF-8
// as such and anything else as windows-1252.
std::string PartText(GMimePart* part, bool html) {
  const std::string bytes = PartBytes(part);
  const char* param = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
  std::string charset = param ? Lower(param) : "";
  if (charset.empty() && html) charset = MetaCharset(bytes);
  const bool valid = g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr);
  if (charset.empty() || charset == "us-ascii" || charset == "ascii") {
    return valid ? bytes : FromWindows1252(bytes);
  }
  if (charset == "iso-8859-1" || charset == "latin1" || charset == "windows-1252") {
    return FromWindows1252(bytes);
  }
  if (charset == "utf-8" || charset == "utf8") return RepairedUtf8(bytes);
  gsize written = 0;
  char* text = g_convert(bytes.data(), static_cast<gssize>(bytes.size()), "UTF-8",
                         g_mime_charset_iconv_name(charset.c_str()), nullptr, &written, nullptr);
  std::string out = text ? std::string(text, written) : valid ? bytes : FromWindows1252(bytes);
  g_free(text);
  return out;
}

// RFC 2045 5.2: a Content-Type that cannot be read (GMime gives application/octet-stream for
// it) is text/plain, as is a bare "text".
std::string MimeType(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  const char* media = type ? g_mime_content_type_get_media_type(type) : nullptr;
  const char* sub = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
  const std::string mime =
      !media || !sub || !*media || !*sub ? "" : Lower(std::string(media) + "/" + sub);
  const char* raw = g_mime_object_get_header(object, "Content-Type");
  if (!mime.empty() && (mime != "application/octet-stream" || !raw)) return mime;
  std::string declared = Lower(raw ? raw : "");
  declared = declared.substr(0, declared.find(';'));
  declared.erase(std::remove_if(declared.begin(), declared.end(),
                                [](unsigned char c) { return std::isspace(c); }),
                 declared.end());
  if (declared == "application/octet-stream") return declared;
  const bool typeSlashSubtype =
      declared.find('/') != std::string::npos && declared.find('/') > 0 && declared.back() != '/';
  const std::string media0 = declared.substr(0, declared.find('/'));
  const bool word = !media0.empty() && std::all_of(media0.begin(), media0.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '+';
  });
  if (typeSlashSubtype || (word && media0 != "text")) return "application/octet-stream";
  return "text/plain";
}

bool IsAttachmentPart(GMimePart* part) {
  const char* disposition = g_mime_object_get_disposition(GMIME_OBJECT(part));
  return (disposition && g_ascii_strcasecmp(disposition, "attachment") == 0) ||
         g_mime_part_get_filename(part) != nullptr;
}

GMimeParserOptions* Options() {
  static GMimeParserOptions* options = [] {
    GMimeParserOptions* o = g_mime_parser_options_new();
    static const char* charsets[] = {"utf-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(o, charsets);
    return o;
  }();
  return options;
}

GMimeMessage* Parse(const std::string& bytes) {
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* message = g_mime_parser_construct_message(parser, Options());
  g_object_unref(parser);
  g_object_unref(stream);
  return message;
}

std::string SubjectOf(GMimeMessage* message) {
  const char* subject = message ? g_mime_message_get_subject(message) : nullptr;
  return subject ? Spaced(subject) : std::string();
}

// The walk of a mail program: the first readable text of a message is its body, alternatives
// give a plain and an HTML body, a related part's root is the body and the rest its resources,
// everything else is an attachment; forwarded messages stay whole.
class SourceWalk {
 public:
  explicit SourceWalk(Expected& e) : e_(e) {}

  void visit(GMimeObject* object, bool candidate) {
    if (GMIME_IS_MESSAGE_PART(object)) {
      GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
      e_.attachments.push_back({"", "", false, true, SubjectOf(inner)});
      return;
    }
    if (GMIME_IS_MULTIPART(object)) return multipart(GMIME_MULTIPART(object), candidate);
    if (!GMIME_IS_PART(object)) return;
    GMimePart* part = GMIME_PART(object);
    const std::string type = MimeType(object);
    const bool noBody = !e_.text && !e_.html;
    const bool alternative = alternatives_ > 0;
    if (candidate && (noBody || (alternative && !e_.text)) && !IsAttachmentPart(part) &&
        type == "text/plain") {
      e_.text = NormalisedText(PartText(part, false));
    } else if (candidate && (noBody || (alternative && !e_.html)) && !IsAttachmentPart(part) &&
               type == "text/html") {
      e_.html = NormalisedText(PartText(part, true));
    } else {
      attach(part, false);
    }
  }

 private:
  void multipart(GMimeMultipart* multipart, bool candidate) {
    const std::string type = MimeType(GMIME_OBJECT(multipart));
    const int count = g_mime_multipart_get_count(multipart);
    if (count == 0) {
      // No boundary found: what GMime keeps as preamble and epilogue is the text, as mail
      // programs show it.
      const char* prologue = g_mime_multipart_get_prologue(multipart);
      const char* epilogue = g_mime_multipart_get_epilogue(multipart);
      const std::string text = std::string(prologue ? prologue : "") + (epilogue ? epilogue : "");
      if (text.find_first_not_of(" \t\r\n") == std::string::npos) return;
      const bool valid = g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
      if (candidate && !e_.text && !e_.html) {
        e_.text = NormalisedText(valid ? text : FromWindows1252(text));
      } else {
        e_.attachments.push_back({"", text, false, false, ""});
      }
      return;
    }
    if (type == "multipart/alternative" && candidate) {
      for (int i = 0; i < count; ++i) {
        GMimeObject* child = g_mime_multipart_get_part(multipart, i);
        const std::string childType = MimeType(child);
        if (!GMIME_IS_PART(child)) {
          // An alternative rendering in parts of its own (HTML with its pictures): its text
          // is a body beside the one already found.
          ++alternatives_;
          visit(child, true);
          --alternatives_;
        } else if (IsAttachmentPart(GMIME_PART(child))) {
          attach(GMIME_PART(child), false);
        } else if (childType == "text/plain") {
          if (!e_.text) e_.text = NormalisedText(PartText(GMIME_PART(child), false));
        } else if (childType == "text/html") {
          if (!e_.html) e_.html = NormalisedText(PartText(GMIME_PART(child), true));
        } else if (childType.rfind("text/", 0) != 0 || childType == "text/calendar") {
          attach(GMIME_PART(child), false);
        }
      }
      return;
    }
    if (type == "multipart/related" && count > 0) {
      int root = 0;
      if (const char* start =
              g_mime_object_get_content_type_parameter(GMIME_OBJECT(multipart), "start")) {
        std::string id = start;
        if (id.size() >= 2 && id.front() == '<') id = id.substr(1, id.size() - 2);
        for (int i = 0; i < count; ++i) {
          const char* cid = g_mime_object_get_content_id(g_mime_multipart_get_part(multipart, i));
          if (cid && id == cid) root = i;
        }
      }
      visit(g_mime_multipart_get_part(multipart, root), candidate);
      for (int i = 0; i < count; ++i) {
        GMimeObject* child = g_mime_multipart_get_part(multipart, i);
        if (i == root) continue;
        if (GMIME_IS_PART(child)) {
          attach(GMIME_PART(child), true);
        } else {
          visit(child, false);
        }
      }
      return;
    }
    if (type == "multipart/signed") {
      for (int i = 0; i < count; ++i) {
        GMimeObject* child = g_mime_multipart_get_part(multipart, i);
        if (i == 0 || !GMIME_IS_PART(child)) {
          visit(child, candidate);
        } else {
          attach(GMIME_PART(child), false);
        }
      }
      return;
    }
    for (int i = 0; i < count; ++i) visit(g_mime_multipart_get_part(multipart, i), candidate);
  }

  void attach(GMimePart* part, bool related) {
    GMimeObject* object = GMIME_OBJECT(part);
    if (MimeType(object) == "message/rfc822") {
      GMimeMessage* inner = Parse(PartBytes(part));
      e_.attachments.push_back({"", "", false, true, SubjectOf(inner)});
      if (inner) g_object_unref(inner);
      return;
    }
    ExpectedAttachment a;
    const char* name = g_mime_part_get_filename(part);
    a.name = name ? name : "";
    a.bytes = PartBytes(part);
    const char* cid = g_mime_object_get_content_id(object);
    const char* location = g_mime_part_get_content_location(part);
    cids_.push_back(cid ? cid : "");
    locations_.push_back(related && location ? location : "");
    e_.attachments.push_back(std::move(a));
    index_.push_back(e_.attachments.size() - 1);
  }

 public:
  // Resources the HTML body shows in place are inline.
  void markInline() {
    if (!e_.html) return;
    for (std::size_t k = 0; k < index_.size(); ++k) {
      const bool byCid = !cids_[k].empty() && e_.html->find("cid:" + cids_[k]) != std::string::npos;
      const bool byLocation =
          !locations_[k].empty() && e_.html->find(locations_[k]) != std::string::npos;
      e_.attachments[index_[k]].inline_ = byCid || byLocation;
    }
  }

 private:
  Expected& e_;
  int alternatives_ = 0;
  std::vector<std::size_t> index_;
  std::vector<std::string> cids_, locations_;
};

}  // namespace

std::string NormalisedText(std::string text) {
  std::string lf;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lf += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] != '\0') {
      lf += text[i];
    }
  }
  std::string out;
  std::size_t start = 0;
  while (start <= lf.size()) {
    std::size_t end = lf.find('\n', start);
    if (end == std::string::npos) end = lf.size();
    std::string line = lf.substr(start, end - start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    out += line + "\n";
    start = end + 1;
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::vector<std::pair<std::string, std::string>> Corpus() {
  std::vector<std::pair<std::string, std::string>> corpus;
  const std::string box = ReadAll(fs::path(QC_SOURCE_DIR) / "samples" / "Sample Inbox.mbx");
  const std::string sep = "From ???@???";
  for (std::size_t at = box.find(sep), n = 0; at != std::string::npos; ++n) {
    const std::size_t next = box.find(sep, at + 1);
    corpus.emplace_back("sample message " + std::to_string(n),
                        box.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next;
  }
  const fs::path enmime = "/usr/share/gocode/src/github.com/jhillyerd/enmime/testdata";
  for (const auto& dir : {fs::path(QC_SOURCE_DIR) / "mapi" / "tests" / "corpus",
                          fs::path("/usr/lib/python3.11/test/test_email/data"), enmime / "mail",
                          enmime / "low-quality"}) {
    if (!fs::is_directory(dir)) continue;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) {
      const auto name = e.path().filename().string();
      const auto ext = e.path().extension();
      if (ext == ".eml" || ext == ".raw" || (name.rfind("msg_", 0) == 0 && ext == ".txt")) {
        files.push_back(e.path());
      }
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      corpus.emplace_back(f.parent_path().filename().string() + "/" + f.filename().string(),
                          ReadAll(f));
    }
  }
  return corpus;
}

Expected ReadSource(const std::string& source) {
  static const bool ready = [] {
    g_mime_init();
    return true;
  }();
  (void)ready;
  Expected e;
  // A first header line indented by mistake is read as the header it is.
  const auto start = source.find_first_not_of(" \t");
  GMimeMessage* message = Parse(start != std::string::npos && start > 0 &&
                                        source.find(':', start) < source.find('\n', start)
                                    ? source.substr(start)
                                    : source);
  if (!message) return e;
  e.subject = SubjectOf(message);
  // The first author, as the header lists them.
  InternetAddressList* authors = g_mime_message_get_from(message);
  for (int i = 0; authors && i < internet_address_list_length(authors); ++i) {
    InternetAddress* a = internet_address_list_get_address(authors, i);
    if (INTERNET_ADDRESS_IS_MAILBOX(a)) {
      const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
      if (addr && *addr) {
        e.from = Lower(addr);
        break;
      }
    }
  }
  CollectAddresses(g_mime_message_get_to(message), e.to);
  CollectAddresses(g_mime_message_get_cc(message), e.cc);
  CollectAddresses(g_mime_message_get_bcc(message), e.bcc);
  CollectAddresses(g_mime_message_get_reply_to(message), e.replyTo);
  if (GDateTime* date = g_mime_message_get_date(message)) e.date = g_date_time_to_unix(date);
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  for (int i = 0; i < g_mime_header_list_get_count(headers); ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
    if (g_ascii_strcasecmp(g_mime_header_get_name(header), "Keywords") != 0) continue;
    std::string value = g_mime_header_get_value(header);
    value += ',';
    for (std::size_t at = 0, comma; (comma = value.find(',', at)) != std::string::npos;
         at = comma + 1) {
      const std::string keyword = Spaced(value.substr(at, comma - at));
      if (!keyword.empty() &&
          std::find(e.keywords.begin(), e.keywords.end(), keyword) == e.keywords.end()) {
        e.keywords.push_back(keyword);
      }
    }
  }
  if (GMimeObject* body = g_mime_message_get_mime_part(message)) {
    SourceWalk walk(e);
    walk.visit(body, true);
    walk.markInline();
    // Clear-signed S/MIME (MS-OXOSMIME): the readable bodies, and as the one attachment the
    // signed entity: the message's MIME-Version and Content-* fields, then its body unchanged.
    const char* protocol = g_mime_object_get_content_type_parameter(body, "protocol");
    if (MimeType(body) == "multipart/signed" && protocol &&
        Lower(protocol).find("pkcs7-signature") != std::string::npos) {
      const auto blank = source.find("\n\n") < source.find("\r\n\r\n")
                             ? source.find("\n\n") + 2
                             : source.find("\r\n\r\n") + 4;
      std::string fields;
      bool keep = false;
      std::size_t at = source.rfind("From ", 0) == 0 ? source.find('\n') + 1 : 0;
      while (at < blank) {
        const auto end = source.find('\n', at);
        std::string line = source.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        at = end + 1;
        if (line.empty()) break;
        if (line[0] != ' ' && line[0] != '\t') {
          const std::string name = Lower(line.substr(0, line.find(':')));
          keep = name == "mime-version" || name.rfind("content-", 0) == 0;
        }
        if (keep) fields += line + "\r\n";
      }
      e.attachments = {{"", fields + "\r\n" + source.substr(blank), false, false, ""}};
    }
  }
  g_object_unref(message);
  return e;
}

}  // namespace qc::mapi::testing
