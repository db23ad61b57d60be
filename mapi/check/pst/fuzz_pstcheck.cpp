// libFuzzer entry point: the checker reads any bytes as a store without crashing or hanging.
#include <cstdint>

#include "mapi/check/pst/pst_checker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qc::mapi::pst::check::CheckPst(data, size);
  return 0;
}
