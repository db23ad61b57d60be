// libFuzzer entry point for the writers: whatever the import makes of the fuzzer's bytes is
// written as a .msg file in memory, and our strict checker must find nothing wrong with it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "mapi/check/msg/msg_checker.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto message =
      qc::mapi::ImportRfc822(std::string_view(reinterpret_cast<const char*>(data), size));
  qc::mapi::SetMessageFlags(*message, 17);
  qc::mapi::MemorySink sink;
  qc::mapi::msg::WriteMsg(*message, sink);
  const auto defects = qc::mapi::msg::CheckMsg(sink.bytes);
  if (!defects.empty()) {
    std::fprintf(stderr, "defect: %s\n", defects.front().c_str());
    std::abort();
  }
  return 0;
}
