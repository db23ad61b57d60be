// The MAPI property model shared by the RFC 822 import and the .msg and .pst writers: tags, typed
// values, named properties, and messages with their recipients and attachments.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qc::mapi {

// Property types as MAPI numbers them (MS-OXCDATA 2.11.1).
enum class PropType : std::uint16_t {
  Int16 = 0x0002,
  Int32 = 0x0003,
  Float32 = 0x0004,
  Float64 = 0x0005,
  Currency = 0x0006,  // a 64-bit integer counting ten-thousandths
  AppTime = 0x0007,   // a double: days since 1899-12-30
  Error = 0x000A,     // a 32-bit SCODE
  Boolean = 0x000B,
  Object = 0x000D,  // an embedded message or attachment data object
  Int64 = 0x0014,
  String8 = 0x001E,  // 8-bit text in the code page of its object
  Unicode = 0x001F,  // held as UTF-8 here; written as UTF-16LE
  Time = 0x0040,     // FILETIME: 100 ns units since 1601-01-01 UTC
  Guid = 0x0048,
  Binary = 0x0102,
  MvInt16 = 0x1002,
  MvInt32 = 0x1003,
  MvFloat32 = 0x1004,
  MvFloat64 = 0x1005,
  MvCurrency = 0x1006,
  MvAppTime = 0x1007,
  MvInt64 = 0x1014,
  MvString8 = 0x101E,
  MvUnicode = 0x101F,
  MvTime = 0x1040,
  MvGuid = 0x1048,
  MvBinary = 0x1102,
};

constexpr bool IsMultiValued(PropType t) {
  return (static_cast<std::uint16_t>(t) & 0x1000) != 0;
}

// The size of one value of a type as MS-OXCDATA fixes it (a multi-valued type: of each of its
// values), 0 for variable-size values (strings, binary, objects), nothing for a type the model
// does not hold.
std::optional<std::size_t> ValueSize(PropType t);

// A property tag: 16-bit identifier and type, as in 0x0037001F (PR_SUBJECT_W).
struct PropTag {
  std::uint16_t id = 0;
  PropType type = PropType::Int32;

  constexpr std::uint32_t value() const {
    return (std::uint32_t{id} << 16) | static_cast<std::uint16_t>(type);
  }
  static constexpr PropTag From(std::uint32_t tag) {
    return {static_cast<std::uint16_t>(tag >> 16), static_cast<PropType>(tag & 0xFFFF)};
  }
  friend constexpr bool operator==(PropTag a, PropTag b) { return a.value() == b.value(); }
  friend constexpr auto operator<=>(PropTag a, PropTag b) { return a.value() <=> b.value(); }
};

// "0x0037001F", as errors and defects name a tag.
std::string HexTag(PropTag tag);

// Identifiers from here up belong to named properties; a file's or a store's map assigns them.
constexpr std::uint16_t kFirstNamedId = 0x8000;
// The highest identifier a name can get; 0xFFFF stands for no property.
constexpr std::uint16_t kLastNamedId = 0xFFFE;

struct FileTime {
  std::uint64_t ticks = 0;
  friend bool operator==(FileTime, FileTime) = default;
};

struct Guid {
  std::array<std::uint8_t, 16> bytes{};  // in the on-disk (little-endian fields) order
  friend bool operator==(const Guid&, const Guid&) = default;
  friend auto operator<=>(const Guid&, const Guid&) = default;
  // From the text form "00020329-0000-0000-C000-000000000046".
  static Guid Parse(std::string_view text);
};

using Bytes = std::vector<std::uint8_t>;

// Large binary content (attachment data) that writers copy in pieces instead of holding whole.
// A source may keep a read position of its own, so one source is read by one thread at a time.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Copies up to n bytes starting at offset; returns how many were copied, fewer than n only
  // where the content ends. Throws qc::Error when the bytes cannot be read.
  virtual std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const = 0;
  // All size() bytes, where the source holds them in memory; nullptr where it reads them from
  // elsewhere. Lets a reader look at them where they are instead of copying them.
  virtual const std::uint8_t* data() const { return nullptr; }
};

