#include "mapi/named_ids.h"

#include "util/error.h"

namespace qc::mapi {

namespace {
std::string Describe(const NamedProp& name) {
  return name.isString() ? "the named property \"" + name.name() + "\""
                         : "the named property " + std::to_string(name.number());
}
}  // namespace

std::uint16_t NamedIds::assign(const NamedProp& name) {
  if (const auto it = ids_.find(name); it != ids_.end()) return it->second;
  if (names_.size() > std::size_t{kLastNamedId - kFirstNamedId}) {
    throw Error("cannot give " + Describe(name) + " an identifier: all " +
                std::to_string(names_.size()) + " named-property identifiers are taken");
  }
  const auto id = static_cast<std::uint16_t>(kFirstNamedId + names_.size());
  ids_.emplace(name, id);
  names_.push_back(name);
  if (name.set != kPsMapi && name.set != kPsPublicStrings && !guidIndexes_.contains(name.set)) {
    guidIndexes_.emplace(name.set, static_cast<std::uint16_t>(3 + guids_.size()));
    guids_.push_back(name.set);
  }
  return id;
}

void NamedIds::assign(const PropertyBag& bag) {
  for (const auto& entry : bag.named()) assign(entry.first);
}

void NamedIds::assign(const Message& message) {
  assign(message.props);
  for (const auto& r : message.recipients) assign(r.props);
  for (const auto& a : message.attachments) {
    assign(a.props);
    if (a.embedded) assign(*a.embedded);
  }
}

std::optional<std::uint16_t> NamedIds::find(const NamedProp& name) const {
  const auto it = ids_.find(name);
  return it == ids_.end() ? std::nullopt : std::optional<std::uint16_t>(it->second);
}

std::uint16_t NamedIds::idOf(const NamedProp& name) const {
  if (const auto id = find(name)) return *id;
  throw Error("internal error: " + Describe(name) + " has no identifier");
}

std::uint16_t NamedIds::guidIndex(const Guid& set) const {
  if (set == kPsMapi) return 1;
  if (set == kPsPublicStrings) return 2;
  if (const auto it = guidIndexes_.find(set); it != guidIndexes_.end()) return it->second;
  throw Error("internal error: a property set with no GUID index");
}

}  // namespace qc::mapi
