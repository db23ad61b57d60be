#include "mapi/check/pst/pst_checker.h"

#include "mapi/check/pst/messaging_check.h"
#include "mapi/check/pst/ndb_reader.h"
#include "util/system.h"

namespace qc::mapi::pst::check {

Findings CheckPst(const std::uint8_t* data, std::uint64_t size, Summary* summary) {
  Findings findings;
  Summary local;
  NodeDatabaseReader ndb(data, size, findings);
  if (ndb.check()) CheckMessaging(ndb, findings, local);
  local.nodes = ndb.nodes().size();
  if (summary) *summary = local;
  return findings;
}

Findings CheckPstFile(const std::string& path, Summary* summary) {
  sys::MappedFile file;
  if (const int error = file.open(path); error != 0) {
    Findings f;
    f.add(Fault::kHeader, "cannot read '" + path + "': " + sys::ErrorText(error));
    return f;
  }
  return CheckPst(file.data(), file.size(), summary);
}

}  // namespace qc::mapi::pst::check
