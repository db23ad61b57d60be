// libFuzzer entry point for the RFC 822 import: any bytes must give a message, never a crash,
// a hang or a leak. The flags are set too, as the conversion does for every imported item.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mapi/import/rfc822_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto message =
      qc::mapi::ImportRfc822(std::string_view(reinterpret_cast<const char*>(data), size));
  qc::mapi::SetMessageFlags(*message, 17);
  return 0;
}
