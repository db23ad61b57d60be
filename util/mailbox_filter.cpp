#include "util/mailbox_filter.h"

#include "util/error.h"
#include "util/path_logger.h"
#include "util/registry.h"

namespace qc {
namespace {

// Case-insensitive for ASCII only: the locale must not change which files are mailboxes.
bool EndsWithNoCase(std::string_view text, std::string_view lowerSuffix) {
  if (text.size() < lowerSuffix.size()) return false;
  const std::string_view tail = text.substr(text.size() - lowerSuffix.size());
  for (std::size_t k = 0; k < tail.size(); ++k) {
    char c = tail[k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerSuffix[k]) return false;
  }
  return true;
}

}  // namespace

bool IsMailboxName(std::string_view entry) {
  const std::string_view trimmed = TrimSpaces(entry);
  return EndsWithNoCase(trimmed, ".mbox") || EndsWithNoCase(trimmed, ".mbx");
}

MailboxSearch FindMailboxes(const std::string& folder, const std::atomic<bool>* stop) {
  if (folder.empty()) throw Error("no folder was given to search for mailboxes");

  pathLogger walker;
  walker.PathLogInit();
  walker.fullFileNamesOnly(true);
  walker.skipUnreadableFolders(true);
  walker.stopWhen(stop);
  // The end of a file's name is the end of its path, so the filter can run during the walk:
  // a tree of a million files then costs the memory of its mailboxes only.
  walker.recordOnly(&IsMailboxName);
  walker.LogPath(AddSeparator(folder));
  const auto found = walker.fullFileNames();
  MailboxSearch result;
  result.problems = walker.UnreadableFolders();
  walker.Terminate();

  for (const std::string& path : *found)
    if (IsMailboxName(path)) result.mailboxes.push_back(path);
  return result;
}

}  // namespace qc
