#include "mapi/msg/named_map.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "mapi/little_endian.h"
#include "mapi/text.h"

namespace qc::mapi::msg {

namespace {

constexpr std::uint16_t kFirstNamedId = 0x8000;
constexpr std::uint32_t kHashBuckets = 0x1F;

std::string HashStreamName(std::uint32_t bucket) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%04X0102", 0x1000u + bucket);
  return name;
}

}  // namespace

std::uint32_t NameCrc(const Bytes& utf16le) {
  // The table-driven CRC-32 (polynomial 0xEDB88320) that MAPI also uses for its own hashes,
  // started at 0 and not inverted at the end.
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0;
  for (const std::uint8_t b : utf16le) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc;
}

NamedPropertyMap::NamedPropertyMap(const Message& message) {
  collect(message);
}

void NamedPropertyMap::collect(const PropertyBag& bag) {
  for (const auto& [name, value] : bag.named()) {
    if (ids_.contains(name)) continue;
    ids_.emplace(name, static_cast<std::uint16_t>(kFirstNamedId + order_.size()));
    order_.push_back(name);
    if (name.set != kPsMapi && name.set != kPsPublicStrings &&
        std::find(guids_.begin(), guids_.end(), name.set) == guids_.end()) {
      guids_.push_back(name.set);
    }
  }
}

void NamedPropertyMap::collect(const Message& message) {
  collect(message.props);
  for (const auto& r : message.recipients) collect(r.props);
  for (const auto& a : message.attachments) {
    collect(a.props);
    if (a.embedded) collect(*a.embedded);
  }
}

std::uint16_t NamedPropertyMap::guidIndex(const Guid& set) const {
  if (set == kPsMapi) return 1;
  if (set == kPsPublicStrings) return 2;
  return static_cast<std::uint16_t>(
      3 + (std::find(guids_.begin(), guids_.end(), set) - guids_.begin()));
}

void NamedPropertyMap::writeTo(cfb::Storage& root) const {
  cfb::Storage& map = root.addStorage("__nameid_version1.0");
  Bytes guidStream;
  for (const Guid& g : guids_) guidStream.insert(guidStream.end(), g.bytes.begin(), g.bytes.end());

  Bytes entryStream;
  Bytes stringStream;
  std::map<std::uint32_t, Bytes> buckets;
  for (std::size_t index = 0; index < order_.size(); ++index) {
    const NamedProp& name = order_[index];
    const bool isString = name.key.index() == 1;
    const std::uint32_t kindAndGuid =
        (std::uint32_t{guidIndex(name.set)} << 1) | (isString ? 1u : 0u);
    const std::uint32_t indexAndKind = (static_cast<std::uint32_t>(index) << 16) | kindAndGuid;
    std::uint32_t key = 0;   // name number, or where the name stands in the string stream
    std::uint32_t hash = 0;  // name number, or the CRC of the name
    if (isString) {
      const Bytes utf16 = Utf16LeBytes(std::get<std::string>(name.key));
      key = static_cast<std::uint32_t>(stringStream.size());
      hash = NameCrc(utf16);
      Append32(stringStream, static_cast<std::uint32_t>(utf16.size()));
      stringStream.insert(stringStream.end(), utf16.begin(), utf16.end());
      while (stringStream.size() % 4 != 0) stringStream.push_back(0);
    } else {
      key = std::get<std::uint32_t>(name.key);
      hash = key;
    }
    Append32(entryStream, key);
    Append32(entryStream, indexAndKind);
    Bytes& bucket = buckets[(hash ^ kindAndGuid) % kHashBuckets];
    Append32(bucket, hash);
    Append32(bucket, indexAndKind);
  }
  map.addStream("__substg1.0_00020102", std::move(guidStream));
  map.addStream("__substg1.0_00030102", std::move(entryStream));
  map.addStream("__substg1.0_00040102", std::move(stringStream));
  for (auto& [bucket, bytes] : buckets) map.addStream(HashStreamName(bucket), std::move(bytes));
}

}  // namespace qc::mapi::msg
