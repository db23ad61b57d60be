#include "mapi/named_streams.h"

#include "mapi/crc32.h"
#include "mapi/little_endian.h"
#include "mapi/text.h"

namespace qc::mapi {

NamedPropertyStreams EncodeNamedProperties(const NamedIds& ids, std::uint32_t bucketCount) {
  NamedPropertyStreams out;
  for (const Guid& g : ids.guids())
    out.guids.insert(out.guids.end(), g.bytes.begin(), g.bytes.end());
  for (std::size_t index = 0; index < ids.size(); ++index) {
    const NamedProp& name = ids.names()[index];
    const bool isString = name.isString();
    // NAMEID: the name's number or where its string stands, then the GUID index with the kind
    // bit below it, and the property index above.
    const std::uint32_t guidAndKind =
        (std::uint32_t{ids.guidIndex(name.set)} << 1) | (isString ? 1u : 0u);
    const std::uint32_t indexAndKind = (static_cast<std::uint32_t>(index) << 16) | guidAndKind;
    std::uint32_t key = 0;   // name number, or where the name stands in the string stream
    std::uint32_t hash = 0;  // name number, or the CRC of the name's UTF-16LE bytes
    if (isString) {
      const Bytes utf16 = Utf16LeBytes(name.name());
      key = static_cast<std::uint32_t>(out.strings.size());
      hash = Crc32(utf16.data(), utf16.size());
      Append32(out.strings, static_cast<std::uint32_t>(utf16.size()));
      out.strings.insert(out.strings.end(), utf16.begin(), utf16.end());
      while (out.strings.size() % 4 != 0) out.strings.push_back(0);
    } else {
      key = name.number();
      hash = key;
    }
    Append32(out.entries, key);
    Append32(out.entries, indexAndKind);
    Bytes& bucket = out.buckets[(hash ^ guidAndKind) % bucketCount];
    Append32(bucket, hash);
    Append32(bucket, indexAndKind);
  }
  return out;
}

}  // namespace qc::mapi
