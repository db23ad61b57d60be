#include "mapi/pst/messaging/name_to_id_map.h"

#include <map>
#include <string>
#include <variant>

#include "mapi/crc32.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ltp/property_context.h"
#include "mapi/pst/ndb/node_database.h"
#include "mapi/pst/ndb/subnode_tree.h"
#include "mapi/text.h"

namespace qc::mapi::pst {

namespace {

constexpr std::uint32_t kBucketCount = 251;
constexpr std::uint16_t kFirstBucketProp = 0x1000;

const Guid kAppointment = Guid::Parse("00062002-0000-0000-C000-000000000046");
const Guid kInternetHeaders = Guid::Parse("00020386-0000-0000-C000-000000000046");
const Guid kCommon = Guid::Parse("00062008-0000-0000-C000-000000000046");
const Guid kMessaging = Guid::Parse("41F28F13-83F4-4114-A584-EEDB5A6B0BFF");
const Guid kUnknownSet = Guid::Parse("00062014-0000-0000-C000-000000000046");
const Guid kTask = Guid::Parse("00062003-0000-0000-C000-000000000046");

}  // namespace

void AddOutlookNames(NamedIds& ids) {
  const auto add = [&ids](const Guid& set, std::variant<std::uint32_t, std::string> key) {
    ids.assign(NamedProp{set, std::move(key)});
  };
  // What a new store of Outlook's already holds, in its order (0x8000 to 0x8022).
  for (const std::uint32_t lid :
       {0x8205u, 0x8223u, 0x8231u, 0x8216u, 0x820Du, 0x820Eu, 0x8235u, 0x8236u, 0x8233u}) {
    add(kAppointment, lid);
  }
  add(kInternetHeaders, std::string("content-class"));
  add(kPsPublicStrings, std::string("DRMLicense"));
  add(kInternetHeaders, std::string("x-cr-hashedpuzzle"));
  add(kInternetHeaders, std::string("x-cr-puzzleid"));
  add(kCommon, 0x8580u);
  add(kCommon, 0x8581u);
  add(kPsPublicStrings, std::string("urn:schemas-microsoft-com:office:outlook#storetypeprivate"));
  add(kCommon, 0x8510u);
  add(kCommon, 0x8578u);
  add(kMessaging, std::string("IsMentioned"));
  add(kPsPublicStrings, std::string("Keywords"));
  add(kUnknownSet, 0x8F05u);
  add(kCommon, 0x8514u);
  add(kUnknownSet, 0x8F07u);
  add(kCommon, 0x8503u);
  add(kCommon, 0x85A8u);
  add(kCommon, 0x8502u);
  add(kTask, 0x8104u);
  add(kTask, 0x8105u);
  add(kTask, 0x811Cu);
  add(kInternetHeaders, std::string("x-ms-exchange-organization-authdomain"));
  add(kPsPublicStrings, std::string("DoNotForward"));
  add(kCommon, 0x8570u);
  add(kTask, 0x8101u);
  add(kCommon, 0x85E0u);
  add(kCommon, 0x8552u);
}

void WriteNameToIdMap(const NamedIds& ids, NodeDatabase& db) {
  Bytes guidStream;
  for (const Guid& g : ids.guids()) {
    guidStream.insert(guidStream.end(), g.bytes.begin(), g.bytes.end());
  }
  Bytes entryStream;
  Bytes stringStream;
  std::map<std::uint32_t, Bytes> buckets;
  for (std::size_t index = 0; index < ids.names().size(); ++index) {
    const NamedProp& name = ids.names()[index];
    const bool isString = name.isString();
    // NAMEID: the property number or string offset, then wGuid (with the N bit) and wPropIdx.
    const std::uint32_t guidAndKind = (std::uint32_t{ids.guidIndex(name.set)} << 1) | isString;
    const std::uint32_t second = (static_cast<std::uint32_t>(index) << 16) | guidAndKind;
    std::uint32_t key = 0;
    std::uint32_t hash = 0;
    if (isString) {
      const Bytes utf16 = Utf16LeBytes(name.name());
      key = static_cast<std::uint32_t>(stringStream.size());
      hash = Crc32(utf16.data(), utf16.size());
      Append32(stringStream, static_cast<std::uint32_t>(utf16.size()));
      stringStream.insert(stringStream.end(), utf16.begin(), utf16.end());
      while (stringStream.size() % 4 != 0) stringStream.push_back(0);
    } else {
      key = name.number();
      hash = key;
    }
    Append32(entryStream, key);
    Append32(entryStream, second);
    Bytes& bucket = buckets[(hash ^ guidAndKind) % kBucketCount];
    Append32(bucket, hash);
    Append32(bucket, second);
  }
  SubnodeTree subnodes;
  PropertyContextWriter pc(db, subnodes);
  pc.setInt32(0x0001, static_cast<std::int32_t>(kBucketCount));
  const auto binary = static_cast<std::uint16_t>(PropType::Binary);
  pc.set(0x0002, binary, std::move(guidStream));
  pc.set(0x0003, binary, std::move(entryStream));
  pc.set(0x0004, binary, std::move(stringStream));
  for (auto& [bucket, bytes] : buckets) {
    pc.set(static_cast<std::uint16_t>(kFirstBucketProp + bucket), binary, std::move(bytes));
  }
  const std::uint64_t data = pc.write();
  db.addNode(nid::kNameToIdMap, data, subnodes.write(db), 0);
}

}  // namespace qc::mapi::pst
