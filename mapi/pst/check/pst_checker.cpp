#include "mapi/pst/check/pst_checker.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mapi/pst/check/messaging_check.h"
#include "mapi/pst/check/ndb_reader.h"

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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    Findings f;
    f.add(Fault::kHeader, "cannot read '" + path + "': " + std::strerror(errno));
    if (fd >= 0) ::close(fd);
    return f;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size == 0) {
    ::close(fd);
    return CheckPst(nullptr, 0, summary);
  }
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) {
    Findings f;
    f.add(Fault::kHeader, "cannot map '" + path + "': " + std::strerror(errno));
    return f;
  }
  Findings findings = CheckPst(static_cast<const std::uint8_t*>(map), size, summary);
  ::munmap(map, size);
  return findings;
}

}  // namespace qc::mapi::pst::check
