#include "mapi/check/msg/msg_checker.h"

#include <cstdio>
#include <map>
#include <set>

#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/check/crc.h"
#include "mapi/little_endian.h"

namespace qc::mapi::msg {

namespace {

std::string Join(const std::string& parent, const std::string& name) {
  return parent == "/" ? "/" + name : parent + "/" + name;
}

std::string Hex8(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", v);
  return text;
}

bool IsVariable(PropType t) {
  return t == PropType::Unicode || t == PropType::Binary || t == PropType::Guid ||
         IsMultiValued(t) || t == PropType::Object;
}

class Checker {
 public:
  explicit Checker(const cfb::ReadResult& file) : file_(file) {
    for (const auto& e : file.entries) entries_[e.path] = &e;
  }

  std::vector<std::string> run() {
    const auto root = entries_.find("/");
    if (root == entries_.end()) return {"no root storage"};
    if (root->second->clsid != Guid::Parse("00020D0B-0000-0000-C000-000000000046")) {
      defect("/", "the root's CLSID is not that of a message");
    }
    checkNameMap();
    checkMessage("/", true);
    return defects_;
  }

 private:
  void defect(const std::string& where, const std::string& what) {
    defects_.push_back(where + ": " + what);
  }

  const Bytes* stream(const std::string& path) const {
    const auto it = file_.streams.find(path);
    return it == file_.streams.end() ? nullptr : &it->second;
  }

  std::vector<std::string> children(const std::string& parent, bool storages) const {
    std::vector<std::string> names;
    const std::string prefix = parent == "/" ? "/" : parent + "/";
    for (const auto& e : file_.entries) {
      if (e.path.size() <= prefix.size() || e.path.compare(0, prefix.size(), prefix) != 0) continue;
      const std::string rest = e.path.substr(prefix.size());
      if (rest.find('/') == std::string::npos && e.isStorage == storages) names.push_back(rest);
    }
    return names;
  }

