// Messages Outlook keeps in forms of their own: clear-signed S/MIME mail (MS-OXOSMIME 2.1.3.1)
// and delivery and read reports (multipart/report, RFC 3462).
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "mapi/property.h"

namespace qc::mapi::import {

// Whether `root`, a message's top MIME part, is clear-signed S/MIME: multipart/signed with a
// PKCS #7 signature. (PGP/MIME has no Outlook form; it is read like any multipart.)
bool IsSmimeSigned(GMimeObject* root);

// Makes `out` the IPM.Note.SMIME.MultipartSigned message Outlook keeps: its one attachment
// holds the signed MIME entity (the message's MIME header fields, then its body byte for byte
// from `contentOffset` of `bytes`), so that the signature can still be verified; the bodies
// already taken from the signed content stay readable.
void KeepSignedEntity(Message& out, std::shared_ptr<const ByteSource> bytes,
                      std::uint64_t contentOffset);

// REPORT.IPM.Note.NDR, .DR or .Delayed for a delivery status notification (by its recipients'
// actions), .IPNRN or .IPNNRN for a read report (by its disposition); nothing for other mail.
std::optional<std::string> ReportMessageClass(GMimeObject* root);

}  // namespace qc::mapi::import
