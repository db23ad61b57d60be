#include "mapi/msg/property_stream.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "mapi/little_endian.h"
#include "mapi/text.h"
#include "util/cp1252.h"
#include "util/error.h"

namespace qc::mapi::msg {

namespace {

constexpr std::uint32_t kReadableWritable = 0x00000006;

// "__substg1.0_" and the tag in hex, then for one value of a multi-valued property "-" and its
// index: the name of a stream holding a value. Made without the heap, as each message has
// dozens.
class ValueStreamName {
 public:
  explicit ValueStreamName(std::uint32_t tag) {
    std::copy(kPrefix.begin(), kPrefix.end(), text_.begin());
    size_ = kPrefix.size();
    appendHex(tag);
  }
  ValueStreamName(std::uint32_t tag, std::size_t index) : ValueStreamName(tag) {
    text_[size_++] = '-';
    appendHex(static_cast<std::uint32_t>(index));
  }
  operator std::string_view() const { return {text_.data(), size_}; }

 private:
  static constexpr std::string_view kPrefix = "__substg1.0_";

  void appendHex(std::uint32_t value) {
    for (int i = 7; i >= 0; --i, value >>= 4) text_[size_ + i] = "0123456789ABCDEF"[value & 0xF];
    size_ += 8;
  }

  std::array<char, 32> text_;
  std::size_t size_ = 0;
};

ValueStreamName SubstgName(std::uint32_t tag) {
  return ValueStreamName(tag);
}

// How many streams WriteValue() makes for a property: none for a value its entry holds.
std::size_t StreamsOf(const Property& p) {
  switch (p.type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::Boolean:
    case PropType::Int64:
    case PropType::Time:
    case PropType::Float32:
    case PropType::Float64:
    case PropType::Currency:
    case PropType::AppTime:
    case PropType::Error:
    case PropType::Object:
      return 0;
    case PropType::MvUnicode:
      if (const auto* v = std::get_if<std::vector<std::string>>(&p.value)) return v->size() + 1;
      return 1;
    case PropType::MvBinary:
      if (const auto* v = std::get_if<std::vector<Bytes>>(&p.value)) return v->size() + 1;
      return 1;
    case PropType::MvString8:
      if (const auto* v = std::get_if<RawValue>(&p.value)) return v->values.size() + 1;
      return 1;
    default:
      return 1;
  }
}

// One 16-byte entry: tag, flags, then 8 bytes of value or of size and reserved.
void PutEntry(Bytes& out, std::uint32_t tag, std::uint64_t value) {
  const std::size_t at = out.size();
  out.resize(at + 16);
  Put32(out.data() + at, tag);
  Put32(out.data() + at + 4, kReadableWritable);
  Put64(out.data() + at + 8, value);
}

// A value of a fixed-size type as its entry holds it: little-endian, zeros past its size.
std::uint64_t InlineValue(const Bytes& bytes) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < bytes.size() && i < 8; ++i) v |= std::uint64_t{bytes[i]} << (8 * i);
  return v;
}

