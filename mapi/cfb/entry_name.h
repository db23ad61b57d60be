// The name of a directory entry, held in place: every storage and stream of a .msg file has one,
// and most are 20 units or longer, too long for a string's own buffer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "mapi/cfb/names.h"

namespace qc::mapi::cfb {

class EntryName {
 public:
  // Throws qc::Error when `utf8` is not valid UTF-8 or cannot name an entry (NameProblem).
  explicit EntryName(std::string_view utf8);

  std::u16string_view units() const { return {units_.data(), size_}; }
  std::string utf8() const { return Utf16ToUtf8(units()); }

 private:
  std::array<char16_t, kMaxNameUnits> units_;
  std::uint8_t size_ = 0;
};

}  // namespace qc::mapi::cfb
