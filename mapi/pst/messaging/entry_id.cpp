#include "mapi/pst/messaging/entry_id.h"

#include "mapi/little_endian.h"

namespace qc::mapi::pst {

Bytes StoreEntryId(const Guid& recordKey, std::uint32_t nid) {
  Bytes id;
  Append32(id, 0);
  id.insert(id.end(), recordKey.bytes.begin(), recordKey.bytes.end());
  Append32(id, nid);
  return id;
}

}  // namespace qc::mapi::pst
