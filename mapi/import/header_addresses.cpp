#include "mapi/import/header_addresses.h"

#include <string>

#include "mapi/import/gmime_support.h"
#include "mapi/text.h"

namespace qc::mapi::import {

namespace {

// Groups nested deeper than this are not followed.
constexpr int kMostGroupDepth = 4;

const char* HeaderName(GMimeAddressType type) {
  switch (type) {
    case GMIME_ADDRESS_TYPE_SENDER:
      return "Sender";
    case GMIME_ADDRESS_TYPE_FROM:
      return "From";
    case GMIME_ADDRESS_TYPE_REPLY_TO:
      return "Reply-To";
    case GMIME_ADDRESS_TYPE_TO:
      return "To";
    case GMIME_ADDRESS_TYPE_CC:
      return "Cc";
    case GMIME_ADDRESS_TYPE_BCC:
      return "Bcc";
  }
  return "";
}

std::string Utf8(const char* text) {
  if (text == nullptr) return {};
  // GMime hands out UTF-8, but a header with raw bytes GMime could not place may slip through.
  return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

void Collect(InternetAddressList* list, std::vector<MailAddress>& out, int depth) {
  if (list == nullptr || depth > kMostGroupDepth) return;
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      Collect(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out, depth + 1);
    } else if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      MailAddress a{Utf8(internet_address_get_name(address)),
                    Utf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)))};
      if (!a.name.empty() || !a.address.empty()) out.push_back(std::move(a));
    }
  }
}

}  // namespace

std::vector<MailAddress> HeaderAddresses(GMimeMessage* message, GMimeAddressType type,
                                         const RawTextReader& reader) {
  const char* name = HeaderName(type);
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  const int count = headers ? g_mime_header_list_get_count(headers) : 0;
  bool plain = true;
  for (int i = 0; i < count && plain; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
    const char* raw = g_mime_header_get_raw_value(header);
    if (g_ascii_strcasecmp(g_mime_header_get_name(header), name) == 0 && raw != nullptr) {
      plain = !NeedsDecoding(raw);
    }
  }
  std::vector<MailAddress> out;
  if (plain) {
    Collect(g_mime_message_get_addresses(message, type), out, 0);
    return out;
  }
  for (int i = 0; i < count; ++i) {
    GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
    const char* raw = g_mime_header_get_raw_value(header);
    if (g_ascii_strcasecmp(g_mime_header_get_name(header), name) != 0 || raw == nullptr) continue;
    const std::string text = Utf8HeaderValue(raw, reader);
    InternetAddressList* list = internet_address_list_parse(LenientParserOptions(), text.c_str());
    Collect(list, out, 0);
    if (list != nullptr) g_object_unref(list);
  }
  return out;
}

}  // namespace qc::mapi::import
