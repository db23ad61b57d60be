// Which files count as mailboxes, and collecting them from a folder tree. Shared by the window's
// add-folder action and the command line so both pick exactly the same files.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace qc {

// True when `entry`, without leading and trailing spaces (0x20) and in ASCII lower case, ends in
// ".mbox" or ".mbx".
bool IsMailboxName(std::string_view entry);

struct MailboxSearch {
  std::vector<std::string> mailboxes;
  std::vector<std::string> problems;  // folders below the start that could not be read, and why
};

// Every file below `folder` (at any depth, in the folder walk's breadth-first order) whose full
// path passes IsMailboxName; the paths are returned as the walk found them, untrimmed and in
// their own case. A folder that does not exist gives an empty list. A folder below it that
// cannot be read (no access, a path beyond the system's limit, gone meanwhile) is skipped and
// named in `problems`: one such folder must not hide every other mailbox of the tree. Throws
// qc::Error when `folder` is empty (the walk would otherwise start at the root of the file
// system) and when `folder` itself cannot be read; throws StopRequested when `stop` is set
// meanwhile (by another thread).
MailboxSearch FindMailboxes(const std::string& folder, const std::atomic<bool>* stop = nullptr);

}  // namespace qc