// A ByteSource over bytes held in memory.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(Bytes bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t size() const override { return bytes_.size(); }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override;
  const std::uint8_t* data() const override { return bytes_.data(); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A value of a type the model has no C++ type for (floating point, currency, error codes, 8-bit
// strings, most multi-valued types), kept as MS-OXCDATA lays it out so that nothing read is
// lost: the little-endian bytes of the type's fixed size, or the bytes of an 8-bit string
// without its terminating NUL. A single-valued type holds one element, a multi-valued one an
// element per value.
struct RawValue {
  std::vector<Bytes> values;
  friend bool operator==(const RawValue&, const RawValue&) = default;
};

// The value of an object property (PR_ATTACH_DATA_OBJ): the object itself is held beside the
// bag, as an attachment's embedded message.
struct ObjectValue {
  friend bool operator==(ObjectValue, ObjectValue) = default;
};

// Each type has one representation: Int16 int16_t, Int32 int32_t, Boolean bool, Int64 int64_t,
// Unicode std::string (UTF-8), Time FileTime, Guid Guid, Binary Bytes or a ByteSource, Object
// ObjectValue, MvInt32, MvUnicode and MvBinary vectors; every other type a RawValue. A text too
// large to hold (a body of hundreds of megabytes) may be a ByteSource of its UTF-16LE code
// units instead, without a terminating NUL: the form the writers store, copied in pieces.
using PropValue =
    std::variant<std::int16_t, std::int32_t, bool, std::int64_t, std::string, FileTime, Guid, Bytes,
                 std::shared_ptr<const ByteSource>, std::vector<std::int32_t>,
                 std::vector<std::string>, std::vector<Bytes>, RawValue, ObjectValue>;

// A named property: a property set and a number or a string. Its type is not part of its name:
// a .msg file or a store gives a name one identifier, whatever types it is used with.
struct NamedProp {
  Guid set;
  std::variant<std::uint32_t, std::string> key;

  bool isString() const { return key.index() == 1; }
  std::uint32_t number() const { return std::get<0>(key); }
  const std::string& name() const { return std::get<1>(key); }

  friend bool operator==(const NamedProp&, const NamedProp&) = default;
  friend auto operator<=>(const NamedProp& a, const NamedProp& b) {
    if (auto c = a.set <=> b.set; c != 0) return c;
    if (a.key.index() != b.key.index()) return a.key.index() <=> b.key.index();
    if (a.key.index() == 0) return std::get<0>(a.key) <=> std::get<0>(b.key);
    const int c = std::get<1>(a.key).compare(std::get<1>(b.key));
    return c < 0   ? std::strong_ordering::less
           : c > 0 ? std::strong_ordering::greater
                   : std::strong_ordering::equal;
  }
};

// What a bag holds under an identifier or a name: the type it was set with, and its value.
struct Property {
  PropType type = PropType::Int32;
  PropValue value;
};

// Properties of one object, keyed by their 16-bit identifier (or name) and kept in identifier
// order so writers produce the same bytes every time. An identifier holds one type: setting it
// under another type is a fault of the caller and throws, as does a value that is not the
// type's representation; nothing is ever silently replaced by a value of another type.
class PropertyBag {
 public:
  // Sets or replaces the property. Throws qc::Error naming the tag when the identifier is held
  // under another type, when the value is not of the type's representation, or when the
  // identifier lies in the named range (named properties are set by name).
  void set(PropTag tag, PropValue value);
  // The same for a named property; the type is the bag's own use of the name.
  void setNamed(const NamedProp& name, PropType type, PropValue value);
  // Removes whatever the identifier holds.
  void erase(std::uint16_t id) { tagged_.erase(id); }

  // The value held under exactly this tag; nullptr when absent or held under another type.
  const PropValue* find(PropTag tag) const;
  // Whatever the identifier holds, of whichever type.
  const Property* findId(std::uint16_t id) const;
  const Property* findNamed(const NamedProp& name) const;
  template <class T>
  const T* get(PropTag tag) const {
    const PropValue* v = find(tag);
    return v ? std::get_if<T>(v) : nullptr;
  }

  const std::map<std::uint16_t, Property>& tagged() const { return tagged_; }
  const std::map<NamedProp, Property>& named() const { return named_; }

 private:
  std::map<std::uint16_t, Property> tagged_;
  std::map<NamedProp, Property> named_;
};

struct Message;

struct Recipient {
  PropertyBag props;  // PR_RECIPIENT_TYPE, PR_DISPLAY_NAME_W, PR_SMTP_ADDRESS_W, ...
};

struct Attachment {
  PropertyBag props;  // PR_ATTACH_METHOD, PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_DATA_BIN, ...
  std::unique_ptr<Message> embedded;  // set when PR_ATTACH_METHOD is ATTACH_EMBEDDED_MSG (5)
};

struct Message {
  PropertyBag props;
  std::vector<Recipient> recipients;
  std::vector<Attachment> attachments;
};

// Tags the library sets or reads itself. Names follow the MAPI headers.
namespace tags {
constexpr PropTag PR_MESSAGE_CLASS_W{0x001A, PropType::Unicode};
constexpr PropTag PR_SUBJECT_W{0x0037, PropType::Unicode};
constexpr PropTag PR_SUBJECT_PREFIX_W{0x003D, PropType::Unicode};
constexpr PropTag PR_NORMALIZED_SUBJECT_W{0x0E1D, PropType::Unicode};
constexpr PropTag PR_CLIENT_SUBMIT_TIME{0x0039, PropType::Time};
constexpr PropTag PR_MESSAGE_DELIVERY_TIME{0x0E06, PropType::Time};
constexpr PropTag PR_MESSAGE_FLAGS{0x0E07, PropType::Int32};
constexpr PropTag PR_MESSAGE_SIZE{0x0E08, PropType::Int32};
constexpr PropTag PR_HASATTACH{0x0E1B, PropType::Boolean};
constexpr PropTag PR_IMPORTANCE{0x0017, PropType::Int32};
constexpr PropTag PR_PRIORITY{0x0026, PropType::Int32};
constexpr PropTag PR_SENSITIVITY{0x0036, PropType::Int32};
constexpr PropTag PR_INTERNET_MESSAGE_ID_W{0x1035, PropType::Unicode};
constexpr PropTag PR_IN_REPLY_TO_ID_W{0x1042, PropType::Unicode};
constexpr PropTag PR_INTERNET_REFERENCES_W{0x1039, PropType::Unicode};
constexpr PropTag PR_TRANSPORT_MESSAGE_HEADERS_W{0x007D, PropType::Unicode};
constexpr PropTag PR_BODY_W{0x1000, PropType::Unicode};
constexpr PropTag PR_HTML{0x1013, PropType::Binary};
constexpr PropTag PR_INTERNET_CPID{0x3FDE, PropType::Int32};
constexpr PropTag PR_RTF_COMPRESSED{0x1009, PropType::Binary};
constexpr PropTag PR_RTF_IN_SYNC{0x0E1F, PropType::Boolean};
constexpr PropTag PR_NATIVE_BODY_INFO{0x1016, PropType::Int32};
constexpr PropTag PR_MSG_EDITOR_FORMAT{0x5909, PropType::Int32};
constexpr PropTag PR_CONVERSATION_TOPIC_W{0x0070, PropType::Unicode};
constexpr PropTag PR_CONVERSATION_INDEX{0x0071, PropType::Binary};
constexpr PropTag PR_CONVERSATION_INDEX_TRACKING{0x3016, PropType::Boolean};
constexpr PropTag PR_CREATION_TIME{0x3007, PropType::Time};
constexpr PropTag PR_LAST_MODIFICATION_TIME{0x3008, PropType::Time};
constexpr PropTag PR_STORE_SUPPORT_MASK{0x340D, PropType::Int32};
constexpr PropTag PR_DISPLAY_TO_W{0x0E04, PropType::Unicode};
constexpr PropTag PR_DISPLAY_CC_W{0x0E03, PropType::Unicode};
constexpr PropTag PR_DISPLAY_BCC_W{0x0E02, PropType::Unicode};
constexpr PropTag PR_SENDER_NAME_W{0x0C1A, PropType::Unicode};
constexpr PropTag PR_SENDER_EMAIL_ADDRESS_W{0x0C1F, PropType::Unicode};
constexpr PropTag PR_SENDER_ADDRTYPE_W{0x0C1E, PropType::Unicode};
constexpr PropTag PR_SENDER_ENTRYID{0x0C19, PropType::Binary};
constexpr PropTag PR_SENDER_SEARCH_KEY{0x0C1D, PropType::Binary};
constexpr PropTag PR_SENDER_SMTP_ADDRESS_W{0x5D01, PropType::Unicode};
constexpr PropTag PR_SENT_REPRESENTING_NAME_W{0x0042, PropType::Unicode};
constexpr PropTag PR_SENT_REPRESENTING_EMAIL_ADDRESS_W{0x0065, PropType::Unicode};
constexpr PropTag PR_SENT_REPRESENTING_ADDRTYPE_W{0x0064, PropType::Unicode};
constexpr PropTag PR_SENT_REPRESENTING_ENTRYID{0x0041, PropType::Binary};
constexpr PropTag PR_SENT_REPRESENTING_SEARCH_KEY{0x003B, PropType::Binary};
constexpr PropTag PR_SENT_REPRESENTING_SMTP_ADDRESS_W{0x5D02, PropType::Unicode};
constexpr PropTag PR_REPLY_RECIPIENT_NAMES_W{0x0050, PropType::Unicode};
constexpr PropTag PR_REPLY_RECIPIENT_ENTRIES{0x004F, PropType::Binary};
// Recipients.
constexpr PropTag PR_RECIPIENT_TYPE{0x0C15, PropType::Int32};  // 1 To, 2 Cc, 3 Bcc
constexpr PropTag PR_DISPLAY_NAME_W{0x3001, PropType::Unicode};
constexpr PropTag PR_ADDRTYPE_W{0x3002, PropType::Unicode};
constexpr PropTag PR_EMAIL_ADDRESS_W{0x3003, PropType::Unicode};
constexpr PropTag PR_SMTP_ADDRESS_W{0x39FE, PropType::Unicode};
constexpr PropTag PR_ENTRYID{0x0FFF, PropType::Binary};
constexpr PropTag PR_SEARCH_KEY{0x300B, PropType::Binary};
constexpr PropTag PR_ROWID{0x3000, PropType::Int32};
constexpr PropTag PR_DISPLAY_TYPE{0x3900, PropType::Int32};  // 0 a mail user
constexpr PropTag PR_SEND_RICH_INFO{0x3A40, PropType::Boolean};
constexpr PropTag PR_TRANSMITTABLE_DISPLAY_NAME_W{0x3A20, PropType::Unicode};
constexpr PropTag PR_RECIPIENT_DISPLAY_NAME_W{0x5FF6, PropType::Unicode};
// Attachments.
constexpr PropTag PR_ATTACH_NUM{0x0E21, PropType::Int32};
constexpr PropTag PR_ATTACH_METHOD{0x3705, PropType::Int32};  // 1 by value, 5 embedded message
constexpr PropTag PR_ATTACH_DATA_BIN{0x3701, PropType::Binary};
constexpr PropTag PR_ATTACH_DATA_OBJ{0x3701, PropType::Object};
constexpr PropTag PR_ATTACH_FILENAME_W{0x3704, PropType::Unicode};
constexpr PropTag PR_ATTACH_LONG_FILENAME_W{0x3707, PropType::Unicode};
constexpr PropTag PR_ATTACH_EXTENSION_W{0x3703, PropType::Unicode};
constexpr PropTag PR_ATTACH_MIME_TAG_W{0x370E, PropType::Unicode};
constexpr PropTag PR_ATTACH_CONTENT_ID_W{0x3712, PropType::Unicode};
constexpr PropTag PR_ATTACH_CONTENT_LOCATION_W{0x3713, PropType::Unicode};
constexpr PropTag PR_ATTACH_SIZE{0x0E20, PropType::Int32};
constexpr PropTag PR_ATTACH_FLAGS{0x3714, PropType::Int32};
constexpr PropTag PR_ATTACHMENT_HIDDEN{0x7FFE, PropType::Boolean};
constexpr PropTag PR_RENDERING_POSITION{0x370B, PropType::Int32};
constexpr PropTag PR_DISPLAY_NAME_ATTACH_W{0x3001, PropType::Unicode};
}  // namespace tags

// Message flags.
constexpr std::int32_t MSGFLAG_READ = 0x01;
constexpr std::int32_t MSGFLAG_UNSENT = 0x08;
constexpr std::int32_t MSGFLAG_HASATTACH = 0x10;

// PR_ATTACH_METHOD values.
constexpr std::int32_t ATTACH_BY_VALUE = 1;
constexpr std::int32_t ATTACH_EMBEDDED_MSG = 5;
// PR_ATTACH_FLAGS: the attachment is referenced from the HTML body (an inline image).
constexpr std::int32_t ATT_MHTML_REF = 0x04;

}  // namespace qc::mapi
