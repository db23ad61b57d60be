// The messaging rules: the nodes every store has, the message store object, the Name-to-ID
// map, folders whose tables agree with their subfolders and messages, and messages whose
// recipient and attachment tables agree with their attachment objects.
#pragma once

#include "mapi/check/pst/ltp_reader.h"
#include "mapi/check/pst/ndb_reader.h"
#include "mapi/check/pst/pst_checker.h"

namespace qc::mapi::pst::check {

void CheckMessaging(const NodeDatabaseReader& ndb, Findings& findings, Summary& summary);

}  // namespace qc::mapi::pst::check
