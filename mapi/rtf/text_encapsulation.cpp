// Plain text inside RTF (\fromtext), shaped as Outlook writes it for plain-text mail.
#include "mapi/rtf/encapsulated_rtf.h"
#include "mapi/rtf/rtf_builder.h"
#include "mapi/rtf/rtf_header.h"

namespace qc::mapi::rtf {

std::string TextToEncapsulatedRtf(std::string_view textUtf8) {
  RtfBuilder rtf;
  WriteHeader(rtf, Encapsulated::Text);
  rtf.text(textUtf8);
  rtf.close();
  return rtf.take();
}

}  // namespace qc::mapi::rtf
