#include "mapi/sink.h"

#include <algorithm>
#include <string>

#include "util/error.h"

namespace qc::mapi {

void MemorySink::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  if (offset > bytes.size() || size > bytes.size() - offset) {
    throw Error("cannot write " + std::to_string(size) + " bytes at " + std::to_string(offset) +
                ": only " + std::to_string(bytes.size()) + " bytes were written");
  }
  std::copy_n(data, size, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

}  // namespace qc::mapi