  // Checks one property stream and its value streams; returns the tags found.
  std::map<std::uint32_t, std::uint64_t> checkProperties(const std::string& path,
                                                         std::size_t headerSize,
                                                         std::uint32_t* recipients,
                                                         std::uint32_t* attachments) {
    std::map<std::uint32_t, std::uint64_t> found;
    const Bytes* props = stream(Join(path, "__properties_version1.0"));
    if (!props) {
      defect(path, "no __properties_version1.0 stream");
      return found;
    }
    if (props->size() < headerSize || (props->size() - headerSize) % 16 != 0) {
      defect(path, "the property stream's size " + std::to_string(props->size()) +
                       " does not fit a " + std::to_string(headerSize) +
                       "-byte header and entries");
      return found;
    }
    if (recipients) *recipients = Get32(props->data() + 16);
    if (attachments) *attachments = Get32(props->data() + 20);
    if (headerSize >= 24 && (Get32(props->data() + 8) < Get32(props->data() + 16) ||
                             Get32(props->data() + 12) < Get32(props->data() + 20))) {
      defect(path, "a next recipient or attachment ID is below the count");
    }
    std::set<std::string> expected;
    std::set<std::uint32_t> ids;
    for (std::size_t at = headerSize; at < props->size(); at += 16) {
      const std::uint32_t tag = Get32(props->data() + at);
      const std::uint64_t value = Get64(props->data() + at + 8);
      const auto type = static_cast<PropType>(tag & 0xFFFF);
      if (found.contains(tag)) {
        defect(path, "property " + Hex8(tag) + " appears twice");
      } else if (!ids.insert(tag >> 16).second) {
        defect(path, "property " + Hex8(tag) + ": its identifier appears under two types");
      }
      found[tag] = value;
      if ((tag & 0xFFFF) == 0x001E || (tag & 0xFFFF) == 0x101E) {
        defect(path, "property " + Hex8(tag) + " is an 8-bit string; all strings must be Unicode");
      }
      if ((tag >> 16) >= 0x8000 && !namedIds_.contains(tag >> 16)) {
        defect(path, "named property " + Hex8(tag) + " has no entry in the name map");
      }
      const std::optional<std::size_t> valueSize = ValueSize(type);
      if (!valueSize) {
        defect(path, "property " + Hex8(tag) + " has a type no .msg file holds");
        continue;
      }
      if (!IsVariable(type)) {
        // What lies past a fixed-size value in its 8 bytes must be zero.
        if (*valueSize < 8 && (value >> (8 * *valueSize)) != 0) {
          defect(path, "property " + Hex8(tag) + " has bits set past its " +
                           std::to_string(*valueSize) + "-byte value");
        }
        continue;
      }
      const std::string name = "__substg1.0_" + Hex8(tag);
      if (type == PropType::Object) {
        if ((value & 0xFFFFFFFFu) != 0xFFFFFFFFu)
          defect(path, "object property " + Hex8(tag) + " has a size");
        if (!entries_.contains(Join(path, name))) defect(path, "no storage for " + Hex8(tag));
        expected.insert(name);
        continue;
      }
      expected.insert(name);
      const Bytes* v = stream(Join(path, name));
      if (!v) {
        defect(path, "no value stream for " + Hex8(tag));
        continue;
      }
      const std::uint64_t size = value & 0xFFFFFFFFu;
      const std::uint64_t want = type == PropType::Unicode ? v->size() + 2 : v->size();
      if (size != want) {
        defect(path, "property " + Hex8(tag) + " says " + std::to_string(size) +
                         " bytes, its stream holds " + std::to_string(v->size()));
      }
      if (type == PropType::Unicode && v->size() % 2 != 0) {
        defect(path, "string " + Hex8(tag) + " has an odd number of bytes");
      }
      if (type == PropType::Guid && v->size() != 16) {
        defect(path, "GUID " + Hex8(tag) + " has " + std::to_string(v->size()) + " bytes");
      }
      if (IsMultiValued(type) && *valueSize != 0 && v->size() % *valueSize != 0) {
        defect(path, "property " + Hex8(tag) + " holds " + std::to_string(v->size()) +
                         " bytes, not a whole number of " + std::to_string(*valueSize) +
                         "-byte values");
      }
      if (type == PropType::MvUnicode || type == PropType::MvString8 ||
          type == PropType::MvBinary) {
        const std::size_t step = type == PropType::MvBinary ? 8 : 4;
        for (std::size_t i = 0; i * step < v->size(); ++i) {
          const std::string valueName = name + "-" + Hex8(static_cast<std::uint32_t>(i));
          expected.insert(valueName);
          const Bytes* item = stream(Join(path, valueName));
          if (!item || item->size() != Get32(v->data() + i * step)) {
            defect(path, "value " + std::to_string(i) + " of " + Hex8(tag) +
                             " is missing or of another size");
          }
        }
      }
    }
    for (const auto& s : children(path, false)) {
      if (s.rfind("__substg1.0_", 0) == 0 && !expected.contains(s)) {
        defect(path, "stream " + s + " belongs to no property");
      }
    }
    return found;
  }

  void checkNumbered(const std::string& path, const std::string& prefix, std::uint32_t count) {
    std::uint32_t seen = 0;
    for (const auto& s : children(path, true)) {
      if (s.rfind(prefix, 0) != 0) continue;
      if (s != prefix + Hex8(seen)) defect(path, "storage " + s + " is out of sequence");
      ++seen;
    }
    if (seen != count) {
      defect(path, "the header counts " + std::to_string(count) + " " + prefix +
                       " storages, there are " + std::to_string(seen));
    }
  }

  void checkMessage(const std::string& path, bool topLevel) {
    std::uint32_t recipients = 0;
    std::uint32_t attachments = 0;
    const auto props = checkProperties(path, topLevel ? 32 : 24, &recipients, &attachments);
    for (const PropTag required : {tags::PR_MESSAGE_CLASS_W, tags::PR_BODY_W}) {
      if (!props.contains(required.value()))
        defect(path, "required property " + Hex8(required.value()) + " is missing");
    }
    if (topLevel) {
      const auto mask = props.find(tags::PR_STORE_SUPPORT_MASK.value());
      if (mask == props.end() || (mask->second & 0x00040000u) == 0) {
        defect(path, "the store support mask does not declare Unicode strings");
      }
    }
    checkNumbered(path, "__recip_version1.0_#", recipients);
    checkNumbered(path, "__attach_version1.0_#", attachments);
    for (std::uint32_t i = 0; i < recipients; ++i) {
      checkProperties(Join(path, "__recip_version1.0_#" + Hex8(i)), 8, nullptr, nullptr);
    }
    for (std::uint32_t i = 0; i < attachments; ++i) {
      const std::string a = Join(path, "__attach_version1.0_#" + Hex8(i));
      const auto ap = checkProperties(a, 8, nullptr, nullptr);
      const auto method = ap.find(tags::PR_ATTACH_METHOD.value());
      if (method != ap.end() && (method->second & 0xFFFFFFFFu) == 5) {
        if (!ap.contains(tags::PR_ATTACH_DATA_OBJ.value()))
          defect(a, "an embedded message without its object property");
        const std::string inner = Join(a, "__substg1.0_3701000D");
        if (entries_.contains(inner)) checkMessage(inner, false);
      }
    }
  }

