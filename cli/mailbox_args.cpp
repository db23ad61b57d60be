#include "cli/mailbox_args.h"

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <utility>

#include "util/error.h"
#include "util/mailbox_filter.h"

namespace qc {

namespace {

// What makes two names one mailbox: the file they open, or (for names that open nothing yet)
// the path they spell once made absolute and tidied.
std::string IdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    return "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  }
  std::error_code ec;
  return "name " + std::filesystem::absolute(path, ec).lexically_normal().string();
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
