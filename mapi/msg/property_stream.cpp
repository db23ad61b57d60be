#include "mapi/msg/property_stream.h"

#include <algorithm>
#include <cstdio>

#include "mapi/little_endian.h"
#include "mapi/text.h"
#include "util/error.h"

namespace qc::mapi::msg {

namespace {

constexpr std::uint32_t kReadableWritable = 0x00000006;

std::string SubstgName(std::uint32_t tag) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%08X", tag);
  return name;
}

std::string ValueStreamName(std::uint32_t tag, std::size_t index) {
  char name[40];
  std::snprintf(name, sizeof name, "__substg1.0_%08X-%08X", tag, static_cast<unsigned>(index));
  return name;
}

// One 16-byte entry: tag, flags, then 8 bytes of value or of size and reserved.
void PutEntry(Bytes& out, std::uint32_t tag, std::uint64_t value) {
  Append32(out, tag);
  Append32(out, kReadableWritable);
  Append64(out, value);
}

// The property's value as the file holds it: inline in its entry, or in streams of its own.
void WriteValue(std::uint32_t tag, const PropValue& value, Bytes& entries, cfb::Storage& storage) {
  const auto type = static_cast<PropType>(tag & 0xFFFF);
  const auto mismatch = [&] {
    char text[80];
    std::snprintf(text, sizeof text, "property 0x%08X holds a value of another type", tag);
    return Error(text);
  };
  switch (type) {
    case PropType::Int16:
      if (auto v = std::get_if<std::int16_t>(&value))
        return PutEntry(entries, tag, static_cast<std::uint16_t>(*v));
      throw mismatch();
    case PropType::Int32:
      if (auto v = std::get_if<std::int32_t>(&value))
        return PutEntry(entries, tag, static_cast<std::uint32_t>(*v));
      throw mismatch();
    case PropType::Boolean:
      if (auto v = std::get_if<bool>(&value)) return PutEntry(entries, tag, *v ? 1u : 0u);
      throw mismatch();
    case PropType::Int64:
      if (auto v = std::get_if<std::int64_t>(&value))
        return PutEntry(entries, tag, static_cast<std::uint64_t>(*v));
      throw mismatch();
    case PropType::Time:
      if (auto v = std::get_if<FileTime>(&value)) return PutEntry(entries, tag, v->ticks);
      throw mismatch();
    case PropType::Unicode: {
      auto v = std::get_if<std::string>(&value);
      if (!v) throw mismatch();
      Bytes utf16 = Utf16LeBytes(*v);
      // The size counts the terminating NUL that the stream leaves out.
      PutEntry(entries, tag, utf16.size() + 2);
      return storage.addStream(SubstgName(tag), std::move(utf16));
    }
    case PropType::Guid: {
      auto v = std::get_if<Guid>(&value);
      if (!v) throw mismatch();
      PutEntry(entries, tag, 16);
      return storage.addStream(SubstgName(tag), Bytes(v->bytes.begin(), v->bytes.end()));
    }
    case PropType::Binary:
      if (auto v = std::get_if<Bytes>(&value)) {
        PutEntry(entries, tag, v->size());
        return storage.addStream(SubstgName(tag), *v);
      }
      if (auto v = std::get_if<std::shared_ptr<const ByteSource>>(&value)) {
        if (!*v) throw mismatch();
        if ((*v)->size() > 0xFFFFFFFFu)
          throw Error("an attachment of 4 GiB or more does not fit a .msg file");
        PutEntry(entries, tag, (*v)->size());
        return storage.addStream(SubstgName(tag), *v);
      }
      throw mismatch();
    case PropType::MvInt32: {
      auto v = std::get_if<std::vector<std::int32_t>>(&value);
      if (!v) throw mismatch();
      Bytes all;
      for (const auto x : *v) Append32(all, static_cast<std::uint32_t>(x));
      PutEntry(entries, tag, all.size());
      return storage.addStream(SubstgName(tag), std::move(all));
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
        storage.addStream(ValueStreamName(tag, i), std::move(utf16));
      }
      PutEntry(entries, tag, lengths.size());
      return storage.addStream(SubstgName(tag), std::move(lengths));
    }
    case PropType::MvBinary: {
      auto v = std::get_if<std::vector<Bytes>>(&value);
      if (!v) throw mismatch();
      Bytes lengths;
      for (std::size_t i = 0; i < v->size(); ++i) {
        Append32(lengths, static_cast<std::uint32_t>((*v)[i].size()));
        Append32(lengths, 0);
        storage.addStream(ValueStreamName(tag, i), (*v)[i]);
      }
      PutEntry(entries, tag, lengths.size());
      return storage.addStream(SubstgName(tag), std::move(lengths));
    }
    case PropType::Object:
      break;  // embedded messages are written by the message writer
  }
  char text[80];
  std::snprintf(text, sizeof text, "property 0x%08X has a type .msg files cannot hold", tag);
  throw Error(text);
}

}  // namespace

void WriteProperties(const PropertyBag& bag, const Amendments& amendments,
                     const NamedPropertyMap& names, const StreamHeader& header,
                     cfb::Storage& storage) {
  Bytes stream;
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
  const auto write = [&](std::uint32_t tag, const PropValue& value) {
    if (static_cast<PropType>(tag & 0xFFFF) == PropType::Object) {
      PutEntry(stream, tag, 0xFFFFFFFFu);  // an embedded message: its storage holds the value
    } else {
      WriteValue(tag, value, stream, storage);
    }
  };
  // Both maps are in tag order: merge them, the amendments winning.
  const auto& own = bag.tagged();
  const auto& added = amendments.added.tagged();
  auto a = own.begin();
  auto b = added.begin();
  const auto isDropped = [&](std::uint32_t tag) {
    return std::find(amendments.dropped.begin(), amendments.dropped.end(), tag) !=
           amendments.dropped.end();
  };
  while (a != own.end() || b != added.end()) {
    if (b == added.end() || (a != own.end() && a->first < b->first)) {
      if (!isDropped(a->first)) write(a->first, a->second);
      ++a;
    } else {
      if (a != own.end() && a->first == b->first) ++a;
      write(b->first, b->second);
      ++b;
    }
  }
  for (const auto& [name, value] : bag.named()) {
    const PropTag tag{names.idOf(name), name.type};
    WriteValue(tag.value(), value, stream, storage);
  }
  storage.addStream("__properties_version1.0", std::move(stream));
}

}  // namespace qc::mapi::msg
