// The senders and recipients a message's address headers name, read as mail programs read them:
// names in raw 8-bit text or in encoded words of any charset.
#pragma once

#include <gmime/gmime.h>

#include <functional>
#include <string_view>
#include <vector>

#include "mapi/import/address_props.h"
#include "mapi/import/header_text.h"

namespace qc::mapi::import {

// The people the headers of one kind (From, Sender, Reply-To, To, Cc, Bcc) name, in order:
// `raw` is their raw values, `parsed` gives GMime's reading of them (the message's list of that
// kind), asked for only when it is used. GMime's reading stands where those headers hold plain
// ASCII and it took every item; otherwise they are read again from their text made UTF-8 (raw bytes
// and encoded words read by `reader`), item by item where GMime does not take them all. Where a
// header holds only a name (plain, raw or encoded), a group that names no one, or an address that
// is none ("Ann <ann at example.org>"), the person is that name, decoded, with an empty address: no
// encoded word is left in a name and no address is made up.
std::vector<MailAddress> HeaderAddresses(const std::vector<const char*>& raw,
                                         const std::function<InternetAddressList*()>& parsed,
                                         const RawTextReader& reader);

// The people a header value names in the plainest way, added to `out` as GMime reads them: one
// or more items "ann@example.org" or "Ann Example <ann@example.org>" (ASCII words and addresses,
// one space apart), a comma and any blanks between two. False, and `out` as it was, for any other
// value.
bool PlainAddresses(std::string_view raw, std::vector<MailAddress>& out);

}  // namespace qc::mapi::import
