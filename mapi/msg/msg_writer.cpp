#include "mapi/msg/msg_writer.h"

#include <cstdio>

#include "mapi/file_sink.h"
#include "mapi/msg/named_map.h"
#include "mapi/msg/property_stream.h"

namespace qc::mapi::msg {

namespace {

constexpr std::int32_t kStoreUnicodeOk = 0x00040000;
constexpr std::int32_t kAttachEmbeddedMsg = 5;
const Guid kMsgClsid = Guid::Parse("00020D0B-0000-0000-C000-000000000046");

std::string Numbered(const char* prefix, std::size_t n) {
  char name[40];
  std::snprintf(name, sizeof name, "%s%08X", prefix, static_cast<unsigned>(n));
  return name;
}

// What every .msg reader counts on beyond the message's own properties: a plain body beside
// any HTML, a message class, and Unicode strings declared in the store support mask of the
// top-level message.
Amendments MessageAmendments(const Message& message, bool topLevel) {
  Amendments extra;
  if (!message.props.findId(tags::PR_BODY_W.id)) extra.added.set(tags::PR_BODY_W, std::string());
  if (!message.props.findId(tags::PR_MESSAGE_CLASS_W.id)) {
    extra.added.set(tags::PR_MESSAGE_CLASS_W, std::string("IPM.Note"));
  }
  if (topLevel) extra.added.set(tags::PR_STORE_SUPPORT_MASK, kStoreUnicodeOk);
  return extra;
}

void WriteMessage(const Message& message, const NamedPropertyMap& names, cfb::Storage& storage,
                  bool topLevel);

void WriteAttachment(const Attachment& attachment, std::size_t n, const NamedPropertyMap& names,
                     cfb::Storage& storage) {
  Amendments extra;
  extra.added.set(tags::PR_ATTACH_NUM, static_cast<std::int32_t>(n));
  if (!attachment.props.findId(tags::PR_RENDERING_POSITION.id)) {
    extra.added.set(tags::PR_RENDERING_POSITION, std::int32_t{-1});
  }
  if (attachment.embedded) {
    extra.added.set(tags::PR_ATTACH_METHOD, kAttachEmbeddedMsg);
    // Stands for the message's storage, in place of any data the attachment had.
    extra.added.set(tags::PR_ATTACH_DATA_OBJ, ObjectValue{});
    cfb::Storage& inner = storage.addStorage("__substg1.0_3701000D");
    WriteMessage(*attachment.embedded, names, inner, false);
  } else if (!attachment.props.findId(tags::PR_ATTACH_METHOD.id)) {
    extra.added.set(tags::PR_ATTACH_METHOD, std::int32_t{1});
  }
  WriteProperties(attachment.props, extra, names, {StreamHeader::Kind::RecipientOrAttachment},
                  storage);
}

void WriteMessage(const Message& message, const NamedPropertyMap& names, cfb::Storage& storage,
                  bool topLevel) {
  // The values' streams, the nameid storage and the properties stream, and the recipients' and
  // attachments' storages, so that the storage's children are never moved as it fills.
  storage.reserve(message.props.tagged().size() + message.props.named().size() + 8 +
                  message.recipients.size() + message.attachments.size());
  if (topLevel) names.writeTo(storage);
  const StreamHeader header{
      topLevel ? StreamHeader::Kind::TopMessage : StreamHeader::Kind::EmbeddedMessage,
      static_cast<std::uint32_t>(message.recipients.size()),
      static_cast<std::uint32_t>(message.attachments.size())};
  WriteProperties(message.props, MessageAmendments(message, topLevel), names, header, storage);
  for (std::size_t i = 0; i < message.recipients.size(); ++i) {
    cfb::Storage& r = storage.addStorage(Numbered("__recip_version1.0_#", i));
    Amendments extra;
    extra.added.set(tags::PR_ROWID, static_cast<std::int32_t>(i));
    WriteProperties(message.recipients[i].props, extra, names,
                    {StreamHeader::Kind::RecipientOrAttachment}, r);
  }
  for (std::size_t i = 0; i < message.attachments.size(); ++i) {
    cfb::Storage& a = storage.addStorage(Numbered("__attach_version1.0_#", i));
    WriteAttachment(message.attachments[i], i, names, a);
  }
}

}  // namespace

void WriteMsg(const Message& message, Sink& sink) {
  cfb::CompoundFile file;
  file.root().setClsid(kMsgClsid);
  const NamedPropertyMap names(message);
  WriteMessage(message, names, file.root(), true);
  file.write(sink);
}

void WriteMsgFile(const Message& message, const std::string& path, bool replace) {
  FileSink sink(path);
  WriteMsg(message, sink);
  sink.commit(replace, Durability::Now);  // a file on its own: no folder flush comes after it
}

void WriteMsgFile(const Message& message, const OutputFolder& folder, std::string name) {
  FileSink sink(folder, std::move(name));
  WriteMsg(message, sink);
  sink.commit();
}

}  // namespace qc::mapi::msg
