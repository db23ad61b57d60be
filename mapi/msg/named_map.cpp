#include "mapi/msg/named_map.h"

#include <cstdio>

#include "mapi/named_streams.h"

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
  NamedPropertyStreams streams = EncodeNamedProperties(ids_, kHashBuckets);
  map.addStream("__substg1.0_00020102", std::move(streams.guids));
  map.addStream("__substg1.0_00030102", std::move(streams.entries));
  map.addStream("__substg1.0_00040102", std::move(streams.strings));
  for (auto& [bucket, bytes] : streams.buckets)
    map.addStream(HashStreamName(bucket), std::move(bytes));
}

}  // namespace qc::mapi::msg
