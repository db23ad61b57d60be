#include "mapi/pst/ndb/density_list.h"

#include "mapi/pst/format.h"
#include "mapi/pst/ndb/allocation_map.h"
#include "mapi/pst/ndb/page.h"

namespace qc::mapi::pst {

void WriteDensityList(PositionedSink& sink, std::uint64_t bid) {
  Page page{};  // bFlags 0, cEntDList 0, ulCurrentPage 0
  SealPage(page, kPageTypeDList, BlockSignature(kDensityListOffset, bid), bid);
  PutAt(sink, kDensityListOffset, page.data(), page.size());
}

}  // namespace qc::mapi::pst
