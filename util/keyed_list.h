// An ordered list of values in which every entry carries a text key unique within the list.
// Positions count from 1 in the order of insertion. The folder walk fills these lists and hands
// them to its callers as shared pointers, so a caller keeps the very list the walk filled.
#pragma once

#include <cstdint>
#include <deque>
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

}  // namespace detail

template <typename T>
class KeyedList {
 public:
  using const_iterator = typename std::deque<T>::const_iterator;

  // Appends `value` under `key`. A key already present throws qc::Error and leaves the list as
  // it was.
  void Add(std::string key, T value) {
    if (index_.find(std::string_view(key)) != index_.end()) detail::ThrowDuplicateKey(key);
    const std::int32_t position = CheckedIncrement(Count(), "the number of list entries");
    keys_.push_back(std::move(key));
    try {
      values_.push_back(std::move(value));
      try {
        // The index points into keys_, whose entries never move: a deque grows at its end
        // without relocating what it holds.
        index_.emplace(std::string_view(keys_.back()), position);
      } catch (...) {
        values_.pop_back();
        throw;
      }
    } catch (...) {
      keys_.pop_back();
      throw;
    }
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

  // The values in list order, for comparisons.
  std::vector<T> Values() const { return {values_.begin(), values_.end()}; }

  const_iterator begin() const { return values_.begin(); }
  const_iterator end() const { return values_.end(); }

 private:
  std::size_t Offset(std::int32_t position) const {
    if (position < 1 || position > Count()) detail::ThrowNoSuchPosition(position, Count());
    return static_cast<std::size_t>(position - 1);
  }

  // Deques: growing never copies what is already there, so adding stays linear and memory
  // never doubles for a moment on a large list.
  std::deque<T> values_;
  std::deque<std::string> keys_;
  std::unordered_map<std::string_view, std::int32_t> index_;
};

using TextList = KeyedList<std::string>;
using IntList = KeyedList<std::int32_t>;

}  // namespace qc
