// The scan's attempts run one byte at a time, as plainly as they can be written: the model that
// the fast scan is checked against in the tests and under the fuzzer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qc::test {

// Offsets of the finds in `file`; `fold` maps each byte before comparing (identity when the
// search is case-sensitive), and `text` is already folded.
template <class Fold>
std::vector<std::int64_t> AttemptsByteByByte(const std::string& file, const std::string& text,
                                             Fold fold) {
  const auto length = static_cast<std::int64_t>(text.size());
  const auto size = static_cast<std::int64_t>(file.size());
  std::vector<std::int64_t> finds;
  std::int64_t consumed = 0;
  while (size - length > consumed) {
    std::int64_t k = 0;
    while (k < length &&
           fold(static_cast<unsigned char>(file[static_cast<std::size_t>(consumed + k)])) ==
               static_cast<unsigned char>(text[static_cast<std::size_t>(k)])) {
      ++k;
    }
    if (k == length) {
      finds.push_back(consumed);
      consumed += length;
    } else {
      consumed += k + 1;  // the mismatching byte is used up
    }
  }
  return finds;
}

}  // namespace qc::test
