#include "mapi/check/pst/messaging_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "mapi/check/pst/format_rules.h"
#include "mapi/little_endian.h"
#include "mapi/pst/format.h"

namespace qc::mapi::pst::check {

namespace {

constexpr int kMaxEmbedding = 64;  // deeper than any import makes

std::optional<std::uint32_t> Int32Of(const Properties& p, std::uint16_t id) {
  const auto it = p.find(id);
  if (it == p.end() || it->second.bytes.size() != 4) return std::nullopt;
  return Get32(it->second.bytes.data());
}

class MessagingCheck {
 public:
  MessagingCheck(const NodeDatabaseReader& ndb, Findings& findings, Summary& summary)
      : ndb_(ndb), findings_(findings), ltp_(ndb, findings), summary_(summary) {}

  void run() {
    checkMandatoryNodes();
    checkStore();
    checkNameToIdMap();
    for (const auto& [nid, node] : ndb_.nodes()) {
      const std::uint8_t type = NidType(nid);
      if (type == nid_type::kNormalFolder) checkFolder(node);
      if (type == nid_type::kSearchFolder) checkSearchFolder(node);
    }
    for (const auto& [nid, node] : ndb_.nodes()) {
      if (NidType(nid) != nid_type::kNormalMessage) continue;
      const auto parent = ndb_.nodes().find(node.parent);
      if (parent == ndb_.nodes().end() || NidType(node.parent) != nid_type::kNormalFolder) {
        findings_.add(Fault::kMessage, "message " + Hex(nid) + " is in no folder");
      }
    }
  }

 private:
  const NodeInfo* node(std::uint32_t nid) const {
    const auto it = ndb_.nodes().find(nid);
    return it == ndb_.nodes().end() ? nullptr : &it->second;
  }

  std::optional<Properties> pcOf(const NodeInfo& n, const std::string& where) {
    const auto subs = ndb_.subnodes(n.bidSub);
    if (!subs) {
      findings_.add(Fault::kSubnodeTree, where + ": its subnodes cannot be read");
      return std::nullopt;
    }
    return ltp_.propertyContext(n.bidData, *subs, where);
  }

  std::optional<Table> tcOf(std::uint32_t nid, const std::string& where) {
    const NodeInfo* n = node(nid);
    if (!n) {
      findings_.add(Fault::kMandatoryNode, where + ": node " + Hex(nid) + " missing");
      return std::nullopt;
    }
    const auto subs = ndb_.subnodes(n->bidSub);
    if (!subs) {
      findings_.add(Fault::kSubnodeTree, where + ": its subnodes cannot be read");
      return std::nullopt;
    }
    return ltp_.tableContext(n->bidData, *subs, where);
  }

  void checkMandatoryNodes() {
    for (const std::uint32_t nid :
         {nid::kMessageStore, nid::kNameToIdMap, nid::kRootFolder, 0x12Du, 0x12Eu, 0x12Fu,
          nid::kSearchManagementQueue, nid::kSearchActivityList, nid::kHierarchyTableTemplate,
          nid::kContentsTableTemplate, nid::kAssocContentsTableTemplate,
          nid::kSearchContentsTableTemplate, nid::kAttachmentTable, nid::kRecipientTable}) {
      if (!node(nid)) findings_.add(Fault::kMandatoryNode, "node " + Hex(nid) + " missing");
    }
    for (const std::uint32_t nid :
         {nid::kHierarchyTableTemplate, nid::kContentsTableTemplate,
          nid::kAssocContentsTableTemplate, nid::kSearchContentsTableTemplate,
          nid::kAttachmentTable, nid::kRecipientTable}) {
      if (node(nid)) tcOf(nid, "template " + Hex(nid));
    }
  }

