// Helpers shared by the import tests: reading properties with readable failures.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "mapi/import/rfc822_import.h"
#include "mapi/property.h"

namespace qc::mapi::testing {

inline std::string Str(const PropertyBag& bag, PropTag tag) {
  const auto* value = bag.get<std::string>(tag);
  return value ? *value : "<missing " + std::to_string(tag.value()) + ">";
}

inline std::int32_t Int(const PropertyBag& bag, PropTag tag) {
  const auto* value = bag.get<std::int32_t>(tag);
  EXPECT_NE(value, nullptr) << "missing tag " << std::hex << tag.value();
  return value ? *value : -12345;
}

inline bool Bool(const PropertyBag& bag, PropTag tag) {
  const auto* value = bag.get<bool>(tag);
  EXPECT_NE(value, nullptr) << "missing tag " << std::hex << tag.value();
  return value && *value;
}

inline std::string ByteString(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

inline std::string BinaryProp(const PropertyBag& bag, PropTag tag) {
  const auto* value = bag.get<Bytes>(tag);
  return value ? ByteString(*value) : std::string();
}

// The whole content of an attachment's data source.
inline std::string AttachmentData(const Attachment& a) {
  const auto* source = a.props.get<std::shared_ptr<const ByteSource>>(tags::PR_ATTACH_DATA_BIN);
  if (source == nullptr || *source == nullptr) return "<no data>";
  std::string out((*source)->size(), '\0');
  const std::size_t n = (*source)->read(0, reinterpret_cast<std::uint8_t*>(out.data()), out.size());
  out.resize(n);
  return out;
}

inline std::string Body(const Message& m) {
  return Str(m.props, tags::PR_BODY_W);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace qc::mapi::testing
