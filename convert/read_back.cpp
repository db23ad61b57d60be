#include "convert/read_back.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <tuple>
#include <vector>

#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/check/pst/ltp_reader.h"
#include "mapi/check/pst/ndb_reader.h"
#include "mapi/crc32.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/text.h"
#include "util/error.h"
#include "util/system.h"

namespace qc {

namespace {

// What is compared, by the tags the writers store it under.
namespace tag {
constexpr std::uint32_t kSubject = mapi::tags::PR_SUBJECT_W.value();
constexpr std::uint32_t kSenderName = mapi::tags::PR_SENDER_NAME_W.value();
constexpr std::uint32_t kSenderAddress = mapi::tags::PR_SENDER_EMAIL_ADDRESS_W.value();
constexpr std::uint32_t kSubmitTime = mapi::tags::PR_CLIENT_SUBMIT_TIME.value();
constexpr std::uint32_t kBody = mapi::tags::PR_BODY_W.value();
constexpr std::uint32_t kHtml = mapi::tags::PR_HTML.value();
constexpr std::uint32_t kLongFileName = mapi::tags::PR_ATTACH_LONG_FILENAME_W.value();
constexpr std::uint32_t kDisplayName = mapi::tags::PR_DISPLAY_NAME_W.value();
constexpr std::uint32_t kAttachData = mapi::tags::PR_ATTACH_DATA_BIN.value();
}  // namespace tag

// Deeper than any import nests messages; a file claiming more is not followed.
constexpr int kMaxEmbedding = 64;

class FieldHash {
 public:
  void add(const std::uint8_t* data, std::size_t size) {
    crc_ = mapi::Crc32(data, size, crc_);
    size_ += size;
  }
  void add(const mapi::Bytes& bytes) { add(bytes.data(), bytes.size()); }
  void addNumber(std::uint32_t n) {
    std::uint8_t b[4];
    mapi::Put32(b, n);
    add(b, 4);
  }
  ItemDigest::Field field() const { return {static_cast<std::uint32_t>(size_), crc_}; }

 private:
  std::uint32_t crc_ = 0;
  std::uint64_t size_ = 0;
};

// A message or an attachment as some reader sees it: the stored bytes of its properties, its
// attachments and its embedded message.
class ItemView {
 public:
  virtual ~ItemView() = default;
  // Adds the stored bytes of property `tag` to `hash`; false when the item does not have it.
  virtual bool field(std::uint32_t tag, FieldHash& hash) const = 0;
  virtual std::size_t attachmentCount() const = 0;
  virtual std::unique_ptr<ItemView> attachment(std::size_t i) const = 0;
  // An attachment's embedded message; null for attachments of data.
  virtual std::unique_ptr<ItemView> embedded() const = 0;
};

ItemDigest::Field FieldOf(const ItemView& item, std::uint32_t tag) {
  FieldHash hash;
  return item.field(tag, hash) ? hash.field() : ItemDigest::Field{};
}

void AddField(FieldHash& hash, const ItemDigest::Field& field) {
  hash.addNumber(field.size);
  hash.addNumber(field.crc);
}

ItemDigest Digest(const ItemView& item, int depth) {
  if (depth > kMaxEmbedding) throw Error("messages are embedded too deep to read");
  ItemDigest d;
  d.subject = FieldOf(item, tag::kSubject);
  d.senderName = FieldOf(item, tag::kSenderName);
  d.senderAddress = FieldOf(item, tag::kSenderAddress);
  d.date = FieldOf(item, tag::kSubmitTime);
  d.body = FieldOf(item, tag::kBody);
  d.html = FieldOf(item, tag::kHtml);
  const std::size_t n = item.attachmentCount();
  d.attachments = static_cast<std::uint32_t>(n);
  FieldHash names, contents;
  for (std::size_t i = 0; i < n; ++i) {
    const std::unique_ptr<ItemView> a = item.attachment(i);
    AddField(names, FieldOf(*a, tag::kLongFileName));
    AddField(names, FieldOf(*a, tag::kDisplayName));
    if (const std::unique_ptr<ItemView> inner = a->embedded()) {
      const ItemDigest e = Digest(*inner, depth + 1);
      for (const auto* f : {&e.subject, &e.senderName, &e.senderAddress, &e.date, &e.body, &e.html,
                            &e.attachmentNames, &e.attachmentContents}) {
        AddField(contents, *f);
      }
      contents.addNumber(e.attachments);
    } else {
      AddField(contents, FieldOf(*a, tag::kAttachData));
    }
  }
  if (n > 0) {
    d.attachmentNames = names.field();
    d.attachmentContents = contents.field();
  }
  return d;
}

// THE MODEL

class ModelView final : public ItemView {
 public:
  ModelView(const mapi::PropertyBag& props, const mapi::Message* message,
            const mapi::Attachment* attachment)
      : props_(props), message_(message), attachment_(attachment) {}

