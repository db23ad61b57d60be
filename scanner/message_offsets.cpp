#include "scanner/message_offsets.h"

namespace qc {

std::string OffsetList::text() const {
  std::string out;
  for (const auto offset : offsets_) {
    out += std::to_string(offset);
    out += '|';
  }
  return out;
}

}  // namespace qc
