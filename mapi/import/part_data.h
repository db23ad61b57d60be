// The data of an attachment, decoded (base64, quoted-printable, uuencode) from the message's own
// bytes in pieces as a writer reads it, so no attachment is ever held whole. It keeps the
// message's bytes alive for as long as it lives.
#pragma once

#include <gmime/gmime.h>

#include <cstdint>
#include <memory>

#include "mapi/property.h"

namespace qc::mapi::import {

// The decoded content of a leaf part; its size is counted once, by decoding it. Reading front to
// back is cheap; reading backwards decodes again from the start. Throws qc::Error when the
// message's bytes cannot be read.
std::shared_ptr<const ByteSource> PartData(GMimePart* part);

// The decoded content of an attachment: decoded into memory now while the attachments of its
// message held so far (`held` counts their bytes) come to no more than kHeldAttachmentBytes, or
// else as PartData() gives it. Decoding once into memory spares decoding again as the writer
// reads, and the stream objects GMime's decoder takes each time.
constexpr std::uint64_t kHeldAttachmentBytes = std::uint64_t{256} << 10;
std::shared_ptr<const ByteSource> AttachmentData(GMimePart* part, std::uint64_t& held);

}  // namespace qc::mapi::import
