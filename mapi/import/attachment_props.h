// Attachment names and the properties of an attachment stored by value (MS-OXCMAIL 2.2.3.3).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "mapi/property.h"

namespace qc::mapi::import {

// A file name as the message gave it, made safe to hand to a file system later: directory parts
// dropped, control and reserved characters replaced, trailing dots and spaces removed. Empty
// when nothing usable is left.
std::string SafeFileName(std::string_view name);

// An 8.3-style short name: "Invoice 2024-0117.pdf" gives "INVOIC~1.PDF".
std::string ShortFileName(std::string_view longName);

// ".pdf" for "Invoice.pdf", empty when the name has no extension.
std::string FileExtension(std::string_view name);

// The usual extension of a MIME type (".png" for image/png), ".dat" when none is known.
std::string ExtensionForType(std::string_view mimeType);

struct ByValueAttachment {
  std::string fileName;  // already safe
  std::string mimeType;
  std::string contentId;
  std::string contentLocation;
  std::shared_ptr<const ByteSource> data;
};

// An ATTACH_BY_VALUE attachment with its names, type, size and data.
Attachment MakeByValueAttachment(ByValueAttachment in);

}  // namespace qc::mapi::import
