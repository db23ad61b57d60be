#include "util/leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "util/writer_lock.h"

namespace qc {

namespace {

LeftoverSweep Sweep(int at, const std::function<void(std::string_view)>& others) {
  LeftoverSweep swept;
  // A descriptor of its own: the listing moves its position, and the folder's may be in use.
  const int listed = ::openat(at, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listed < 0) return swept;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listed), &::closedir);
  if (!dir) {
    ::close(listed);
    return swept;
  }
  // Only our names are kept, so memory stays small however large the folder is.
  std::vector<std::pair<std::string, WriterId>> temporary;
  std::set<WriterId> writers;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (const auto writer = WriterOfTemporaryName(name)) {
      temporary.emplace_back(name, *writer);
      writers.insert(*writer);
    } else if (const auto locker = WriterOfLockName(name)) {
      writers.insert(*locker);
    } else if (others && name != "." && name != "..") {
      others(name);
    }
  }

  const auto remove = [&](const std::string& name) {
    struct stat st {};
    if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
      return;
    }
    if (::unlinkat(at, name.c_str(), 0) != 0) return;
    ++swept.files;
    swept.bytes += static_cast<std::uint64_t>(st.st_size);
  };
  for (const WriterId writer : writers) {
    // The lock is judged by its name now, not by the listing: a writer that started during the
    // listing may have its temporary file listed and its lock file not.
    WriterProbe probe(at, writer);
    if (probe.state() == WriterState::Alive || probe.state() == WriterState::Unknown) continue;
    for (const auto& [name, owner] : temporary) {
      if (owner == writer) remove(name);
    }
    // The lock file goes last, while the probe holds it, so that no new writer can take the
    // identity before its old files are gone.
    if (probe.state() == WriterState::Dead && probe.removeLockFile()) ++swept.files;
  }
  return swept;
}

}  // namespace

LeftoverSweep RemoveLeftovers(const OutputFolder& folder,
                              const std::function<void(std::string_view)>& others) {
  return Sweep(folder.fd(), others);
}

LeftoverSweep RemoveLeftovers(const std::string& path) {
  const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return {};
  const LeftoverSweep swept = Sweep(folder, {});
  ::close(folder);
  return swept;
}

}  // namespace qc
