// Entry identifiers of the objects in a store (MS-PST ENTRYID): four flag bytes, the store's
// record key as provider UID, and the object's node identifier.
#pragma once

#include <cstdint>

#include "mapi/property.h"

namespace qc::mapi::pst {

Bytes StoreEntryId(const Guid& recordKey, std::uint32_t nid);

}  // namespace qc::mapi::pst
