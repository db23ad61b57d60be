#include "mapi/pst/property_value.h"

#include "mapi/little_endian.h"
#include "mapi/text.h"

namespace qc::mapi::pst {

namespace {

template <class T>
const T* As(const PropValue& value) {
  return std::get_if<T>(&value);
}

// UTF-16LE; most mail text is ASCII, which widens byte by byte.
Bytes Utf16Le(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return Utf16LeBytes(text);
  }
  Bytes out(2 * text.size(), 0);
  for (std::size_t i = 0; i < text.size(); ++i) out[2 * i] = static_cast<std::uint8_t>(text[i]);
  return out;
}

// PtypMultipleString / PtypMultipleBinary / PtypMultipleString8: ulCount, rgulDataOffsets,
// then the values.
Bytes VariableMultiValue(const std::vector<Bytes>& parts) {
  Bytes out;
  Append32(out, static_cast<std::uint32_t>(parts.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(4 + 4 * parts.size());
  for (const Bytes& part : parts) {
    Append32(out, offset);
    offset += static_cast<std::uint32_t>(part.size());
  }
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A value the model keeps as MS-OXCDATA lays it out: one element, fixed-size elements side by
// side, or 8-bit strings behind a count and offsets.
std::optional<Bytes> EncodeRaw(std::uint16_t type, const RawValue& raw) {
  const auto t = static_cast<PropType>(type);
  if (!IsMultiValued(t)) {
    if (raw.values.size() != 1) return std::nullopt;
    return raw.values.front();
  }
  if (t == PropType::MvString8) return VariableMultiValue(raw.values);
  Bytes out;
  for (const Bytes& v : raw.values) out.insert(out.end(), v.begin(), v.end());
  return out;
}

}  // namespace

std::uint8_t RowCellSize(std::uint16_t type) {
  switch (type) {
    case 0x0002:
      return 2;
    case 0x0003:
    case 0x0004:
    case 0x000A:
      return 4;
    case 0x000B:
      return 1;
    case 0x0005:
    case 0x0006:
    case 0x0007:
    case 0x0014:
    case 0x0040:
      return 8;
    default:
      return 0;
  }
}

bool StoredInPlace(std::uint16_t type) {
  const std::uint8_t size = RowCellSize(type);
  return size != 0 && size <= 4;
}

std::optional<Bytes> EncodeValue(std::uint16_t type, const PropValue& value) {
  if (const auto* raw = As<RawValue>(value)) return EncodeRaw(type, *raw);
  Bytes out;
  switch (static_cast<PropType>(type)) {
    case PropType::Int16:
      if (const auto* v = As<std::int16_t>(value)) Append16(out, static_cast<std::uint16_t>(*v));
      break;
    case PropType::Int32:
      if (const auto* v = As<std::int32_t>(value)) Append32(out, static_cast<std::uint32_t>(*v));
      break;
    case PropType::Boolean:
      if (const auto* v = As<bool>(value)) out.push_back(*v ? 1 : 0);
      break;
    case PropType::Int64:
      if (const auto* v = As<std::int64_t>(value)) Append64(out, static_cast<std::uint64_t>(*v));
      break;
    case PropType::Time:
      if (const auto* v = As<FileTime>(value)) Append64(out, v->ticks);
      break;
    case PropType::Unicode:
      if (const auto* v = As<std::string>(value)) return Utf16Le(*v);
      break;
    case PropType::Guid:
      if (const auto* v = As<Guid>(value)) out.assign(v->bytes.begin(), v->bytes.end());
      break;
    case PropType::Binary:
      if (const auto* v = As<Bytes>(value)) return *v;
      break;
    case PropType::MvInt32:
      if (const auto* v = As<std::vector<std::int32_t>>(value)) {
        for (const std::int32_t i : *v) Append32(out, static_cast<std::uint32_t>(i));
        return out;
      }
      break;
    case PropType::MvUnicode:
      if (const auto* v = As<std::vector<std::string>>(value)) {
        std::vector<Bytes> parts;
        for (const std::string& s : *v) parts.push_back(Utf16Le(s));
        return VariableMultiValue(parts);
      }
      break;
    case PropType::MvBinary:
      if (const auto* v = As<std::vector<Bytes>>(value)) return VariableMultiValue(*v);
      break;
    default:
      break;
  }
  if (out.empty()) return std::nullopt;  // the value does not have the tag's type
  return out;
}

std::uint32_t InPlaceValue(const Bytes& encoded) {
  std::uint8_t buffer[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < encoded.size() && i < 4; ++i) buffer[i] = encoded[i];
  return Get32(buffer);
}

}  // namespace qc::mapi::pst
