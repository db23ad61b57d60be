#include "mapi/property.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

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

const PropValue* PropertyBag::find(PropTag tag) const {
  const auto it = tagged_.find(tag.value());
  return it == tagged_.end() ? nullptr : &it->second;
}

const PropValue* PropertyBag::findNamed(const NamedProp& name) const {
  const auto it = named_.find(name);
  return it == named_.end() ? nullptr : &it->second;
}

}  // namespace qc::mapi
