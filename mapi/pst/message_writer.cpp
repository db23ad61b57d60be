#include "mapi/pst/message_writer.h"

#include <algorithm>
#include <limits>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/property_context.h"
#include "mapi/pst/property_value.h"
#include "mapi/pst/table_templates.h"
#include "mapi/text.h"
#include "util/error.h"

namespace qc::mapi::pst {

namespace {

constexpr std::uint16_t kAttachDataId = 0x3701;
constexpr std::int32_t kMailUser = 6;  // PR_OBJECT_TYPE of a recipient: MAPI_MAILUSER
constexpr std::size_t kMaxTableRows = 0x7FFFFFFF;

std::uint16_t TypeOf(std::uint32_t tag) {
  return static_cast<std::uint16_t>(tag & 0xFFFF);
}

Bytes Int32Bytes(std::int32_t v) {
  Bytes b;
  Append32(b, static_cast<std::uint32_t>(v));
  return b;
}

Bytes TimeBytes(FileTime t) {
  Bytes b;
  Append64(b, t.ticks);
  return b;
}

// The properties of a bag: encoded, by tag (named properties under their store-wide
// identifiers), and the values given as sources, to be copied in pieces.
struct EncodedBag {
  RowValues values;
  std::vector<std::pair<std::uint32_t, const ByteSource*>> streams;
};

EncodedBag EncodeBag(const PropertyBag& bag, NamedIds& names) {
  EncodedBag out;
  const auto add = [&out](std::uint32_t tag, const PropValue& value) {
    if (const auto* s = std::get_if<std::shared_ptr<const ByteSource>>(&value)) {
      if (*s) out.streams.emplace_back(tag, s->get());
    } else if (auto bytes = EncodeValue(TypeOf(tag), value)) {
      out.values[tag] = std::move(*bytes);
    }
  };
  for (const auto& [id, p] : bag.tagged()) {
    add((std::uint32_t{id} << 16) | static_cast<std::uint16_t>(p.type), p.value);
  }
  for (const auto& [name, p] : bag.named()) {
    add((std::uint32_t{names.assign(name)} << 16) | static_cast<std::uint16_t>(p.type), p.value);
  }
  return out;
}

void SetStreams(PropertyContextWriter& pc, const EncodedBag& bag) {
  for (const auto& [tag, source] : bag.streams) {
    pc.setStream(static_cast<std::uint16_t>(tag >> 16), TypeOf(tag), *source);
  }
}

// The values must outlive the context's write().
void SetAll(PropertyContextWriter& pc, const RowValues& values) {
  for (const auto& [tag, bytes] : values) {
    pc.setView(static_cast<std::uint16_t>(tag >> 16), TypeOf(tag), bytes);
  }
}

std::uint64_t ValueSize(const PropValue& value) {
  if (const auto* s = std::get_if<std::shared_ptr<const ByteSource>>(&value)) {
    return *s ? (*s)->size() : 0;
  }
  if (const auto* b = std::get_if<Bytes>(&value)) return b->size();
  if (const auto* s = std::get_if<std::string>(&value)) return 2 * s->size();
  return 8;
}

void CheckBag(const PropertyBag& bag) {
  for (const auto& [id, p] : bag.tagged()) {
    if (ValueSize(p.value) > std::numeric_limits<std::uint32_t>::max()) {
      throw Error("a value of more than 4 GiB does not fit in an Outlook data file");
    }
  }
}

}  // namespace

void CheckMessageFits(const Message& message) {
  CheckBag(message.props);
  if (message.recipients.size() > kMaxTableRows || message.attachments.size() > kMaxTableRows) {
    throw Error("too many recipients or attachments for an Outlook data file");
  }
  for (const Recipient& r : message.recipients) CheckBag(r.props);
  for (const Attachment& a : message.attachments) {
    CheckBag(a.props);
    if (a.embedded) CheckMessageFits(*a.embedded);
  }
}

// Outlook keeps a stored subject behind a two-character mark: U+0001, then one more than the
// length of its prefix ("Re: " gives U+0005; no prefix, U+0001). Readers of data files expect
// it and drop it; one that finds no mark takes a first character below U+0005 for one.
void MarkSubject(RowValues& props) {
  const auto subject = props.find(tags::PR_SUBJECT_W.value());
  if (subject == props.end()) return;
  std::size_t prefixUnits = 0;
  const auto prefix = props.find(tags::PR_SUBJECT_PREFIX_W.value());
  if (prefix != props.end() && prefix->second.size() <= subject->second.size() &&
      std::equal(prefix->second.begin(), prefix->second.end(), subject->second.begin())) {
    prefixUnits = prefix->second.size() / 2;
  }
  if (prefixUnits + 1 > 0xFFFF) prefixUnits = 0;
  Bytes marked{0x01, 0x00, static_cast<std::uint8_t>((prefixUnits + 1) & 0xFF),
               static_cast<std::uint8_t>((prefixUnits + 1) >> 8)};
  marked.insert(marked.end(), subject->second.begin(), subject->second.end());
  subject->second = std::move(marked);
}

WrittenMessage MessageWriter::write(const Message& message, std::uint32_t nid,
                                    const MessageStamp& stamp) {
  SubnodeTree subnodes;
  const auto recipients = writeRecipients(message);
  subnodes.add(nid::kRecipientTable, recipients.first, recipients.second);
  std::uint64_t attachmentBytes = 0;
  if (!message.attachments.empty()) {
    const auto attachments = writeAttachments(message, stamp, subnodes, attachmentBytes);
    subnodes.add(nid::kAttachmentTable, attachments.first, attachments.second);
  }

  EncodedBag bag = EncodeBag(message.props, names_);
  RowValues& props = bag.values;
  const auto setIfMissing = [&props](PropTag tag, Bytes value) {
    props.try_emplace(tag.value(), std::move(value));
  };
  setIfMissing(tags::PR_MESSAGE_CLASS_W, Utf16LeBytes("IPM.Note"));
  setIfMissing(tags::PR_MESSAGE_FLAGS, Int32Bytes(MSGFLAG_READ));
  // The store computes has-attachments, as a MAPI store does: the flag follows the table.
  Bytes& flagBytes = props[tags::PR_MESSAGE_FLAGS.value()];
  std::uint32_t flags = flagBytes.size() == 4 ? Get32(flagBytes.data()) : MSGFLAG_READ;
  flags = message.attachments.empty() ? flags & ~std::uint32_t{MSGFLAG_HASATTACH}
                                      : flags | MSGFLAG_HASATTACH;
  flagBytes = Int32Bytes(static_cast<std::int32_t>(flags));
  props[tags::PR_HASATTACH.value()] =
      Bytes{static_cast<std::uint8_t>(!message.attachments.empty())};
  // Creation and modification times the import set (the message's arrival) stand.
  setIfMissing(PropTag{0x3007, PropType::Time}, TimeBytes(stamp.now));  // PR_CREATION_TIME
  setIfMissing(PropTag{0x3008, PropType::Time}, TimeBytes(stamp.now));  // last modification
  MarkSubject(props);
  if (!stamp.searchKey.empty()) setIfMissing(tags::PR_SEARCH_KEY, stamp.searchKey);
  std::uint64_t size = attachmentBytes;
  for (const auto& [tag, bytes] : props) size += bytes.size() + 8;
  for (const auto& [tag, source] : bag.streams) size += source->size() + 8;
  props[tags::PR_MESSAGE_SIZE.value()] = Int32Bytes(static_cast<std::int32_t>(
      std::min<std::uint64_t>(size, std::numeric_limits<std::int32_t>::max())));

  PropertyContextWriter pc(db_, subnodes);
  SetAll(pc, props);
  SetStreams(pc, bag);
  WrittenMessage out;
  out.nid = nid;
  out.bidData = pc.write();
  out.bidSub = subnodes.write(db_);
  out.read = (flags & MSGFLAG_READ) != 0;
  out.row = std::move(props);
  return out;
}

std::pair<std::uint64_t, std::uint64_t> MessageWriter::writeRecipients(const Message& message) {
  std::vector<RowValues> rows;
  std::vector<std::uint32_t> tags = columns::Recipients();
  for (const Recipient& r : message.recipients) {
    EncodedBag encoded = EncodeBag(r.props, names_);
    RowValues& row = encoded.values;  // a recipient lives in its row: no room for streams
    row.try_emplace(0x0FFE0003, Int32Bytes(kMailUser));  // PR_OBJECT_TYPE
    row.try_emplace(0x39000003, Int32Bytes(0));          // PR_DISPLAY_TYPE: DT_MAILUSER
    row.try_emplace(0x0E0F000B, Bytes{1});               // PR_RESPONSIBILITY
    for (const auto& [tag, bytes] : row) tags.push_back(tag);
    rows.push_back(std::move(row));
  }
  TableWriter table(db_, MakeTableLayout(tags));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    table.addRow(static_cast<std::uint32_t>(i), rows[i]);
  }
  // A table's own subnodes (large cells, a long row matrix) form the table's subnode tree.
  return table.finish();
}