  // The message store: its record key, and entry IDs that name folders of this store.
  void checkStore() {
    const NodeInfo* n = node(nid::kMessageStore);
    if (!n) return;
    const auto props = pcOf(*n, "message store");
    if (!props) return;
    const auto key = props->find(0x0FF9);
    if (key == props->end() || key->second.bytes.size() != 16) {
      findings_.add(Fault::kStore, "PR_RECORD_KEY missing or not 16 bytes");
      return;
    }
    if (!props->contains(0x3001)) findings_.add(Fault::kStore, "PR_DISPLAY_NAME missing");
    for (const std::uint16_t id :
         {std::uint16_t{0x35E0}, std::uint16_t{0x35E3}, std::uint16_t{0x35E7}}) {
      const auto e = props->find(id);
      if (e == props->end()) {
        findings_.add(Fault::kStore, "entry ID " + Hex(id) + " missing");
        continue;
      }
      const Bytes& b = e->second.bytes;
      if (b.size() != 24 || Get32(b.data()) != 0 ||
          !std::equal(b.begin() + 4, b.begin() + 20, key->second.bytes.begin())) {
        findings_.add(Fault::kStore, "entry ID " + Hex(id) + " is not of this store");
        continue;
      }
      const std::uint32_t target = Get32(b.data() + 20);
      if (!node(target) || NidType(target) != nid_type::kNormalFolder) {
        findings_.add(Fault::kStore, "entry ID " + Hex(id) + " names no folder");
      }
    }
    if (!props->contains(0x35DF)) findings_.add(Fault::kStore, "PR_VALID_FOLDER_MASK missing");
  }

  // NAMEID entries, their GUID indexes and strings, and the hash buckets that index them.
  void checkNameToIdMap() {
    const NodeInfo* n = node(nid::kNameToIdMap);
    if (!n) return;
    const auto props = pcOf(*n, "Name-to-ID map");
    if (!props) return;
    const auto buckets = Int32Of(*props, 0x0001);
    const auto g = props->find(0x0002), e = props->find(0x0003), s = props->find(0x0004);
    if (!buckets || *buckets == 0 || g == props->end() || e == props->end() || s == props->end() ||
        g->second.bytes.size() % 16 || e->second.bytes.size() % 8) {
      findings_.add(Fault::kNameToIdMap, "bucket count or streams missing or misshapen");
      return;
    }
    const Bytes& entries = e->second.bytes;
    const Bytes& strings = s->second.bytes;
    const std::size_t guids = g->second.bytes.size() / 16;
    std::map<std::uint32_t, std::set<std::uint64_t>> expected;
    for (std::size_t i = 0; i < entries.size(); i += 8) {
      std::uint32_t key = Get32(entries.data() + i);
      const std::uint16_t guidKind = Get16(entries.data() + i + 4);
      const std::uint16_t index = Get16(entries.data() + i + 6);
      const std::string where = "named property " + Hex(0x8000 + i / 8);
      if (index != i / 8) findings_.add(Fault::kNameToIdMap, where + ": wPropIdx " + Hex(index));
      const std::size_t guid = guidKind >> 1;
      if (guid == 0 || guid > 2 + guids) {
        findings_.add(Fault::kNameToIdMap, where + ": GUID index " + std::to_string(guid));
      }
      if (guidKind & 1) {
        if (key + 4ull > strings.size() || key % 4 != 0 ||
            key + 4ull + Get32(strings.data() + key) > strings.size()) {
          findings_.add(Fault::kNameToIdMap, where + ": string outside the string stream");
          continue;
        }
        key = Crc32(strings.data() + key + 4, Get32(strings.data() + key));
      }
      expected[(key ^ guidKind) % *buckets].insert((std::uint64_t{key} << 32) |
                                                   Get32(entries.data() + i + 4));
    }
    for (std::uint32_t bucket = 0; bucket < *buckets && bucket < 0x10000; ++bucket) {
      const auto it = props->find(static_cast<std::uint16_t>(0x1000 + bucket));
      std::set<std::uint64_t> found;
      if (it != props->end()) {
        for (std::size_t i = 0; i + 8 <= it->second.bytes.size(); i += 8) {
          found.insert((std::uint64_t{Get32(it->second.bytes.data() + i)} << 32) |
                       Get32(it->second.bytes.data() + i + 4));
        }
      }
      if (found != expected[bucket]) {
        findings_.add(Fault::kNameToIdMap, "hash bucket " + Hex(0x1000 + bucket));
      }
    }
  }

