// libFuzzer entry point for the RTF body. The fuzzer's bytes are taken three ways: as compressed
// RTF, which must decompress or be refused with qc::Error, never crash; as RTF to compress, which
// must come back unchanged; and as HTML and as text to encapsulate, whose RTF must compress and
// come back unchanged too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

#include "mapi/rtf/compressed_rtf.h"
#include "mapi/rtf/encapsulated_rtf.h"
#include "util/error.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "defect: %s\n", what);
    std::abort();
  }
}

void RoundTrip(std::string_view rtf, const char* what) {
  Check(qc::mapi::rtf::DecompressRtf(qc::mapi::rtf::CompressRtf(rtf)) == rtf, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    qc::mapi::rtf::DecompressRtf(std::span(data, size));
  } catch (const qc::Error&) {
  }
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RoundTrip(bytes, "compressed bytes do not come back");
  RoundTrip(qc::mapi::rtf::HtmlToEncapsulatedRtf(bytes), "HTML's RTF does not come back");
  RoundTrip(qc::mapi::rtf::TextToEncapsulatedRtf(bytes), "text's RTF does not come back");
  return 0;
}
