// The MIME tree of a message becomes its bodies and attachments (MS-OXCMAIL 2.2.3.3 and 2.2.3.4):
// the text/plain and text/html parts meant for reading are the bodies, every other part an
// attachment; message/rfc822 parts become embedded messages.
#include <optional>
#include <set>
#include <vector>

#include "mapi/import/attachment_props.h"
#include "mapi/import/body_props.h"
#include "mapi/import/charset_labels.h"
#include "mapi/import/gmime_support.h"
#include "mapi/import/header_text.h"
#include "mapi/import/html_text.h"
#include "mapi/import/import_internal.h"
#include "mapi/import/large_html.h"
#include "mapi/import/part_data.h"
#include "mapi/import/part_split.h"
#include "mapi/import/streamed_text.h"
#include "mapi/import/text_decode.h"

namespace qc::mapi::import {

namespace {

std::string_view AsText(const Bytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool IsAttachmentDisposition(GMimeObject* object) {
  const char* disposition = g_mime_object_get_disposition(object);
  return disposition != nullptr && g_ascii_strcasecmp(disposition, "attachment") == 0;
}

// Whether a raw Content-Type or Content-Disposition value holds what GMime reads otherwise than
// mail programs do (raw bytes by the system's locale, charsets by its own names): 8-bit
// bytes, escapes, encoded words, RFC 2231 values.
bool NeedsOwnReading(const char* raw) {
  const std::string_view value(raw);
  return NeedsDecoding(value) || value.find('*') != std::string_view::npos;
}

// The file name a part gives itself: the filename of its Content-Disposition, else the name
// of its Content-Type.
std::string PartFileName(GMimePart* part, const RawTextReader* reader) {
  GMimeObject* object = GMIME_OBJECT(part);
  const char* disposition = RawHeader(object, "Content-Disposition", true);
  if (reader != nullptr && disposition != nullptr && NeedsOwnReading(disposition)) {
    if (auto name = HeaderParameter(disposition, "filename", *reader)) return *name;
  } else if (const char* name =
                 g_mime_object_get_content_disposition_parameter(object, "filename")) {
    return GMimeText(name);
  }
  const char* type = RawHeader(object, "Content-Type", true);
  if (reader != nullptr && type != nullptr && NeedsOwnReading(type)) {
    return HeaderParameter(type, "name", *reader).value_or(std::string());
  }
  return GMimeText(g_mime_object_get_content_type_parameter(object, "name"));
}

// A text part meant to be read as the message itself rather than opened as a file.
bool IsReadableText(GMimePart* part, const char* subtype) {
  GMimeObject* object = GMIME_OBJECT(part);
  return MimeType(object) == std::string("text/") + subtype && !IsAttachmentDisposition(object) &&
         g_mime_part_get_filename(part) == nullptr;
}

// The targets of the "cid:" URLs in an HTML body, collected once however many parts there are.
std::set<std::string> CidReferences(const std::string& html) {
  std::set<std::string> cids;
  for (auto at = html.find("cid:"); at != std::string::npos; at = html.find("cid:", at + 4)) {
    const auto end = html.find_first_of("\"' )>\t\r\n", at + 4);
    cids.insert(html.substr(at + 4, end == std::string::npos ? std::string::npos : end - at - 4));
  }
  return cids;
}

class ContentWalker {
 public:
  ContentWalker(Message& out, const Level& level) : out_(out), level_(level) {}

  void Walk(GMimeObject* root) {
    if (root != nullptr) Visit(root, 0);
    Finish();
  }

  // As Walk() over a multipart/mixed whose parts come one at a time, each in a multipart of its
  // own.
  void WalkParts(const PartFeed& parts) {
    // Most are attachments: room for them at once, rather than twice over while growing.
    out_.attachments.reserve(parts.count);
    related_.reserve(parts.count);
    while (const GPtr<GMimeObject> alone = parts.next()) {
      if (!GMIME_IS_MULTIPART(alone.get())) continue;
      GMimeMultipart* multipart = GMIME_MULTIPART(alone.get());
      for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
        Visit(g_mime_multipart_get_part(multipart, i), 1);
      }
    }
    Finish();
  }

 private:
  void Visit(GMimeObject* object, int level) {
    if (level > kMaxMimeDepth) return Flatten(object);
    if (GMIME_IS_MULTIPART_SIGNED(object)) return VisitSigned(GMIME_MULTIPART(object), level);
    if (GMIME_IS_MULTIPART(object)) {
      if (g_mime_multipart_get_count(GMIME_MULTIPART(object)) == 0) {
        return VisitUnsplit(GMIME_MULTIPART(object), true);
      }
      const std::string type = MimeType(object);
      if (type == "multipart/alternative") {
        return VisitAlternative(GMIME_MULTIPART(object), level);
      }
      if (type == "multipart/related") return VisitRelated(GMIME_MULTIPART(object), level);
      return VisitChildren(GMIME_MULTIPART(object), level);
    }
    if (GMIME_IS_MESSAGE_PART(object)) return AttachMessagePart(GMIME_MESSAGE_PART(object));
    if (GMIME_IS_PART(object)) return VisitLeaf(GMIME_PART(object));
  }

  // A multipart whose boundary never appears: GMime keeps all of it as the preamble, which
  // readers hide. Mail programs show it as text, and so it stays: the body (where `mayBeBody`
  // and there is none yet), or a text file. GMime also leaves the parts below the deepest level
  // it parses so.
  void VisitUnsplit(GMimeMultipart* multipart, bool mayBeBody) {
    std::string text;
    if (const char* prologue = g_mime_multipart_get_prologue(multipart)) text += prologue;
    // A boundary line in the text: GMime left the multipart unsplit for being nested too deep.
    const char* boundary =
        g_mime_object_get_content_type_parameter(GMIME_OBJECT(multipart), "boundary");
    if (boundary != nullptr && *boundary != '\0' && HasBoundaryLine(text, boundary)) {
      level_.noteTooDeep();
    }
    if (const char* epilogue = g_mime_multipart_get_epilogue(multipart)) text += epilogue;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return;
    if (mayBeBody && !plain_ && !html_) {
      plain_ = ToUtf8(text, "", fallback());
      return;
    }
    ByValueAttachment in;
    in.mimeType = "text/plain";
    in.fileName = GeneratedName(".txt");
    in.data = std::make_shared<MemorySource>(Bytes(text.begin(), text.end()));
    out_.attachments.push_back(MakeByValueAttachment(std::move(in)));
    related_.push_back(false);
  }

  void VisitChildren(GMimeMultipart* multipart, int level) {
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) Visit(g_mime_multipart_get_part(multipart, i), level + 1);
  }

