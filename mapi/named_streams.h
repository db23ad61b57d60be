// The streams in which a .msg file and a data file both keep their named-property map: the
// GUID stream (the property sets other than PS_MAPI and PS_PUBLIC_STRINGS), the entry stream
// (one NAMEID per name, in identifier order), the string stream (the string names, each after
// its length, on 4-byte boundaries) and the hash buckets that find an entry by its name. The two
// formats differ only in the number of buckets and where they put the streams.
#pragma once

#include <cstdint>
#include <map>

#include "mapi/named_ids.h"
#include "mapi/property.h"

namespace qc::mapi {

struct NamedPropertyStreams {
  Bytes guids;
  Bytes entries;
  Bytes strings;
  // Bucket number (the name's hash, or its number, folded with its GUID index and kind, modulo
  // the bucket count) to its entries; buckets no name falls into are absent.
  std::map<std::uint32_t, Bytes> buckets;
};

// The map's streams with `bucketCount` hash buckets (31 in a .msg file, 251 in a data file).
NamedPropertyStreams EncodeNamedProperties(const NamedIds& ids, std::uint32_t bucketCount);

}  // namespace qc::mapi
