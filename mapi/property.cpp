#include "mapi/property.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "util/error.h"

namespace qc::mapi {

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::invalid_argument("not a GUID");
}
}  // namespace

Guid Guid::Parse(std::string_view text) {
  // Data1 (4 bytes), Data2 (2), Data3 (2) are stored little-endian; Data4 (8) as written.
  std::string hex;
  for (char c : text) {
    if (c != '-' && c != '{' && c != '}') hex += c;
  }
  if (hex.size() != 32) throw std::invalid_argument("not a GUID: " + std::string(text));
  std::array<std::uint8_t, 16> raw{};
  for (std::size_t i = 0; i < 16; ++i) {
    raw[i] = static_cast<std::uint8_t>(HexDigit(hex[2 * i]) * 16 + HexDigit(hex[2 * i + 1]));
  }
  Guid g;
  g.bytes = raw;
  std::reverse(g.bytes.begin(), g.bytes.begin() + 4);
  std::reverse(g.bytes.begin() + 4, g.bytes.begin() + 6);
  std::reverse(g.bytes.begin() + 6, g.bytes.begin() + 8);
  return g;
}

std::size_t MemorySource::read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const {
  if (offset >= bytes_.size()) return 0;
  const std::size_t count = std::min<std::uint64_t>(n, bytes_.size() - offset);
  std::memcpy(out, bytes_.data() + offset, count);
  return count;
}

std::optional<std::size_t> ValueSize(PropType t) {
  switch (t) {
    case PropType::Boolean:
      return 1;
    case PropType::Int16:
    case PropType::MvInt16:
      return 2;
    case PropType::Int32:
    case PropType::MvInt32:
    case PropType::Float32:
    case PropType::MvFloat32:
    case PropType::Error:
      return 4;
    case PropType::Float64:
    case PropType::MvFloat64:
    case PropType::Currency:
    case PropType::MvCurrency:
    case PropType::AppTime:
    case PropType::MvAppTime:
    case PropType::Int64:
    case PropType::MvInt64:
    case PropType::Time:
    case PropType::MvTime:
      return 8;
    case PropType::Guid:
    case PropType::MvGuid:
      return 16;
    case PropType::Object:
    case PropType::String8:
    case PropType::MvString8:
    case PropType::Unicode:
    case PropType::MvUnicode:
    case PropType::Binary:
    case PropType::MvBinary:
      return 0;
  }
  return std::nullopt;
}

std::string HexTag(PropTag tag) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", tag.value());
  return text;
}

namespace {

// Why a raw value does not fit `type`, or nothing when it does.
std::optional<std::string> RawMisfit(PropType type, const PropValue& value) {
  const std::optional<std::size_t> size = ValueSize(type);
  if (!size) return "the model does not hold properties of this type";
  const auto* raw = std::get_if<RawValue>(&value);
  if (raw == nullptr) return "a value of this type is held as raw bytes";
  if (!IsMultiValued(type) && raw->values.size() != 1) {
    return "a single-valued property holds " + std::to_string(raw->values.size()) + " values";
  }
  for (const Bytes& v : raw->values) {
    if (*size != 0 && v.size() != *size) {
      return "a value of " + std::to_string(v.size()) + " bytes where the type has " +
             std::to_string(*size);
    }
  }
  return std::nullopt;
}

// Why `value` cannot be held under `type`, or nothing when it can.
std::optional<std::string> Misfit(PropType type, const PropValue& value) {
  bool fits = false;
  switch (type) {
    case PropType::Int16:
      fits = std::holds_alternative<std::int16_t>(value);
      break;
    case PropType::Int32:
      fits = std::holds_alternative<std::int32_t>(value);
      break;
    case PropType::Boolean:
      fits = std::holds_alternative<bool>(value);
      break;
    case PropType::Int64:
      fits = std::holds_alternative<std::int64_t>(value);
      break;
    case PropType::Binary:
    case PropType::Unicode:
      if (const auto* source = std::get_if<std::shared_ptr<const ByteSource>>(&value)) {
        if (*source == nullptr) return "the value has no data source";
        fits = true;
      } else {
        fits = type == PropType::Binary ? std::holds_alternative<Bytes>(value)
                                        : std::holds_alternative<std::string>(value);
      }
      break;
    case PropType::Time:
      fits = std::holds_alternative<FileTime>(value);
      break;
    case PropType::Guid:
      fits = std::holds_alternative<Guid>(value);
      break;
    case PropType::Object:
      fits = std::holds_alternative<ObjectValue>(value);
      break;
    case PropType::MvInt32:
      fits = std::holds_alternative<std::vector<std::int32_t>>(value);
      break;
    case PropType::MvUnicode:
      fits = std::holds_alternative<std::vector<std::string>>(value);
      break;
    case PropType::MvBinary:
      fits = std::holds_alternative<std::vector<Bytes>>(value);
      break;
    default:
      return RawMisfit(type, value);
  }
  return fits ? std::nullopt : std::optional<std::string>("the value is not of its type");
}

}  // namespace

void PropertyBag::set(PropTag tag, PropValue value) {
  if (tag.id >= kFirstNamedId) {
    throw Error("cannot set property " + HexTag(tag) +
                ": its identifier lies in the named range; named properties are set by name");
  }
  if (const auto problem = Misfit(tag.type, value)) {
    throw Error("cannot set property " + HexTag(tag) + ": " + *problem);
  }
  const auto it = tagged_.lower_bound(tag.id);
  if (it == tagged_.end() || it->first != tag.id) {
    tagged_.emplace_hint(it, tag.id, Property{tag.type, std::move(value)});
    return;
  }
  if (it->second.type != tag.type) {
    throw Error("cannot set property " + HexTag(tag) + ": the bag holds it as " +
                HexTag({tag.id, it->second.type}));
  }
  it->second.value = std::move(value);
}

void PropertyBag::setNamed(const NamedProp& name, PropType type, PropValue value) {
  const auto text = [&] {
    return name.isString() ? "\"" + name.name() + "\"" : std::to_string(name.number());
  };
  if (const auto problem = Misfit(type, value)) {
    throw Error("cannot set the named property " + text() + ": " + *problem);
  }
  const auto [it, added] = named_.try_emplace(name, Property{type, {}});
  if (!added && it->second.type != type) {
    char types[48];
    std::snprintf(types, sizeof types, "0x%04X, not 0x%04X", static_cast<unsigned>(it->second.type),
                  static_cast<unsigned>(type));
    throw Error("cannot set the named property " + text() + ": the bag holds it as type " + types);
  }
  it->second.value = std::move(value);
}

const PropValue* PropertyBag::find(PropTag tag) const {
  const auto it = tagged_.find(tag.id);
  return it == tagged_.end() || it->second.type != tag.type ? nullptr : &it->second.value;
}

const Property* PropertyBag::findId(std::uint16_t id) const {
  const auto it = tagged_.find(id);
  return it == tagged_.end() ? nullptr : &it->second;
}

const Property* PropertyBag::findNamed(const NamedProp& name) const {
  const auto it = named_.find(name);
  return it == named_.end() ? nullptr : &it->second;
}

}  // namespace qc::mapi
