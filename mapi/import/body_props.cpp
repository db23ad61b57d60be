#include "mapi/import/body_props.h"

#include <string>

#include "mapi/rtf/compressed_rtf.h"
#include "mapi/rtf/encapsulated_rtf.h"

namespace qc::mapi::import {

namespace {
// PR_NATIVE_BODY_INFO and PR_MSG_EDITOR_FORMAT values.
constexpr std::int32_t kNativeBodyPlainText = 1;
constexpr std::int32_t kNativeBodyHtml = 3;
constexpr std::int32_t kEditorPlainText = 1;
constexpr std::int32_t kEditorHtml = 2;
}  // namespace

void SetBodyKind(PropertyBag& props, bool html) {
  props.set(tags::PR_NATIVE_BODY_INFO, html ? kNativeBodyHtml : kNativeBodyPlainText);
  props.set(tags::PR_MSG_EDITOR_FORMAT, html ? kEditorHtml : kEditorPlainText);
}

void SetRtfBody(PropertyBag& props, const std::string_view* htmlUtf8) {
  using namespace tags;
  // Outlook shows a message without RTF as plain text in some versions, whatever PR_HTML holds;
  // with the HTML encapsulated it shows the HTML, and readers that take the RTF get it back.
  if (htmlUtf8 != nullptr) {
    props.set(PR_RTF_COMPRESSED, rtf::CompressRtf(rtf::HtmlToEncapsulatedRtf(*htmlUtf8)));
    SetBodyKind(props, true);
  } else {
    SetBodyKind(props, false);
    // A text too large to hold goes to the file as it stands, without RTF (see SetBodyKind).
    if (props.get<std::shared_ptr<const ByteSource>>(PR_BODY_W) != nullptr) return;
    const std::string* body = props.get<std::string>(PR_BODY_W);
    props.set(PR_RTF_COMPRESSED,
              rtf::CompressRtf(rtf::TextToEncapsulatedRtf(body ? *body : std::string())));
  }
  // The RTF was made from the bodies beside it: a reader need not rebuild them from it.
  props.set(PR_RTF_IN_SYNC, true);
}

}  // namespace qc::mapi::import
