#include "mapi/pst/messaging/encoded_message.h"

#include <algorithm>
#include <limits>

#include "util/error.h"

namespace qc::mapi::pst {

namespace {

std::uint64_t ValueSize(const PropValue& value) {
  if (const auto* s = std::get_if<std::shared_ptr<const ByteSource>>(&value)) {
    return *s ? (*s)->size() : 0;
  }
  if (const auto* b = std::get_if<Bytes>(&value)) return b->size();
  if (const auto* s = std::get_if<std::string>(&value)) return 2 * s->size();
  return 8;
}

// Appends the value under `tag` to the bag: its bytes, or the source it is read from.
void Add(EncodedBag& out, std::uint32_t tag, const PropValue& value) {
  if (const auto* s = std::get_if<std::shared_ptr<const ByteSource>>(&value)) {
    if (*s) out.streams.emplace_back(tag, *s);
    return;
  }
  const std::size_t offset = out.bytes.size();
  if (AppendEncoded(static_cast<std::uint16_t>(tag & 0xFFFF), value, out.bytes)) {
    out.values.push_back({tag, offset, out.bytes.size() - offset});
  }
}

std::uint32_t TagOf(std::uint16_t id, PropType type) {
  return (std::uint32_t{id} << 16) | static_cast<std::uint16_t>(type);
}

}  // namespace

EncodedBag EncodeBag(const PropertyBag& bag) {
  EncodedBag out;
  std::size_t bytes = 0;
  for (const auto& [id, p] : bag.tagged()) {
    const std::uint64_t size = ValueSize(p.value);
    if (size > std::numeric_limits<std::uint32_t>::max()) {
      throw Error("a value of more than 4 GiB does not fit in an Outlook data file");
    }
    if (!std::holds_alternative<std::shared_ptr<const ByteSource>>(p.value)) {
      bytes += static_cast<std::size_t>(size);  // sources are not copied in
    }
  }
  out.values.reserve(bag.tagged().size() + bag.named().size());
  out.bytes.reserve(bytes);
  for (const auto& [id, p] : bag.tagged()) Add(out, TagOf(id, p.type), p.value);
  out.named.assign(bag.named().begin(), bag.named().end());
  return out;
}

EncodedMessage EncodeMessage(const Message& message) {
  EncodedMessage out;
  out.props = EncodeBag(message.props);
  out.recipients.reserve(message.recipients.size());
  for (const Recipient& r : message.recipients) out.recipients.push_back(EncodeBag(r.props));
  out.attachments.reserve(message.attachments.size());
  for (const Attachment& a : message.attachments) {
    EncodedAttachment& encoded = out.attachments.emplace_back();
    encoded.props = EncodeBag(a.props);
    if (a.embedded) encoded.embedded = std::make_unique<EncodedMessage>(EncodeMessage(*a.embedded));
  }
  return out;
}

void ResolveNames(EncodedBag& bag, NamedIds& names) {
  if (bag.named.empty()) return;
  // Named identifiers lie above every tagged one: only the named values need sorting.
  const std::size_t first = bag.values.size();
  for (const auto& [name, p] : bag.named) Add(bag, TagOf(names.assign(name), p.type), p.value);
  bag.named.clear();
  std::sort(bag.values.begin() + static_cast<std::ptrdiff_t>(first), bag.values.end(),
            [](const EncodedBag::Value& a, const EncodedBag::Value& b) { return a.tag < b.tag; });
}

}  // namespace qc::mapi::pst
