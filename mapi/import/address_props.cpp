#include "mapi/import/address_props.h"

#include <array>

#include "mapi/text.h"

namespace qc::mapi::import {

namespace {

// MAPI_ONE_OFF_UID, {A41F2B81-A3BE-1910-9D6E-00DD010F5402} in its stored byte order.
constexpr std::array<std::uint8_t, 16> kOneOffProvider = {
    0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
// MAPI_ONE_OFF_UNICODE (0x8000) | MAPI_ONE_OFF_NO_RICH_INFO (0x0001), an Intel-order word: the
// strings are UTF-16 and the recipient gets MIME, not TNEF (MS-OXCDATA 2.2.5.1, "M" and "U").
constexpr std::uint16_t kOneOffFlags = 0x8001;

constexpr const char* kSmtp = "SMTP";

void AppendLe(Bytes& out, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void AppendUtf16(Bytes& out, std::string_view utf8) {
  AppendUtf16Le(out, utf8);
  AppendLe(out, 0, 2);
}

std::string Join(const std::vector<MailAddress>& addresses) {
  std::string joined;
  for (const auto& a : addresses) {
    if (!joined.empty()) joined += "; ";
    joined += a.displayName();
  }
  return joined;
}

}  // namespace

Bytes OneOffEntryId(std::string_view displayName, std::string_view addressType,
                    std::string_view address) {
  Bytes id;
  // Room for the UTF-16 of all three strings, so the identifier is made in one allocation.
  id.reserve(24 + 2 * (displayName.size() + addressType.size() + address.size() + 3));
  AppendLe(id, 0, 4);  // flags: a long-term identifier
  id.insert(id.end(), kOneOffProvider.begin(), kOneOffProvider.end());
  AppendLe(id, 0, 2);  // version
  AppendLe(id, kOneOffFlags, 2);
  AppendUtf16(id, displayName);
  AppendUtf16(id, addressType);
  AppendUtf16(id, address);
  return id;
}

Bytes SearchKey(std::string_view addressType, std::string_view address) {
  Bytes key;
  key.reserve(addressType.size() + address.size() + 2);
  auto append = [&key](std::string_view text) {
    for (char c : text) {
      key.push_back(static_cast<std::uint8_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }
  };
  append(addressType);
  append(":");
  append(address);
  key.push_back(0);
  return key;
}

Bytes FlatEntryList(const std::vector<Bytes>& entryIds) {
  Bytes entries;
  std::size_t size = 0;
  for (const auto& id : entryIds) size += 4 + id.size() + 3;
  entries.reserve(size);
  for (const auto& id : entryIds) {
    AppendLe(entries, static_cast<std::uint32_t>(id.size()), 4);
    entries.insert(entries.end(), id.begin(), id.end());
    while (entries.size() % 4 != 0) entries.push_back(0);
  }
  Bytes list;
  AppendLe(list, static_cast<std::uint32_t>(entryIds.size()), 4);
  AppendLe(list, static_cast<std::uint32_t>(entries.size()), 4);
  list.insert(list.end(), entries.begin(), entries.end());
  return list;
}

void SetSentRepresenting(PropertyBag& props, const MailAddress& from) {
  using namespace tags;
  props.set(PR_SENT_REPRESENTING_NAME_W, from.displayName());
  props.set(PR_SENT_REPRESENTING_EMAIL_ADDRESS_W, from.address);
  props.set(PR_SENT_REPRESENTING_SMTP_ADDRESS_W, from.address);
  props.set(PR_SENT_REPRESENTING_ADDRTYPE_W, std::string(kSmtp));
  props.set(PR_SENT_REPRESENTING_ENTRYID, OneOffEntryId(from.displayName(), kSmtp, from.address));
  props.set(PR_SENT_REPRESENTING_SEARCH_KEY, SearchKey(kSmtp, from.address));
}

void SetSender(PropertyBag& props, const MailAddress& sender) {
  using namespace tags;
  props.set(PR_SENDER_NAME_W, sender.displayName());
  props.set(PR_SENDER_EMAIL_ADDRESS_W, sender.address);
  props.set(PR_SENDER_SMTP_ADDRESS_W, sender.address);
  props.set(PR_SENDER_ADDRTYPE_W, std::string(kSmtp));
  props.set(PR_SENDER_ENTRYID, OneOffEntryId(sender.displayName(), kSmtp, sender.address));
  props.set(PR_SENDER_SEARCH_KEY, SearchKey(kSmtp, sender.address));
}

void SetReplyRecipients(PropertyBag& props, const std::vector<MailAddress>& replyTo) {
  if (replyTo.empty()) return;
  std::vector<Bytes> ids;
  for (const auto& a : replyTo) ids.push_back(OneOffEntryId(a.displayName(), kSmtp, a.address));
  props.set(tags::PR_REPLY_RECIPIENT_NAMES_W, Join(replyTo));
  props.set(tags::PR_REPLY_RECIPIENT_ENTRIES, FlatEntryList(ids));
}

void AddRecipients(Message& message, const std::vector<MailAddress>& addresses,
                   std::int32_t recipientType) {
  using namespace tags;
  for (const auto& a : addresses) {
    Recipient r;
    r.props.set(PR_RECIPIENT_TYPE, recipientType);
    r.props.set(PR_DISPLAY_NAME_W, a.displayName());
    r.props.set(PR_ADDRTYPE_W, std::string(kSmtp));
    r.props.set(PR_EMAIL_ADDRESS_W, a.address);
    r.props.set(PR_SMTP_ADDRESS_W, a.address);
    r.props.set(PR_ENTRYID, OneOffEntryId(a.displayName(), kSmtp, a.address));
    r.props.set(PR_SEARCH_KEY, SearchKey(kSmtp, a.address));
    // What Outlook keeps beside the address of an Internet recipient: the names its recipient
    // wells show, and that the recipient gets MIME rather than TNEF.
    r.props.set(PR_DISPLAY_TYPE, std::int32_t{0});
    r.props.set(PR_SEND_RICH_INFO, false);
    r.props.set(PR_TRANSMITTABLE_DISPLAY_NAME_W, a.displayName());
    r.props.set(PR_RECIPIENT_DISPLAY_NAME_W, a.displayName());
    r.props.set(PR_ROWID, static_cast<std::int32_t>(message.recipients.size()));
    message.recipients.push_back(std::move(r));
  }
  const PropTag display = recipientType == 1   ? PR_DISPLAY_TO_W
                          : recipientType == 2 ? PR_DISPLAY_CC_W
                                               : PR_DISPLAY_BCC_W;
  message.props.set(display, Join(addresses));
}

}  // namespace qc::mapi::import