  void checkNameMap() {
    const std::string map = "/__nameid_version1.0";
    const Bytes* guids = stream(map + "/__substg1.0_00020102");
    const Bytes* entries = stream(map + "/__substg1.0_00030102");
    const Bytes* strings = stream(map + "/__substg1.0_00040102");
    if (!guids || !entries || !strings) {
      defect(map, "the GUID, entry or string stream is missing");
      return;
    }
    if (guids->size() % 16 != 0) defect(map, "the GUID stream is not made of 16-byte GUIDs");
    if (entries->size() % 8 != 0) defect(map, "the entry stream is not made of 8-byte entries");
    std::map<std::string, Bytes> buckets;
    for (std::size_t i = 0; i + 8 <= entries->size(); i += 8) {
      const std::uint32_t key = Get32(entries->data() + i);
      const std::uint32_t indexAndKind = Get32(entries->data() + i + 4);
      const std::uint32_t index = indexAndKind >> 16;
      const std::uint32_t guidIndex = (indexAndKind & 0xFFFF) >> 1;
      const bool isString = (indexAndKind & 1) != 0;
      if (index != i / 8)
        defect(map,
               "entry " + std::to_string(i / 8) + " has property index " + std::to_string(index));
      if (guidIndex < 1 || guidIndex > 2 + guids->size() / 16)
        defect(map, "entry " + std::to_string(i / 8) + " names no GUID");
      namedIds_.insert(0x8000 + index);
      std::uint32_t hash = key;
      if (isString) {
        if (key % 4 != 0 || key + 4 > strings->size() ||
            key + 4 + Get32(strings->data() + key) > strings->size()) {
          defect(map, "entry " + std::to_string(i / 8) + " points outside the string stream");
          continue;
        }
        const std::uint32_t length = Get32(strings->data() + key);
        hash = check::Crc32(strings->data() + key + 4, length);
      }
      const std::uint32_t bucket = 0x1000 + ((hash ^ (indexAndKind & 0xFFFF)) % 0x1F);
      char name[32];
      std::snprintf(name, sizeof name, "__substg1.0_%04X0102", bucket);
      Bytes& b = buckets[name];
      Append32(b, hash);
      Append32(b, indexAndKind);
    }
    for (const auto& s : children(map, false)) {
      if (s == "__substg1.0_00020102" || s == "__substg1.0_00030102" || s == "__substg1.0_00040102")
        continue;
      if (!buckets.contains(s)) defect(map, "hash stream " + s + " holds entries of no name");
    }
    for (const auto& [name, bytes] : buckets) {
      const Bytes* have = stream(map + "/" + name);
      if (!have || *have != bytes)
        defect(map, "hash stream " + name + " does not hold exactly its entries");
    }
  }

  const cfb::ReadResult& file_;
  std::map<std::string, const cfb::Entry*> entries_;
  std::set<std::uint32_t> namedIds_;
  std::vector<std::string> defects_;
};

}  // namespace

std::vector<std::string> CheckMsg(const Bytes& file) {
  const cfb::ReadResult read = cfb::ReadCompoundFile(file);
  std::vector<std::string> defects;
  for (const auto& d : read.defects) defects.push_back("compound file: " + d);
  if (!read.entries.empty()) {
    for (auto& d : Checker(read).run()) defects.push_back(std::move(d));
  }
  return defects;
}

}  // namespace qc::mapi::msg
