// A map held as a vector sorted by key. The B-trees of a data file list their keys in order, so
// entries are appended; a store's millions of blocks then take a third of the memory a node-based
// map takes, and lookups are binary searches over one array.
#pragma once

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

namespace qc::mapi::pst::check {

template <class Key, class Value>
class SortedTable {
 public:
  using value_type = std::pair<Key, Value>;
  using iterator = typename std::vector<value_type>::iterator;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  // The value under `key`, made when missing (out of order only in a damaged file: inserted).
  Value& operator[](Key key) {
    if (items_.empty() || items_.back().first < key)
      return items_.emplace_back(key, Value{}).second;
    const iterator it = lower(key);
    if (it != items_.end() && it->first == key) return it->second;
    return items_.insert(it, value_type(key, Value{}))->second;
  }
  iterator find(Key key) {
    const iterator it = lower(key);
    return it != items_.end() && it->first == key ? it : items_.end();
  }
  const_iterator find(Key key) const {
    const auto it = std::lower_bound(items_.begin(), items_.end(), key, Less);
    return it != items_.end() && it->first == key ? it : items_.end();
  }
  bool contains(Key key) const { return find(key) != items_.end(); }
  const Value& at(Key key) const {
    const const_iterator it = find(key);
    if (it == items_.end()) throw std::out_of_range("no such key");
    return it->second;
  }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

 private:
  static bool Less(const value_type& item, Key key) { return item.first < key; }
  iterator lower(Key key) { return std::lower_bound(items_.begin(), items_.end(), key, Less); }

  std::vector<value_type> items_;
};

}  // namespace qc::mapi::pst::check
