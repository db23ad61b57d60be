// Which files count as mailboxes, and collecting them from a folder tree. Shared by the window's
// add-folder action and the command line so both pick exactly the same files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qc {

// True when `entry`, without leading and trailing spaces (0x20) and in ASCII lower case, ends in
// ".mbox" or ".mbx".
bool IsMailboxName(std::string_view entry);

// Every file below `folder` (at any depth, in the folder walk's breadth-first order) whose full
// path passes IsMailboxName; the paths are returned as the walk found them, untrimmed and in
// their own case. A folder that does not exist gives an empty list. Throws qc::Error when
// `folder` is empty (the walk would otherwise start at the root of the file system) and when the
// walk fails.
std::vector<std::string> FindMailboxes(const std::string& folder);

}  // namespace qc
