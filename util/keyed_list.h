// An ordered list of values in which every entry carries a text key unique within the list.
// Positions count from 1 in the order of insertion. The folder walk fills these lists and hands
// them to its callers as shared pointers, so a caller keeps the very list the walk filled.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qc {

// `value` + 1. Counters and positions are 32-bit signed; stepping past the largest value throws
// qc::Error naming `what` rather than wrapping to a negative number.
std::int32_t CheckedIncrement(std::int32_t value, std::string_view what);

namespace detail {
[[noreturn]] void ThrowDuplicateKey(std::string_view key);
[[noreturn]] void ThrowNoSuchKey(std::string_view key);
[[noreturn]] void ThrowNoSuchPosition(std::int64_t position, std::int32_t count);

// Lets the key index be searched with a string_view without building a std::string.
struct KeyHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view key) const noexcept {
    return std::hash<std::string_view>{}(key);
  }
};
}  // namespace detail

template <typename T>
class KeyedList {
 public:
  using const_iterator = typename std::vector<T>::const_iterator;

  // Appends `value` under `key`. A key already present throws qc::Error and leaves the list as
  // it was.
  void Add(std::string key, T value) {
    if (index_.find(key) != index_.end()) detail::ThrowDuplicateKey(key);
    const std::int32_t position = CheckedIncrement(Count(), "the number of list entries");
    // Room first, growing geometrically: growing by one entry each time would copy the whole
    // list on every addition.
    Reserve(values_);
    Reserve(keys_);
    index_.emplace(key, position);
    // Nothing below can throw: the list never holds a key without its value.
    keys_.push_back(std::move(key));
    values_.push_back(std::move(value));
  }

  std::int32_t Count() const { return static_cast<std::int32_t>(values_.size()); }
  bool empty() const { return values_.empty(); }

  bool Contains(std::string_view key) const { return index_.find(key) != index_.end(); }

  // The value at `position`, counted from 1. Outside 1..Count() throws qc::Error.
  const T& Item(std::int32_t position) const { return values_[Offset(position)]; }

  // The value stored under `key`; an unknown key throws qc::Error.
  const T& Item(std::string_view key) const {
    const auto found = index_.find(key);
    if (found == index_.end()) detail::ThrowNoSuchKey(key);
    return values_[static_cast<std::size_t>(found->second - 1)];
  }

  const std::string& Key(std::int32_t position) const { return keys_[Offset(position)]; }

  // The values and keys in list order, for loops and comparisons.
  const std::vector<T>& Values() const { return values_; }
  const std::vector<std::string>& Keys() const { return keys_; }

  const_iterator begin() const { return values_.begin(); }
  const_iterator end() const { return values_.end(); }

 private:
  template <typename V>
  static void Reserve(V& vector) {
    if (vector.size() == vector.capacity()) vector.reserve(vector.size() * 2 + 16);
  }

  std::size_t Offset(std::int32_t position) const {
    if (position < 1 || position > Count()) detail::ThrowNoSuchPosition(position, Count());
    return static_cast<std::size_t>(position - 1);
  }

  std::vector<T> values_;
  std::vector<std::string> keys_;
  std::unordered_map<std::string, std::int32_t, detail::KeyHash, std::equal_to<>> index_;
};

using TextList = KeyedList<std::string>;
using IntList = KeyedList<std::int32_t>;

}  // namespace qc
