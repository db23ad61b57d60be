#include "mapi/msg/named_map.h"

#include <cstdio>
#include <map>

#include "mapi/little_endian.h"
#include "mapi/text.h"

namespace qc::mapi::msg {

namespace {

constexpr std::uint32_t kHashBuckets = 0x1F;

std::string HashStreamName(std::uint32_t bucket) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%04X0102", 0x1000u + bucket);
  return name;
}

}  // namespace

void NamedPropertyMap::writeTo(cfb::Storage& root) const {
  cfb::Storage& map = root.addStorage("__nameid_version1.0");
  Bytes guidStream;
  for (const Guid& g : ids_.guids())
    guidStream.insert(guidStream.end(), g.bytes.begin(), g.bytes.end());

  Bytes entryStream;
  Bytes stringStream;
  std::map<std::uint32_t, Bytes> buckets;
  for (std::size_t index = 0; index < ids_.size(); ++index) {
    const NamedProp& name = ids_.names()[index];
    const bool isString = name.isString();
    const std::uint32_t kindAndGuid =
        (std::uint32_t{ids_.guidIndex(name.set)} << 1) | (isString ? 1u : 0u);
    const std::uint32_t indexAndKind = (static_cast<std::uint32_t>(index) << 16) | kindAndGuid;
    std::uint32_t key = 0;   // name number, or where the name stands in the string stream
    std::uint32_t hash = 0;  // name number, or the CRC of the name
    if (isString) {
      const Bytes utf16 = Utf16LeBytes(name.name());
      key = static_cast<std::uint32_t>(stringStream.size());
      hash = NameCrc(utf16);
      Append32(stringStream, static_cast<std::uint32_t>(utf16.size()));
      stringStream.insert(stringStream.end(), utf16.begin(), utf16.end());
      while (stringStream.size() % 4 != 0) stringStream.push_back(0);
    } else {
      key = name.number();
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