  // A folder's context and tables against the nodes that name it as parent.
  void checkFolder(const NodeInfo& f) {
    ++summary_.folders;
    const std::string where = "folder " + Hex(f.nid);
    const auto props = pcOf(f, where);
    if (!props) return;
    if (!props->contains(0x3001)) findings_.add(Fault::kFolder, where + ": no display name");
    std::vector<std::uint32_t> children, messages;
    for (const auto& [nid, n] : ndb_.nodes()) {
      if (n.parent != f.nid || nid == f.nid) continue;
      const std::uint8_t t = NidType(nid);
      if (t == nid_type::kNormalFolder || t == nid_type::kSearchFolder) children.push_back(nid);
      if (t == nid_type::kNormalMessage) messages.push_back(nid);
    }
    const std::uint32_t index = NidIndex(f.nid);
    if (const auto h = tcOf(MakeNid(nid_type::kHierarchyTable, index), where + " hierarchy")) {
      checkRowsNameNodes(*h, children, where + " hierarchy table");
      for (const auto& row : h->rows) checkHierarchyRow(row, where);
    }
    if (const auto c = tcOf(MakeNid(nid_type::kContentsTable, index), where + " contents")) {
      checkRowsNameNodes(*c, messages, where + " contents table");
      std::uint32_t unread = 0;
      for (const auto& row : c->rows) {
        const auto flags = row.find(0x0E070003);
        if (flags == row.end() || !(Get32(flags->second.data()) & 0x01)) ++unread;
      }
      if (Int32Of(*props, 0x3603) != unread) {
        findings_.add(Fault::kFolder, where + ": unread count is not " + std::to_string(unread));
      }
    }
    tcOf(MakeNid(nid_type::kAssocContentsTable, index), where + " associated contents");
    if (Int32Of(*props, 0x3602) != messages.size()) {
      findings_.add(Fault::kFolder,
                    where + ": content count is not " + std::to_string(messages.size()));
    }
    const auto sub = props->find(0x360A);
    if (sub == props->end() || sub->second.bytes.empty() ||
        (sub->second.bytes[0] != 0) != !children.empty()) {
      findings_.add(Fault::kFolder, where + ": PR_SUBFOLDERS is not " +
                                        std::string(children.empty() ? "false" : "true"));
    }
    for (const std::uint32_t m : messages) {
      ++summary_.messages;
      checkMessage(*node(m), "message " + Hex(m), 0);
    }
  }

  void checkSearchFolder(const NodeInfo& f) {
    const std::string where = "search folder " + Hex(f.nid);
    if (!pcOf(f, where)) return;
    tcOf(MakeNid(nid_type::kSearchContentsTable, NidIndex(f.nid)), where + " contents");
  }

  void checkRowsNameNodes(const Table& t, std::vector<std::uint32_t> nodes,
                          const std::string& where) {
    std::vector<std::uint32_t> ids;
    for (const auto& row : t.rows) {
      const auto it = row.find(0x67F20003);
      if (it != row.end()) ids.push_back(Get32(it->second.data()));
    }
    std::sort(ids.begin(), ids.end());
    std::sort(nodes.begin(), nodes.end());
    if (ids != nodes) {
      findings_.add(Fault::kFolder, where + ": " + std::to_string(ids.size()) + " rows for " +
                                        std::to_string(nodes.size()) + " nodes");
    }
  }

  // A subfolder's row carries the subfolder's own name and counts.
  void checkHierarchyRow(const std::map<std::uint32_t, Bytes>& row, const std::string& where) {
    const auto id = row.find(0x67F20003);
    const NodeInfo* child = id == row.end() ? nullptr : node(Get32(id->second.data()));
    if (!child) return;
    const auto props = pcOf(*child, "folder " + Hex(child->nid));
    if (!props) return;
    for (const std::uint32_t pid : {0x3001u, 0x3602u, 0x3603u, 0x360Au}) {
      const auto cell = std::find_if(row.begin(), row.end(),
                                     [pid](const auto& c) { return (c.first >> 16) == pid; });
      const auto prop = props->find(static_cast<std::uint16_t>(pid));
      if (cell == row.end() || prop == props->end()) continue;
      if (cell->second != prop->second.bytes) {
        findings_.add(Fault::kFolder, where + " hierarchy row of " + Hex(child->nid) +
                                          ": property " + Hex(pid) + " differs");
      }
    }
  }

