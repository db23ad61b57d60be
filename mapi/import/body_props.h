// The properties Outlook keeps beside PR_BODY and PR_HTML: the body as compressed RTF, and which
// of the bodies is the native one (MS-OXCMSG 2.2.1.56, MS-OXRTFEX).
#pragma once

#include <string_view>

#include "mapi/property.h"

namespace qc::mapi::import {

// PR_RTF_COMPRESSED, PR_RTF_IN_SYNC, PR_NATIVE_BODY_INFO and PR_MSG_EDITOR_FORMAT. With
// `htmlUtf8` the RTF encapsulates that HTML; without it, the plain text of PR_BODY_W. A
// PR_BODY_W too large to hold (given as a source) gets no RTF, only its body kind.
void SetRtfBody(PropertyBag& props, const std::string_view* htmlUtf8);

// PR_NATIVE_BODY_INFO and PR_MSG_EDITOR_FORMAT alone (HTML or plain text), for a body too large
// to make RTF of: the RTF would have to be held whole (its compressed size is known only at its
// end) or made twice, for a copy that Outlook makes itself of a message that has none, as it
// does for the messages of its own data files.
void SetBodyKind(PropertyBag& props, bool html);

}  // namespace qc::mapi::import
