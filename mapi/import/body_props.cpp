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

void SetRtfBody(PropertyBag& props, const std::string_view* htmlUtf8) {
  using namespace tags;
  // Outlook shows a message without RTF as plain text in some versions, whatever PR_HTML holds;
  // with the HTML encapsulated it shows the HTML, and readers that take the RTF get it back.
  if (htmlUtf8 != nullptr) {
    props.set(PR_RTF_COMPRESSED, rtf::CompressRtf(rtf::HtmlToEncapsulatedRtf(*htmlUtf8)));
    props.set(PR_NATIVE_BODY_INFO, kNativeBodyHtml);
    props.set(PR_MSG_EDITOR_FORMAT, kEditorHtml);
  } else {
    props.set(PR_NATIVE_BODY_INFO, kNativeBodyPlainText);
    props.set(PR_MSG_EDITOR_FORMAT, kEditorPlainText);
    // A text too large to hold goes to the file as it stands. Its RTF would have to be held
    // whole (its compressed size is known only at its end) or made twice, for a copy of the text
    // that Outlook makes itself from the text of a message that has no RTF, as it does for the
    // messages of its own data files.
    if (props.get<std::shared_ptr<const ByteSource>>(PR_BODY_W) != nullptr) return;
    const std::string* body = props.get<std::string>(PR_BODY_W);
    props.set(PR_RTF_COMPRESSED,
              rtf::CompressRtf(rtf::TextToEncapsulatedRtf(body ? *body : std::string())));
  }
  // The RTF was made from the bodies beside it: a reader need not rebuild them from it.
  props.set(PR_RTF_IN_SYNC, true);
}

}  // namespace qc::mapi::import
