// The store's Name-to-ID map (node 0x61): the store's named-property map written out as MS-PST
// lays it out (GUID, entry and string streams and a hash table of buckets).
#pragma once

#include "mapi/named_ids.h"

namespace qc::mapi::pst {

class NodeDatabase;

// Gives a new store's map the names a new Outlook store has, in Outlook's order (identifiers
// 0x8000 to 0x8022), so that the named columns of Outlook's own tables keep their meaning.
void AddOutlookNames(NamedIds& ids);

// Writes the map's property context as node 0x61.
void WriteNameToIdMap(const NamedIds& ids, NodeDatabase& db);

}  // namespace qc::mapi::pst