  bool field(std::uint32_t tag, FieldHash& hash) const override {
    const mapi::PropValue* value = props_.find(mapi::PropTag::From(tag));
    if (!value) return false;
    if (const auto* text = std::get_if<std::string>(value)) {
      hash.add(mapi::Utf16LeBytes(*text));
    } else if (const auto* bytes = std::get_if<mapi::Bytes>(value)) {
      hash.add(*bytes);
    } else if (const auto* time = std::get_if<mapi::FileTime>(value)) {
      std::uint8_t b[8];
      mapi::Put64(b, time->ticks);
      hash.add(b, 8);
    } else if (const auto* source = std::get_if<std::shared_ptr<const mapi::ByteSource>>(value)) {
      std::vector<std::uint8_t> buffer(1 << 16);
      for (std::uint64_t at = 0, size = (*source)->size(); at < size;) {
        const std::size_t got = (*source)->read(at, buffer.data(), buffer.size());
        if (got == 0) throw Error("an attachment's bytes ended early");
        hash.add(buffer.data(), got);
        at += got;
      }
    } else {
      return false;
    }
    return true;
  }
  std::size_t attachmentCount() const override {
    return message_ ? message_->attachments.size() : 0;
  }
  std::unique_ptr<ItemView> attachment(std::size_t i) const override {
    const mapi::Attachment& a = message_->attachments.at(i);
    return std::make_unique<ModelView>(a.props, nullptr, &a);
  }
  std::unique_ptr<ItemView> embedded() const override {
    if (!attachment_ || !attachment_->embedded) return nullptr;
    return std::make_unique<ModelView>(attachment_->embedded->props, attachment_->embedded.get(),
                                       nullptr);
  }

 private:
  const mapi::PropertyBag& props_;
  const mapi::Message* message_;
  const mapi::Attachment* attachment_;
};

// A .MSG FILE: streams named after their tags, fixed-size values in the property stream.

class MsgView final : public ItemView {
 public:
  // `headerSize`: of the storage's property stream (32 a message, 24 an embedded one, 8 others).
  MsgView(const mapi::cfb::ReadResult& file, std::string storage, std::size_t headerSize)
      : file_(file), storage_(std::move(storage)), headerSize_(headerSize) {}

  bool field(std::uint32_t tag, FieldHash& hash) const override {
    if (mapi::ValueSize(mapi::PropTag::From(tag).type).value_or(0) > 0) {
      const mapi::Bytes* stream = find("__properties_version1.0");
      if (!stream) return false;
      for (std::size_t at = headerSize_; at + 16 <= stream->size(); at += 16) {
        if (mapi::Get32(stream->data() + at) == tag) {
          hash.add(stream->data() + at + 8, 8);
          return true;
        }
      }
      return false;
    }
    char name[32];
    std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
    if (const mapi::Bytes* stream = find(name)) {
      hash.add(*stream);
      return true;
    }
    const auto large = file_.largeStreams.find(storage_ + "/" + name);
    if (large == file_.largeStreams.end()) return false;
    for (const auto piece : large->second) hash.add(piece.data(), piece.size());
    return true;
  }
  std::size_t attachmentCount() const override {
    std::size_t n = 0;
    while (isStorage(attachmentName(n))) ++n;
    return n;
  }
  std::unique_ptr<ItemView> attachment(std::size_t i) const override {
    return std::make_unique<MsgView>(file_, attachmentName(i), 8);
  }
  std::unique_ptr<ItemView> embedded() const override {
    const std::string inner = storage_ + "/__substg1.0_3701000D";
    if (!isStorage(inner)) return nullptr;
    return std::make_unique<MsgView>(file_, inner, 24);
  }

 private:
  std::string attachmentName(std::size_t i) const {
    char name[48];
    std::snprintf(name, sizeof name, "/__attach_version1.0_#%08X", static_cast<unsigned>(i));
    return storage_ + name;
  }
  const mapi::Bytes* find(const std::string& name) const {
    const auto it = file_.streams.find(storage_ + "/" + name);
    return it == file_.streams.end() ? nullptr : &it->second;
  }
  bool isStorage(const std::string& path) const {
    return std::any_of(file_.entries.begin(), file_.entries.end(),
                       [&](const mapi::cfb::Entry& e) { return e.isStorage && e.path == path; });
  }

