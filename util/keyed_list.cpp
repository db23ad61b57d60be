#include "util/keyed_list.h"

#include "util/error.h"

namespace qc {

std::int32_t CheckedIncrement(std::int32_t value, std::string_view what) {
  if (value == std::numeric_limits<std::int32_t>::max())
    throw Error(std::string(what) + " passed " + std::to_string(value));
  return value + 1;
}

namespace detail {

void ThrowDuplicateKey(std::string_view key) {
  throw Error("the key '" + std::string(key) + "' is already in the list");
}

void ThrowNoSuchKey(std::string_view key) {
  throw Error("the key '" + std::string(key) + "' is not in the list");
}

void ThrowNoSuchPosition(std::int64_t position, std::int32_t count) {
  throw Error("position " + std::to_string(position) + " is outside the list of " +
              std::to_string(count) + " entries");
}

}  // namespace detail
}  // namespace qc
