#include "mapi/import/signed_and_reports.h"

#include <algorithm>
#include <limits>

#include "mapi/import/gmime_support.h"
#include "mapi/import/prefixed_range.h"

namespace qc::mapi::import {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The MIME-Version and Content-* fields of a header block (CR LF lines), folded lines whole.
std::string MimeFields(std::string_view headers) {
  std::string out;
  bool keep = false;
  while (!headers.empty()) {
    const auto end = headers.find('\n');
    const auto line = headers.substr(0, end == std::string_view::npos ? headers.size() : end + 1);
    headers.remove_prefix(line.size());
    if (line.empty()) break;
    if (line[0] != ' ' && line[0] != '\t') {
      const std::string name = Lower(std::string(line.substr(0, line.find(':'))));
      keep = name == "mime-version" || name.rfind("content-", 0) == 0;
    }
    if (keep) out += line;
  }
  return out;
}

// The values of the "Name:" fields of a report's machine-readable part, lower case.
std::vector<std::string> FieldValues(const std::string& text, std::string_view name) {
  std::vector<std::string> values;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto end = std::min(text.find('\n', at), text.size());
    const std::string line = Lower(text.substr(at, end - at));
    if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 &&
        line[name.size()] == ':') {
      values.push_back(line.substr(name.size() + 1));
    }
    at = end + 1;
  }
  return values;
}

bool Contains(const std::vector<std::string>& values, std::string_view word) {
  return std::any_of(values.begin(), values.end(),
                     [word](const std::string& v) { return v.find(word) != std::string::npos; });
}

}  // namespace

bool IsSmimeSigned(GMimeObject* root) {
  if (root == nullptr || !GMIME_IS_MULTIPART(root) || MimeType(root) != "multipart/signed") {
    return false;
  }
  const char* protocol = g_mime_object_get_content_type_parameter(root, "protocol");
  const std::string p = Lower(protocol ? protocol : "");
  return p == "application/pkcs7-signature" || p == "application/x-pkcs7-signature";
}

void KeepSignedEntity(Message& out, std::shared_ptr<const ByteSource> bytes,
                      std::uint64_t contentOffset) {
  using namespace tags;
  const auto* headers = out.props.get<std::string>(PR_TRANSPORT_MESSAGE_HEADERS_W);
  auto entity = std::make_shared<PrefixedRange>(
      MimeFields(headers ? *headers : std::string()) + "\r\n", std::move(bytes), contentOffset);
  Attachment a;
  a.props.set(PR_ATTACH_METHOD, ATTACH_BY_VALUE);
  a.props.set(PR_ATTACH_MIME_TAG_W, std::string("multipart/signed"));
  a.props.set(PR_ATTACH_SIZE, static_cast<std::int32_t>(std::min<std::uint64_t>(
                                  entity->size(), std::numeric_limits<std::int32_t>::max())));
  a.props.set(PR_RENDERING_POSITION, std::int32_t{-1});
  a.props.set(PR_ATTACHMENT_HIDDEN, false);
  a.props.set(PR_ATTACH_DATA_BIN, std::shared_ptr<const ByteSource>(std::move(entity)));
  // The parts inside the signed entity are Outlook's to show from it, as it does for its own.
  out.attachments.clear();
  out.attachments.push_back(std::move(a));
  out.props.set(PR_MESSAGE_CLASS_W, std::string("IPM.Note.SMIME.MultipartSigned"));
  out.props.set(PR_HASATTACH, true);
  const auto* flags = out.props.get<std::int32_t>(PR_MESSAGE_FLAGS);
  out.props.set(PR_MESSAGE_FLAGS, (flags ? *flags : 0) | MSGFLAG_HASATTACH);
}

std::optional<std::string> ReportMessageClass(GMimeObject* root) {
  if (root == nullptr || !GMIME_IS_MULTIPART(root) || MimeType(root) != "multipart/report") {
    return std::nullopt;
  }
  GMimeMultipart* report = GMIME_MULTIPART(root);
  for (int i = 0; i < g_mime_multipart_get_count(report); ++i) {
    GMimeObject* part = g_mime_multipart_get_part(report, i);
    if (!GMIME_IS_PART(part)) continue;
    const std::string type = MimeType(part);
    if (type != "message/delivery-status" && type != "message/disposition-notification") continue;
    const Bytes content = DecodedContent(GMIME_PART(part));
    const std::string text(content.begin(), content.end());
    if (type == "message/delivery-status") {
      const auto actions = FieldValues(text, "action");
      if (Contains(actions, "failed")) return "REPORT.IPM.Note.NDR";
      if (Contains(actions, "delayed")) return "REPORT.IPM.Note.Delayed";
      if (!actions.empty()) return "REPORT.IPM.Note.DR";
    } else {
      const auto dispositions = FieldValues(text, "disposition");
      if (Contains(dispositions, "deleted") || Contains(dispositions, "denied") ||
          Contains(dispositions, "failed")) {
        return "REPORT.IPM.Note.IPNNRN";
      }
      if (!dispositions.empty()) return "REPORT.IPM.Note.IPNRN";
    }
  }
  return std::nullopt;
}

}  // namespace qc::mapi::import
