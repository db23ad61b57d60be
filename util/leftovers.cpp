#include "util/leftovers.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "util/writer_lock.h"

namespace qc {

namespace {

LeftoverSweep Sweep(const sys::Folder& at, const std::function<void(std::string_view)>& others) {
  LeftoverSweep swept;
  // Only our names are kept, so memory stays small however large the folder is.
  std::vector<std::pair<std::string, WriterId>> temporary;
  std::set<WriterId> writers;
  const int listed = at.list([&](const sys::FolderEntry& entry) {
    const std::string_view name = entry.name;
    if (const auto writer = WriterOfTemporaryName(name)) {
      temporary.emplace_back(name, *writer);
      writers.insert(*writer);
    } else if (const auto locker = WriterOfLockName(name)) {
      writers.insert(*locker);
    } else if (others) {
      others(name);
    }
  });
  if (listed != 0) return swept;

  const auto remove = [&](const std::string& name) {
    const sys::PathInfo info = at.inspect(name);
    if (info.kind != sys::Kind::File || at.remove(name) != 0) return;
    ++swept.files;
    swept.bytes += static_cast<std::uint64_t>(info.size);
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
  return Sweep(folder.folder(), others);
}

LeftoverSweep RemoveLeftovers(const std::string& path) {
  sys::Folder folder;
  if (folder.open(path) != 0) return {};
  return Sweep(folder, {});
}

}  // namespace qc
