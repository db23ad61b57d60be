// The fields of a message's header block as the import reads them: each field's name and raw
// value (what follows the colon, folding and line ends kept), in the order written.
//
// A message's own header block is split here rather than by GMime, whose header objects, with
// the address lists its message object parses them into, cost more than the rest of importing a
// typical message. GMime is then given only the block's Content- fields, which are all that its
// MIME part reads.
#pragma once

#include <gmime/gmime.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qc::mapi::import {

class HeaderFields {
 public:
  // The fields GMime parsed for `object`. They are GMime's, and last as long as `object` does.
  static HeaderFields Of(GMimeObject* object);

  // The fields of `block`, a header block without the empty line that ends it, as GMime splits
  // one. Nothing when a line of it is one that GMime reads its own way: a line that is no
  // field, a name that is empty or holds anything but printable ASCII, an envelope line, or a
  // NUL. The caller leaves such a block to GMime.
  static std::optional<HeaderFields> Split(std::string_view block);

  std::size_t size() const { return fields_.size(); }
  std::string_view name(std::size_t i) const;
  // NUL-terminated, never null.
  const char* raw(std::size_t i) const;
  // The value as GMime gives it: unfolded, and decoded as the import's parser options say.
  std::string value(std::size_t i) const;

  // The value of the first field called `name` (in any case), trimmed; empty when there is none.
  std::string first(std::string_view name) const;
  // Whether field `i` is called `name`, in any case.
  bool is(std::size_t i, std::string_view name) const;

  // The Content- fields of a block Split() took, verbatim and in order: what GMime is given.
  static std::string ContentFields(std::string_view block);

 private:
  struct Field {
    GMimeHeader* header = nullptr;                  // GMime's, when the fields are
    std::size_t name = 0, nameLength = 0, raw = 0;  // in text_, when they are split here
  };
  std::string text_;
  std::vector<Field> fields_;
};

}  // namespace qc::mapi::import
