#include "cli/mailbox_args.h"

#include <set>
#include <utility>

#include "util/error.h"
#include "util/mailbox_filter.h"
#include "util/system.h"

namespace qc {

namespace {

// What makes two names one mailbox: the file they open, or (for names that open nothing yet)
// the path they spell once made absolute and tidied.
std::string IdentityOf(const std::string& path) {
  const sys::PathInfo info = sys::Inspect(path);
  if (info.kind != sys::Kind::Missing) {
    return "file " + std::to_string(info.id.volume) + ":" + std::to_string(info.id.index);
  }
  return "name " + sys::AbsolutePath(path);
}

}  // namespace

NamedMailboxes CollectMailboxes(const std::vector<std::string>& named,
                                const std::vector<std::string>& folders,
                                const std::atomic<bool>* stop) {
  NamedMailboxes out;
  std::vector<std::string> all = named;
  for (const auto& folder : folders) {
    try {
      MailboxSearch found = FindMailboxes(folder, stop);
      if (found.mailboxes.empty()) out.foldersWithout.push_back(folder);
      all.insert(all.end(), std::make_move_iterator(found.mailboxes.begin()),
                 std::make_move_iterator(found.mailboxes.end()));
      for (auto& problem : found.problems) out.problems.push_back(std::move(problem));
    } catch (const Error& e) {
      out.problems.emplace_back(e.what());
    }
  }
  std::set<std::string> seen;
  for (auto& path : all) {
    if (seen.insert(IdentityOf(path)).second) {
      out.mailboxes.push_back(std::move(path));
    } else {
      ++out.duplicates;
    }
  }
  return out;
}

}  // namespace qc
