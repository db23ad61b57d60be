// The data of an attachment, decoded (base64, quoted-printable, uuencode) from the message's own
// bytes in pieces as a writer reads it, so no attachment is ever held whole. It keeps the
// message's bytes alive for as long as it lives.
#pragma once

#include <gmime/gmime.h>

#include <memory>

#include "mapi/property.h"

namespace qc::mapi::import {

// The decoded content of a leaf part; its size is counted once, by decoding it. Reading front to
// back is cheap; reading backwards decodes again from the start. Throws qc::Error when the
// message's bytes cannot be read.
std::shared_ptr<const ByteSource> PartData(GMimePart* part);

}  // namespace qc::mapi::import