  const mapi::cfb::ReadResult& file_;
  std::string storage_;  // "" for the root
  std::size_t headerSize_;
};

// A DATA FILE: property contexts of nodes and subnodes.

namespace pst = mapi::pst;

struct PstReading {
  const pst::check::NodeDatabaseReader& ndb;
  pst::check::Findings& findings;
  pst::check::LtpReader& ltp;
  std::string where;  // names the message in errors
};

class PstView final : public ItemView {
 public:
  PstView(const PstReading& reading, std::uint64_t bidData, std::uint64_t bidSub,
          const std::string& what)
      : reading_(reading) {
    const auto subs = reading.ndb.subnodes(bidSub);
    if (!subs) throw fault(what + ": its subnodes cannot be read");
    subnodes_ = *subs;
    auto props = reading.ltp.propertyContext(bidData, subnodes_, what);
    if (!props) throw fault(what + ": its properties cannot be read");
    props_ = std::move(*props);
    for (const auto& [nid, info] : subnodes_) {
      if (pst::NidType(nid) == pst::nid_type::kAttachment) attachments_.push_back(nid);
    }
  }

  bool field(std::uint32_t tag, FieldHash& hash) const override {
    const auto it = props_.find(static_cast<std::uint16_t>(tag >> 16));
    if (it == props_.end() || it->second.type != (tag & 0xFFFF)) return false;
    const mapi::Bytes& bytes = it->second.bytes;
    // A stored subject starts with a mark (U+0001 and the length of its prefix) that every
    // reader drops.
    if (tag == tag::kSubject && bytes.size() >= 4 && bytes[0] == 0x01 && bytes[1] == 0x00) {
      hash.add(bytes.data() + 4, bytes.size() - 4);
      return true;
    }
    hash.add(bytes);
    return true;
  }
  std::size_t attachmentCount() const override { return attachments_.size(); }
  std::unique_ptr<ItemView> attachment(std::size_t i) const override {
    const auto& s = subnodes_.at(attachments_.at(i));
    return std::make_unique<PstView>(reading_, s.bidData, s.bidSub,
                                     reading_.where + ", attachment " + std::to_string(i + 1));
  }
  std::unique_ptr<ItemView> embedded() const override {
    const auto it = props_.find(mapi::tags::PR_ATTACH_DATA_BIN.id);
    if (it == props_.end() ||
        it->second.type != static_cast<std::uint16_t>(mapi::PropType::Object)) {
      return nullptr;
    }
    if (it->second.bytes.size() < 4) throw fault("an embedded message has no node");
    const auto inner = subnodes_.find(mapi::Get32(it->second.bytes.data()));
    if (inner == subnodes_.end()) throw fault("an embedded message is missing");
    return std::make_unique<PstView>(reading_, inner->second.bidData, inner->second.bidSub,
                                     reading_.where + ", an embedded message");
  }

 private:
  Error fault(const std::string& what) const {
    std::string text = what;
    if (!reading_.findings.empty()) text += " (" + reading_.findings.all().front().where + ")";
    return Error(text);
  }