  // A message's tables against its subnodes; embedded messages in turn.
  void checkMessage(const NodeInfo& m, const std::string& where, int depth) {
    checkMessageNode(m.bidData, m.bidSub, where, depth);
  }

  void checkMessageNode(std::uint64_t bidData, std::uint64_t bidSub, const std::string& where,
                        int depth) {
    if (depth > kMaxEmbedding) {
      findings_.add(Fault::kMessage, where + ": embedded too deep");
      return;
    }
    const auto subs = ndb_.subnodes(bidSub);
    if (!subs) {
      findings_.add(Fault::kSubnodeTree, where + ": its subnodes cannot be read");
      return;
    }
    const auto props = ltp_.propertyContext(bidData, *subs, where);
    if (!props) return;
    if (!props->contains(0x001A)) findings_.add(Fault::kMessage, where + ": no message class");
    const auto recipients = subs->find(nid::kRecipientTable);
    if (recipients == subs->end()) {
      findings_.add(Fault::kMessage, where + ": no recipient table");
    } else if (const auto innerSubs = ndb_.subnodes(recipients->second.bidSub)) {
      ltp_.tableContext(recipients->second.bidData, *innerSubs, where + " recipients");
    }
    std::vector<std::uint32_t> attachments;
    for (const auto& [nid, s] : *subs) {
      if (NidType(nid) == nid_type::kAttachment) attachments.push_back(nid);
    }
    const auto table = subs->find(nid::kAttachmentTable);
    const auto flags = Int32Of(*props, 0x0E07);
    const bool flagged = flags && (*flags & 0x10);
    if (flagged != !attachments.empty()) {
      findings_.add(Fault::kMessage, where + ": has-attachments flag disagrees with " +
                                         std::to_string(attachments.size()) + " attachments");
    }
    if (table == subs->end()) {
      if (!attachments.empty()) findings_.add(Fault::kMessage, where + ": no attachment table");
      return;
    }
    const auto innerSubs = ndb_.subnodes(table->second.bidSub);
    if (!innerSubs) return;
    const auto t = ltp_.tableContext(table->second.bidData, *innerSubs, where + " attachments");
    if (t) checkRowsNameNodes(*t, attachments, where + " attachment table");
    for (const std::uint32_t a : attachments) {
      const auto& s = subs->at(a);
      const std::string at = where + " attachment " + Hex(a);
      const auto attachSubs = ndb_.subnodes(s.bidSub);
      if (!attachSubs) {
        findings_.add(Fault::kSubnodeTree, at + ": its subnodes cannot be read");
        continue;
      }
      const auto ap = ltp_.propertyContext(s.bidData, *attachSubs, at);
      if (!ap) continue;
      const auto method = Int32Of(*ap, 0x3705);
      const auto data = ap->find(0x3701);
      if (method == 5) {
        if (data == ap->end() || data->second.type != 0x000D) {
          findings_.add(Fault::kMessage, at + ": embedded message without its object");
          continue;
        }
        const std::uint32_t inner = Get32(data->second.bytes.data());
        const auto it = attachSubs->find(inner);
        if (it == attachSubs->end() || NidType(inner) != nid_type::kNormalMessage) {
          findings_.add(Fault::kMessage, at + ": embedded message " + Hex(inner) + " missing");
          continue;
        }
        checkMessageNode(it->second.bidData, it->second.bidSub, at + " message", depth + 1);
      }
    }
  }

  const NodeDatabaseReader& ndb_;
  Findings& findings_;
  LtpReader ltp_;
  Summary& summary_;
};

}  // namespace

void CheckMessaging(const NodeDatabaseReader& ndb, Findings& findings, Summary& summary) {
  MessagingCheck(ndb, findings, summary).run();
}

}  // namespace qc::mapi::pst::check