  // The signed content is read as if unsigned; the signature stays with the message as a file.
  void VisitSigned(GMimeMultipart* multipart, int level) {
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) {
      GMimeObject* child = g_mime_multipart_get_part(multipart, i);
      if (i == 0 || !GMIME_IS_PART(child)) {
        Visit(child, level + 1);
      } else {
        AttachPart(GMIME_PART(child), false);
      }
    }
  }

  // Alternatives render the same content: the plain and the HTML one become the bodies, other
  // text renderings (enriched text) are dropped, anything else (a calendar) is kept as a file.
  void VisitAlternative(GMimeMultipart* multipart, int level) {
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) {
      GMimeObject* child = g_mime_multipart_get_part(multipart, i);
      if (!GMIME_IS_PART(child)) {
        // Another rendering of the body, typically the HTML with its pictures in a related
        // part: what it holds is chosen as a body beside the plain text already taken.
        ++alternatives_;
        Visit(child, level + 1);
        --alternatives_;
        continue;
      }
      GMimePart* part = GMIME_PART(child);
      if (IsReadableText(part, "plain")) {
        if (!plain_) TakePlain(part);
      } else if (IsReadableText(part, "html")) {
        if (!html_) TakeHtml(part);
      } else if (MimeType(child) == "text/calendar" || MimeType(child).rfind("text/", 0) != 0) {
        AttachPart(part, false);
      }
    }
  }

  // The root part (named by the start parameter, else the first) is the body; the rest are the
  // resources it refers to.
  void VisitRelated(GMimeMultipart* multipart, int level) {
    const int count = g_mime_multipart_get_count(multipart);
    if (count == 0) return;
    int root = 0;
    if (const char* start =
            g_mime_object_get_content_type_parameter(GMIME_OBJECT(multipart), "start")) {
      std::string id = start;
      if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
      for (int i = 0; i < count; ++i) {
        const char* cid = g_mime_object_get_content_id(g_mime_multipart_get_part(multipart, i));
        if (cid != nullptr && id == cid) root = i;
      }
    }
    Visit(g_mime_multipart_get_part(multipart, root), level + 1);
    for (int i = 0; i < count; ++i) {
      if (i == root) continue;
      GMimeObject* child = g_mime_multipart_get_part(multipart, i);
      if (GMIME_IS_PART(child)) {
        AttachPart(GMIME_PART(child), true);
      } else {
        Visit(child, level + 1);
      }
    }
  }

  void VisitLeaf(GMimePart* part) {
    const bool noBody = !plain_ && !html_;
    const bool alternative = alternatives_ > 0;
    if ((noBody || (alternative && !plain_)) && IsReadableText(part, "plain")) {
      return TakePlain(part);
    }
    if ((noBody || (alternative && !html_)) && IsReadableText(part, "html")) return TakeHtml(part);
    if (MimeType(GMIME_OBJECT(part)) == "message/rfc822") return AttachEncodedMessage(part);
    AttachPart(part, false);
  }

  // Parts below kMaxMimeDepth, or inside messages nested too deep, kept as plain attachments.
  // Iterative, so no input can run the stack out. What this loses (the structure, the headers
  // of the messages inside) the outermost level makes up for with the whole message.
  void Flatten(GMimeObject* top) {
    level_.noteTooDeep();
    std::vector<GMimeObject*> pending{top};
    while (!pending.empty()) {
      GMimeObject* object = pending.back();
      pending.pop_back();
      if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        if (g_mime_multipart_get_count(multipart) == 0) VisitUnsplit(multipart, false);
        for (int i = g_mime_multipart_get_count(multipart) - 1; i >= 0; --i) {
          pending.push_back(g_mime_multipart_get_part(multipart, i));
        }
      } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (inner != nullptr && g_mime_message_get_mime_part(inner) != nullptr) {
          pending.push_back(g_mime_message_get_mime_part(inner));
        }
      } else if (GMIME_IS_PART(object)) {
        AttachPart(GMIME_PART(object), false);
      }
    }
  }

  void TakePlain(GMimePart* part) {
    plainCharset_ = CharsetOf(GMIME_OBJECT(part));
    NoteCharset(plainCharset_);
    if (EncodedSizeOf(part) > kLargeBody) {
      largePlain_ = StreamedText(PartData(part), plainCharset_, TextForm::Body, fallback());
      plain_ = std::string();  // there is a plain body: largePlain_ holds it
      return;
    }
    plain_ = ToUtf8(AsText(DecodedContent(part)), plainCharset_, fallback());
  }

  void TakeHtml(GMimePart* part) {
    htmlCharset_ = CharsetOf(GMIME_OBJECT(part));
    NoteCharset(htmlCharset_);
    if (EncodedSizeOf(part) > kLargeBody) {
      largeHtml_ = LargeHtmlOf(PartData(part), htmlCharset_, fallback());
      html_ = Bytes();  // there is an HTML body: largeHtml_ holds it
      return;
    }
    html_ = DecodedContent(part);
  }

  void AttachPart(GMimePart* part, bool related) {
    GMimeObject* object = GMIME_OBJECT(part);
    ByValueAttachment in;
    in.mimeType = MimeType(object);
    in.fileName = SafeFileName(PartFileName(part, level_.text));
    if (in.fileName.empty()) in.fileName = GeneratedName(ExtensionForType(in.mimeType));
    in.contentId = GMimeText(g_mime_object_get_content_id(object));
    in.contentLocation = GMimeText(g_mime_part_get_content_location(part));
    in.data = level_.notes != nullptr ? AttachmentData(part, level_.notes->heldAttachmentBytes)
                                      : PartData(part);
    out_.attachments.push_back(MakeByValueAttachment(std::move(in)));
    related_.push_back(related);
  }

  void AttachMessagePart(GMimeMessagePart* messagePart) {
    GMimeMessage* inner = g_mime_message_part_get_message(messagePart);
    if (inner == nullptr) return;
    if (level_.depth + 1 > kMaxEmbeddedDepth) {
      if (GMimeObject* body = g_mime_message_get_mime_part(inner)) Flatten(body);
      return;
    }
    GString headers(g_mime_object_get_headers(GMIME_OBJECT(inner), nullptr));
    AttachEmbedded(ConvertParsed(inner, headers ? headers.get() : "", level_.deeper()),
                   GMIME_OBJECT(messagePart));
  }

  // A message/rfc822 part GMime kept as a leaf, typically because it was base64 encoded.
  void AttachEncodedMessage(GMimePart* part) {
    if (level_.depth + 1 > kMaxEmbeddedDepth) return AttachPart(part, false);
    // Decoded into memory once: the inner message's parts are read at their own offsets, which a
    // decoding source reaches only by decoding again from the start.
    AttachEmbedded(
        ImportAtDepth(std::make_shared<MemorySource>(DecodedContent(part)), level_.deeper()),
        GMIME_OBJECT(part));
  }

  void AttachEmbedded(std::unique_ptr<Message> inner, GMimeObject* part) {
    using namespace tags;
    Attachment a;
    const std::string* subject = inner->props.get<std::string>(PR_SUBJECT_W);
    std::string name = subject && !subject->empty() ? *subject : "Untitled message";
    a.props.set(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG);
    a.props.set(PR_ATTACH_MIME_TAG_W, std::string("message/rfc822"));
    a.props.set(PR_DISPLAY_NAME_ATTACH_W, std::move(name));
    if (const char* cid = g_mime_object_get_content_id(part)) {
      a.props.set(PR_ATTACH_CONTENT_ID_W, GMimeText(cid));
    }
    a.props.set(PR_RENDERING_POSITION, std::int32_t{-1});
    a.props.set(PR_ATTACHMENT_HIDDEN, false);
    a.embedded = std::move(inner);
    out_.attachments.push_back(std::move(a));
    related_.push_back(false);
  }

  const std::string& fallback() const { return level_.options.fallbackCharset; }

  // A label of the message's that names no charset we know is noted, for a warning.
  void NoteCharset(const std::string& label) const {
    if (!label.empty() && level_.text != nullptr && !ReadCharsetLabel(label).known) {
      level_.text->noteUnknown(label);
    }
  }

  std::string GeneratedName(const std::string& extension) {
    char name[16];
    g_snprintf(name, sizeof name, "ATT%05d", ++unnamed_);
    return name + extension;
  }

  void Finish() {
    using namespace tags;
    PropertyBag& p = out_.props;
    std::optional<int> codePage;
    std::string htmlText;
    if (largeHtml_) {
      p.set(PR_HTML, largeHtml_->html);
      codePage = largeHtml_->codePage;
      MarkInlineImages(*largeHtml_->utf8);
    } else if (html_) {
      std::string charset = htmlCharset_;
      if (charset.empty()) {
        charset = MetaCharset(AsText(*html_));
        NoteCharset(charset);
      }
      if (charset.empty()) charset = IsValidUtf8(AsText(*html_)) ? "utf-8" : fallback();
      htmlText = ToUtf8(AsText(*html_), charset, fallback());
      codePage = CodePageOf(charset);
      if (!codePage) {
        // A charset we cannot name as a code page: store the HTML as UTF-8 so the bytes and
        // PR_INTERNET_CPID agree.
        html_ = Bytes(htmlText.begin(), htmlText.end());
        codePage = 65001;
      }
      p.set(PR_HTML, std::move(*html_));  // html_ stays set: there is an HTML body
      MarkInlineImages(htmlText);
    } else if (plain_) {
      codePage = CodePageOf(plainCharset_.empty() ? fallback() : plainCharset_);
    }
    p.set(PR_INTERNET_CPID, codePage.value_or(65001));
    if (largePlain_) {
      p.set(PR_BODY_W, std::move(largePlain_));
    } else if (!plain_ && largeHtml_) {
      p.set(PR_BODY_W, largeHtml_->text);
    } else {
      p.set(PR_BODY_W, ToCrlf(plain_ ? *plain_ : html_ ? HtmlToText(htmlText) : std::string()));
    }
    const std::string_view html(htmlText);
    if (level_.options.rtfBody) {
      if (largeHtml_) {
        SetBodyKind(p, true);
      } else {
        SetRtfBody(p, html_ ? &html : nullptr);
      }
    }

    const bool hasAttachments = !out_.attachments.empty();
    p.set(PR_HASATTACH, hasAttachments);
    p.set(PR_MESSAGE_FLAGS, hasAttachments ? MSGFLAG_HASATTACH : 0);
  }

  // Images the HTML shows in place (by cid: or, inside multipart/related, by location) are not
  // listed as attachments of their own.
  void MarkInlineImages(const std::string& html) {
    const std::set<std::string> cids = CidReferences(html);
    MarkInlineImages(cids, [&](std::size_t, const std::string& location) {
      return html.find(location) != std::string::npos;
    });
  }

  // The same for an HTML body too large to hold, read in pieces.
  void MarkInlineImages(const ByteSource& utf8Html) {
    std::vector<std::string> locations;
    std::vector<std::size_t> of;  // the attachment each location is of
    for (std::size_t i = 0; i < out_.attachments.size(); ++i) {
      const auto* location =
          out_.attachments[i].props.get<std::string>(tags::PR_ATTACH_CONTENT_LOCATION_W);
      if (related_[i] && location) {
        locations.push_back(*location);
        of.push_back(i);
      }
    }
    const HtmlReferences found = FindReferences(utf8Html, locations);
    std::vector<bool> shown(out_.attachments.size(), false);
    for (std::size_t k = 0; k < of.size(); ++k) shown[of[k]] = found.holds[k];
    MarkInlineImages(found.cids, [&](std::size_t i, const std::string&) { return shown[i]; });
  }

  template <class Shows>
  void MarkInlineImages(const std::set<std::string>& cids, const Shows& showsLocation) {
    using namespace tags;
    for (std::size_t i = 0; i < out_.attachments.size(); ++i) {
      PropertyBag& p = out_.attachments[i].props;
      const auto* cid = p.get<std::string>(PR_ATTACH_CONTENT_ID_W);
      const auto* location = p.get<std::string>(PR_ATTACH_CONTENT_LOCATION_W);
      const bool byCid = cid && cids.count(*cid) != 0;
      const bool byLocation = related_[i] && location && showsLocation(i, *location);
      if (out_.attachments[i].embedded == nullptr && (byCid || byLocation)) {
        p.set(PR_ATTACHMENT_HIDDEN, true);
        p.set(PR_ATTACH_FLAGS, ATT_MHTML_REF);
      }
    }
  }

  Message& out_;
  Level level_;
  std::optional<std::string> plain_;              // UTF-8
  std::shared_ptr<const ByteSource> largePlain_;  // a plain body too large for plain_
  std::string plainCharset_;
  std::optional<Bytes> html_;           // in its own charset
  std::optional<LargeHtml> largeHtml_;  // an HTML body too large for html_
  std::string htmlCharset_;
  std::vector<bool> related_;  // per attachment: a resource of a multipart/related
  int unnamed_ = 0;
  int alternatives_ = 0;  // multipart/alternative levels above the part being visited
};

}  // namespace

void MapContent(GMimeObject* root, Message& out, const Level& level) {
  ContentWalker(out, level).Walk(root);
}

void MapContentPartByPart(const PartFeed& parts, Message& out, const Level& level) {
  ContentWalker(out, level).WalkParts(parts);
}

}  // namespace qc::mapi::import
