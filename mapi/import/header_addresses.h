// The senders and recipients a message's address headers name, read as mail programs read them:
// names in raw 8-bit text or in encoded words of any charset.
#pragma once

#include <gmime/gmime.h>

#include <vector>

#include "mapi/import/address_props.h"
#include "mapi/import/header_text.h"

namespace qc::mapi::import {

// The addresses of the headers of `type` (From, Sender, Reply-To, To, Cc, Bcc), in order:
// as GMime parsed them where those headers hold plain ASCII, else parsed again from their
// text made UTF-8 (raw bytes and encoded words read by `reader`).
std::vector<MailAddress> HeaderAddresses(GMimeMessage* message, GMimeAddressType type,
                                         const RawTextReader& reader);

}  // namespace qc::mapi::import