std::pair<std::uint64_t, std::uint64_t> MessageWriter::writeAttachments(
    const Message& message, const MessageStamp& stamp, SubnodeTree& subnodes,
    std::uint64_t& attachmentBytes) {
  TableWriter table(db_, MakeTableLayout(columns::MessageAttachments()));
  for (const Attachment& a : message.attachments) {
    const std::uint32_t nid = db_.newNid(nid_type::kAttachment);
    SubnodeTree own;
    PropertyContextWriter pc(db_, own);
    EncodedBag bag = EncodeBag(a.props, names_);
    RowValues& values = bag.values;
    values.erase(tags::PR_ATTACH_DATA_OBJ.value());
    std::uint64_t dataSize = 0;
    if (a.embedded) {
      const std::uint32_t inner = db_.newNid(nid_type::kNormalMessage);
      MessageWriter writer(db_, names_);
      MessageStamp innerStamp{stamp.now, {}};
      const WrittenMessage m = writer.write(*a.embedded, inner, innerStamp);
      own.add(inner, m.bidData, m.bidSub);
      const auto sizeIt = m.row.find(tags::PR_MESSAGE_SIZE.value());
      dataSize = sizeIt != m.row.end() ? Get32(sizeIt->second.data()) : 0;
      pc.setObject(kAttachDataId, inner, static_cast<std::uint32_t>(dataSize));
      values[tags::PR_ATTACH_METHOD.value()] = Int32Bytes(ATTACH_EMBEDDED_MSG);
      values.erase(tags::PR_ATTACH_DATA_BIN.value());
      bag.streams.clear();
    } else {
      const auto data = values.find(tags::PR_ATTACH_DATA_BIN.value());
      if (data != values.end()) dataSize = data->second.size();
      for (const auto& [tag, source] : bag.streams) {
        if (tag == tags::PR_ATTACH_DATA_BIN.value()) dataSize = source->size();
      }
    }
    SetStreams(pc, bag);
    values.try_emplace(tags::PR_ATTACH_METHOD.value(), Int32Bytes(ATTACH_BY_VALUE));
    values.try_emplace(tags::PR_RENDERING_POSITION.value(), Int32Bytes(-1));
    values[tags::PR_ATTACH_SIZE.value()] = Int32Bytes(static_cast<std::int32_t>(
        std::min<std::uint64_t>(dataSize, std::numeric_limits<std::int32_t>::max())));
    attachmentBytes += dataSize;
    SetAll(pc, values);
    subnodes.add(nid, pc.write(), own.write(db_));
    table.addRow(nid, values);
  }
  return table.finish();
}

}  // namespace qc::mapi::pst