// An 8-bit string as text: a .msg file that declares Unicode strings holds every string in
// Unicode. Its code page is unknown here; windows-1252 is the one such strings are most often in.
std::string TextOf8Bit(const Bytes& bytes) {
  return Utf8OrWindows1252({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

// The property's value as the file holds it: inline in its entry, or in streams of its own.
// With `lasting` the value outlives the file's writing, and its binary streams refer to it
// rather than copy it.
void WriteValue(PropTag tag, const PropValue& value, Bytes& entries, cfb::Storage& storage,
                bool lasting) {
  const std::uint32_t t = tag.value();
  const auto mismatch = [&] {
    return Error("property " + HexTag(tag) + " holds a value of another type");
  };
  const auto* raw = std::get_if<RawValue>(&value);
  switch (tag.type) {
    case PropType::Int16:
      if (auto v = std::get_if<std::int16_t>(&value))
        return PutEntry(entries, t, static_cast<std::uint16_t>(*v));
      throw mismatch();
    case PropType::Int32:
      if (auto v = std::get_if<std::int32_t>(&value))
        return PutEntry(entries, t, static_cast<std::uint32_t>(*v));
      throw mismatch();
    case PropType::Boolean:
      if (auto v = std::get_if<bool>(&value)) return PutEntry(entries, t, *v ? 1u : 0u);
      throw mismatch();
    case PropType::Int64:
      if (auto v = std::get_if<std::int64_t>(&value))
        return PutEntry(entries, t, static_cast<std::uint64_t>(*v));
      throw mismatch();
    case PropType::Time:
      if (auto v = std::get_if<FileTime>(&value)) return PutEntry(entries, t, v->ticks);
      throw mismatch();
    case PropType::Float32:
    case PropType::Float64:
    case PropType::Currency:
    case PropType::AppTime:
    case PropType::Error:
      if (!raw || raw->values.size() != 1) throw mismatch();
      return PutEntry(entries, t, InlineValue(raw->values[0]));
    case PropType::Unicode: {
      if (auto v = std::get_if<std::shared_ptr<const ByteSource>>(&value)) {
        if (!*v) throw mismatch();
        if ((*v)->size() > 0xFFFFFFFFu - 2)
          throw Error("a text of 4 GiB or more does not fit a .msg file");
        PutEntry(entries, t, (*v)->size() + 2);
        return storage.addStream(SubstgName(t), *v);
      }
      auto v = std::get_if<std::string>(&value);
      if (!v) throw mismatch();
      Bytes utf16 = Utf16LeBytes(*v);
      // The size counts the terminating NUL that the stream leaves out.
      PutEntry(entries, t, utf16.size() + 2);
      return storage.addStream(SubstgName(t), std::move(utf16));
    }
    case PropType::String8:
      if (!raw || raw->values.size() != 1) throw mismatch();
      return WriteValue({tag.id, PropType::Unicode}, TextOf8Bit(raw->values[0]), entries, storage,
                        false);
    case PropType::Guid: {
      auto v = std::get_if<Guid>(&value);
      if (!v) throw mismatch();
      PutEntry(entries, t, 16);
      return storage.addStream(SubstgName(t), Bytes(v->bytes.begin(), v->bytes.end()));
    }
    case PropType::Binary:
      if (auto v = std::get_if<Bytes>(&value)) {
        PutEntry(entries, t, v->size());
        if (lasting) return storage.addBorrowedStream(SubstgName(t), *v);
        return storage.addStream(SubstgName(t), *v);
      }
      if (auto v = std::get_if<std::shared_ptr<const ByteSource>>(&value)) {
        if (!*v) throw mismatch();
        if ((*v)->size() > 0xFFFFFFFFu)
          throw Error("an attachment of 4 GiB or more does not fit a .msg file");
        PutEntry(entries, t, (*v)->size());
        return storage.addStream(SubstgName(t), *v);
      }
      throw mismatch();
    case PropType::MvInt32: {
      auto v = std::get_if<std::vector<std::int32_t>>(&value);
      if (!v) throw mismatch();
      Bytes all;
      for (const auto x : *v) Append32(all, static_cast<std::uint32_t>(x));
      PutEntry(entries, t, all.size());
      return storage.addStream(SubstgName(t), std::move(all));
    }
    case PropType::MvInt16:
    case PropType::MvFloat32:
    case PropType::MvFloat64:
    case PropType::MvCurrency:
    case PropType::MvAppTime:
    case PropType::MvInt64:
    case PropType::MvTime:
    case PropType::MvGuid: {
      // Fixed-size values one after another in a single stream.
      if (!raw) throw mismatch();
      Bytes all;
      for (const Bytes& v : raw->values) all.insert(all.end(), v.begin(), v.end());
      PutEntry(entries, t, all.size());
      return storage.addStream(SubstgName(t), std::move(all));
    }
    case PropType::MvString8: {
      if (!raw) throw mismatch();
      std::vector<std::string> texts;
      for (const Bytes& v : raw->values) texts.push_back(TextOf8Bit(v));
      return WriteValue({tag.id, PropType::MvUnicode}, texts, entries, storage, false);
    }
    case PropType::MvUnicode: {
      auto v = std::get_if<std::vector<std::string>>(&value);
      if (!v) throw mismatch();
      Bytes lengths;
      for (std::size_t i = 0; i < v->size(); ++i) {
        Bytes utf16 = Utf16LeBytes((*v)[i]);
        utf16.push_back(0);
        utf16.push_back(0);
        Append32(lengths, static_cast<std::uint32_t>(utf16.size()));
        storage.addStream(ValueStreamName(t, i), std::move(utf16));
      }
      PutEntry(entries, t, lengths.size());
      return storage.addStream(SubstgName(t), std::move(lengths));
    }
    case PropType::MvBinary: {
      auto v = std::get_if<std::vector<Bytes>>(&value);
      if (!v) throw mismatch();
      Bytes lengths;
      for (std::size_t i = 0; i < v->size(); ++i) {
        Append32(lengths, static_cast<std::uint32_t>((*v)[i].size()));
        Append32(lengths, 0);
        if (lasting) {
          storage.addBorrowedStream(ValueStreamName(t, i), (*v)[i]);
        } else {
          storage.addStream(ValueStreamName(t, i), (*v)[i]);
        }
      }
      PutEntry(entries, t, lengths.size());
      return storage.addStream(SubstgName(t), std::move(lengths));
    }
    case PropType::Object:
      break;  // embedded messages are written by the message writer
  }
  throw Error("property " + HexTag(tag) + " has a type .msg files cannot hold");
}

}  // namespace

void WriteProperties(const PropertyBag& bag, const Amendments& amendments,
                     const NamedPropertyMap& names, const StreamHeader& header,
                     cfb::Storage& storage) {
  const std::size_t entries =
      bag.tagged().size() + amendments.added.tagged().size() + bag.named().size();
  // The values' streams and the properties stream, which comes last: room for exactly these,
  // as a message of many attachments has a storage of them for each.
  std::size_t streams = 1;
  for (const auto& [id, p] : bag.tagged()) streams += StreamsOf(p);
  for (const auto& [id, p] : amendments.added.tagged()) streams += StreamsOf(p);
  for (const auto& [name, p] : bag.named()) streams += StreamsOf(p);
  storage.reserve(streams);
  Bytes stream;
  stream.reserve(32 + 16 * entries);
  switch (header.kind) {
    case StreamHeader::Kind::TopMessage:
    case StreamHeader::Kind::EmbeddedMessage:
      Append64(stream, 0);
      Append32(stream, header.recipients);   // next recipient ID
      Append32(stream, header.attachments);  // next attachment ID
      Append32(stream, header.recipients);
      Append32(stream, header.attachments);
      if (header.kind == StreamHeader::Kind::TopMessage) Append64(stream, 0);
      break;
    case StreamHeader::Kind::RecipientOrAttachment:
      Append64(stream, 0);
      break;
  }
  // The object's own properties outlive the writing of the file; the amendments do not.
  const auto write = [&](std::uint16_t id, const Property& p, bool lasting) {
    if (p.type == PropType::Object) {
      // An embedded message: its storage holds the value.
      PutEntry(stream, PropTag{id, p.type}.value(), 0xFFFFFFFFu);
    } else {
      WriteValue({id, p.type}, p.value, stream, storage, lasting);
    }
  };
  // Both maps are in identifier order: merge them, an amendment replacing the object's own
  // property of the same identifier, whatever its type.
  const auto& own = bag.tagged();
  const auto& added = amendments.added.tagged();
  auto a = own.begin();
  auto b = added.begin();
  while (a != own.end() || b != added.end()) {
    if (b == added.end() || (a != own.end() && a->first < b->first)) {
      write(a->first, a->second, true);
      ++a;
    } else {
      if (a != own.end() && a->first == b->first) ++a;
      write(b->first, b->second, false);
      ++b;
    }
  }
  for (const auto& [name, p] : bag.named()) {
    WriteValue({names.idOf(name), p.type}, p.value, stream, storage, true);
  }
  storage.addStream("__properties_version1.0", std::move(stream));
}

}  // namespace qc::mapi::msg
