#include "mapi/pst/ltp/property_value.h"

#include "mapi/little_endian.h"
#include "mapi/text.h"

namespace qc::mapi::pst {

namespace {

template <class T>
const T* As(const PropValue& value) {
  return std::get_if<T>(&value);
}

// PtypMultipleString / PtypMultipleBinary / PtypMultipleString8: ulCount, rgulDataOffsets,
// then the values, each appended by `put(i)`.
template <class Put>
void AppendMultiValue(Bytes& out, std::size_t count, const Put& put) {
  const std::size_t start = out.size();
  out.resize(start + 4 + 4 * count, 0);
  Put32(out.data() + start, static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    Put32(out.data() + start + 4 + 4 * i, static_cast<std::uint32_t>(out.size() - start));
    put(i);
  }
}

void AppendBytes(Bytes& out, const Bytes& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// A value the model keeps as MS-OXCDATA lays it out: one element, fixed-size elements side by
// side, or 8-bit strings behind a count and offsets.
bool AppendRaw(std::uint16_t type, const RawValue& raw, Bytes& out) {
  const auto t = static_cast<PropType>(type);
  if (!IsMultiValued(t)) {
    if (raw.values.size() != 1) return false;
    AppendBytes(out, raw.values.front());
  } else if (t == PropType::MvString8) {
    AppendMultiValue(out, raw.values.size(),
                     [&](std::size_t i) { AppendBytes(out, raw.values[i]); });
  } else {
    for (const Bytes& v : raw.values) AppendBytes(out, v);
  }
  return true;
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

bool AppendEncoded(std::uint16_t type, const PropValue& value, Bytes& out) {
  if (const auto* raw = As<RawValue>(value)) return AppendRaw(type, *raw, out);
  switch (static_cast<PropType>(type)) {
    case PropType::Int16:
      if (const auto* v = As<std::int16_t>(value)) {
        Append16(out, static_cast<std::uint16_t>(*v));
        return true;
      }
      break;
    case PropType::Int32:
      if (const auto* v = As<std::int32_t>(value)) {
        Append32(out, static_cast<std::uint32_t>(*v));
        return true;
      }
      break;
    case PropType::Boolean:
      if (const auto* v = As<bool>(value)) {
        out.push_back(*v ? 1 : 0);
        return true;
      }
      break;
    case PropType::Int64:
      if (const auto* v = As<std::int64_t>(value)) {
        Append64(out, static_cast<std::uint64_t>(*v));
        return true;
      }
      break;
    case PropType::Time:
      if (const auto* v = As<FileTime>(value)) {
        Append64(out, v->ticks);
        return true;
      }
      break;
    case PropType::Unicode:
      if (const auto* v = As<std::string>(value)) {
        AppendUtf16Le(out, *v);
        return true;
      }
      break;
    case PropType::Guid:
      if (const auto* v = As<Guid>(value)) {
        out.insert(out.end(), v->bytes.begin(), v->bytes.end());
        return true;
      }
      break;
    case PropType::Binary:
      if (const auto* v = As<Bytes>(value)) {
        AppendBytes(out, *v);
        return true;
      }
      break;
    case PropType::MvInt32:
      if (const auto* v = As<std::vector<std::int32_t>>(value)) {
        for (const std::int32_t i : *v) Append32(out, static_cast<std::uint32_t>(i));
        return true;
      }
      break;
    case PropType::MvUnicode:
      if (const auto* v = As<std::vector<std::string>>(value)) {
        AppendMultiValue(out, v->size(), [&](std::size_t i) { AppendUtf16Le(out, (*v)[i]); });
        return true;
      }
      break;
    case PropType::MvBinary:
      if (const auto* v = As<std::vector<Bytes>>(value)) {
        AppendMultiValue(out, v->size(), [&](std::size_t i) { AppendBytes(out, (*v)[i]); });
        return true;
      }
      break;
    default:
      break;
  }
  return false;  // the value does not have the tag's type
}

std::optional<Bytes> EncodeValue(std::uint16_t type, const PropValue& value) {
  Bytes out;
  if (!AppendEncoded(type, value, out)) return std::nullopt;
  return out;
}

std::uint32_t InPlaceValue(const Bytes& encoded) {
  std::uint8_t buffer[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < encoded.size() && i < 4; ++i) buffer[i] = encoded[i];
  return Get32(buffer);
}

}  // namespace qc::mapi::pst
