// A message's own bytes kept as an attachment's data without a copy: header text held in
// memory, then a range of the message read where it lies.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mapi/property.h"

namespace qc::mapi::import {

// `prefix`, then the bytes of `bytes` from `from` to its end.
class PrefixedRange final : public ByteSource {
 public:
  PrefixedRange(std::string prefix, std::shared_ptr<const ByteSource> bytes, std::uint64_t from);

  std::uint64_t size() const override;
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override;

 private:
  std::string prefix_;
  std::shared_ptr<const ByteSource> bytes_;
  std::uint64_t from_;
};

}  // namespace qc::mapi::import