  const PstReading& reading_;
  pst::check::Subnodes subnodes_;
  pst::check::Properties props_;
  std::vector<std::uint32_t> attachments_;
};

const char* Plural(std::uint32_t n) {
  return n == 1 ? "" : "s";
}

}  // namespace

ItemDigest DigestOf(const mapi::Message& message) {
  return Digest(ModelView(message.props, &message, nullptr), 0);
}

std::string Difference(const ItemDigest& written, const ItemDigest& readBack) {
  const auto differs = [](const ItemDigest::Field& a, const ItemDigest::Field& b,
                          const char* what) -> std::string {
    if (a == b) return {};
    if (b.size == ItemDigest::Field::kAbsent) return std::string(what) + " is missing";
    if (a.size == ItemDigest::Field::kAbsent) return std::string(what) + " was not written";
    return std::string(what) + " differs";
  };
  for (const auto& [a, b, what] :
       {std::tuple{&written.subject, &readBack.subject, "the subject"},
        {&written.senderName, &readBack.senderName, "the sender's name"},
        {&written.senderAddress, &readBack.senderAddress, "the sender's address"},
        {&written.date, &readBack.date, "the date"},
        {&written.body, &readBack.body, "the body text"},
        {&written.html, &readBack.html, "the HTML body"}}) {
    if (std::string d = differs(*a, *b, what); !d.empty()) return d;
  }
  if (written.attachments != readBack.attachments) {
    return std::to_string(written.attachments) + " attachment" + Plural(written.attachments) +
           " written, " + std::to_string(readBack.attachments) + " read back";
  }
  if (written.attachmentNames != readBack.attachmentNames) return "the attachments' names differ";
  if (written.attachmentContents != readBack.attachmentContents) {
    return "the attachments' bytes differ";
  }
  return {};
}

namespace {

mapi::Bytes ReadWholeFile(const std::string& path) {
  sys::InputFile in;
  if (const int error = in.open(path); error != 0) throw systemError("cannot read", path, error);
  std::int64_t size = 0;
  if (const int error = in.size(size); error != 0) throw systemError("cannot read", path, error);
  mapi::Bytes bytes(static_cast<std::size_t>(size));
  std::size_t got = 0;
  if (const int error = in.readAt(0, bytes.data(), bytes.size(), got); error != 0) {
    throw systemError("cannot read", path, error);
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace

ItemDigest ReadMsgDigest(const std::string& path) {
  // The file is held once: streams of attachments beyond a mebibyte are read where they lie.
  const mapi::Bytes bytes = ReadWholeFile(path);
  const mapi::cfb::ReadResult file = mapi::cfb::ReadCompoundFile(bytes, std::uint64_t{1} << 20);
  if (!file.defects.empty()) {
    throw Error("'" + path + "' is not a sound Compound File: " + file.defects.front());
  }
  return Digest(MsgView(file, "", 32), 0);
}

FileSum ReadFileSum(const std::string& path, std::vector<std::uint8_t>& buffer) {
  sys::InputFile in;
  if (const int error = in.open(path); error != 0) throw systemError("cannot read", path, error);
  if (buffer.size() < (1 << 16)) buffer.resize(1 << 16);
  FileSum sum;
  for (;;) {
    std::size_t got = 0;
    if (const int error = in.readAt(sum.size, buffer.data(), buffer.size(), got); error != 0) {
      throw systemError("cannot read", path, error);
    }
    if (got == 0) break;
    sum.crc = mapi::Crc32(buffer.data(), got, sum.crc);
    sum.size += got;
    // Most message files are read in one go; a large one in larger reads.
    if (got == buffer.size() && buffer.size() < (1 << 22)) buffer.resize(buffer.size() * 4);
  }
  return sum;
}

struct StoreReadBack::Impl {
  std::string path;
  sys::InputFile file;
  pst::check::Findings findings;
  std::unique_ptr<pst::check::NodeDatabaseReader> ndb;
};

StoreReadBack::StoreReadBack(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  std::int64_t size = 0;
  if (int error = impl_->file.open(path); error != 0 || (error = impl_->file.size(size)) != 0) {
    throw systemError("cannot read the Outlook data file", path, error);
  }
  // Read, not mapped: a file another program cuts short meanwhile gives damaged pages and
  // blocks, not a crash. The writer's CRC is many times faster than the checker's own: a fault
  // of it would show in the tests that compare the two, not here.
  const sys::InputFile& file = impl_->file;
  impl_->ndb = std::make_unique<pst::check::NodeDatabaseReader>(
      static_cast<std::uint64_t>(size),
      [&file](std::uint64_t offset, std::uint8_t* out, std::size_t n) {
        std::size_t got = 0;
        return file.readAt(offset, out, n, got) == 0 && got == n;
      },
      impl_->findings, mapi::Crc32);
  // Nodes and blocks are sought in the file as messages are read: a damaged page or block fails
  // only the messages under it, and a file of millions of blocks needs no lists of them. A
  // damaged header fails every message.
  const bool read = impl_->ndb->open();
  if (!impl_->findings.empty()) {
    throw Error("the data file did not read back soundly: " + impl_->findings.all().front().where);
  }
  if (!read) throw Error("the data file did not read back soundly");
}

StoreReadBack::~StoreReadBack() = default;

ItemDigest StoreReadBack::message(std::uint32_t messageId, std::uint32_t folderId) const {
  std::string fault;
  const std::optional<pst::check::NodeInfo> node = impl_->ndb->node(messageId, &fault);
  const std::string where = "message node " + pst::check::Hex(messageId);
  if (!node && !fault.empty()) {
    throw Error("the data file did not read back soundly: " + fault);
  }
  if (!node) throw Error("it is not in '" + impl_->path + "'");
  if (node->parent != folderId) throw Error("it is not in its folder in '" + impl_->path + "'");
  pst::check::Findings findings;
  pst::check::LtpReader ltp(*impl_->ndb, findings);
  const PstReading reading{*impl_->ndb, findings, ltp, where};
  try {
    const PstView view(reading, node->bidData, node->bidSub, where);
    ItemDigest digest = Digest(view, 0);
    if (!findings.empty()) throw Error("it is damaged: " + findings.all().front().where);
    return digest;
  } catch (const Error& e) {
    // Blocks that fail their checks read as missing.
    throw Error(std::string(e.what()) + ": a block of it is damaged or missing");
  }
}

}  // namespace qc
