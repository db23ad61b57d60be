#include "mapi/pst/messaging/name_to_id_map.h"

#include <string>
#include <variant>

#include "mapi/named_streams.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ltp/property_context.h"
#include "mapi/pst/ndb/node_database.h"
#include "mapi/pst/ndb/subnode_tree.h"

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
  NamedPropertyStreams streams = EncodeNamedProperties(ids, kBucketCount);
  SubnodeTree subnodes;
  PropertyContextWriter pc(db, subnodes);
  pc.setInt32(0x0001, static_cast<std::int32_t>(kBucketCount));
  const auto binary = static_cast<std::uint16_t>(PropType::Binary);
  pc.set(0x0002, binary, std::move(streams.guids));
  pc.set(0x0003, binary, std::move(streams.entries));
  pc.set(0x0004, binary, std::move(streams.strings));
  for (auto& [bucket, bytes] : streams.buckets) {
    pc.set(static_cast<std::uint16_t>(kFirstBucketProp + bucket), binary, std::move(bytes));
  }
  const std::uint64_t data = pc.write();
  db.addNode(nid::kNameToIdMap, data, subnodes.write(db), 0);
}

}  // namespace qc::mapi::pst
