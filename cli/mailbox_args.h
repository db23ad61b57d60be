// The mailboxes a command line names: files given directly and those found below --folder
// folders, each once.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace qc {

struct NamedMailboxes {
  std::vector<std::string> mailboxes;       // in the order named, each file once
  std::vector<std::string> problems;        // folders that could not be searched, with the reason
  std::size_t duplicates = 0;               // mentions of a file already named
  std::vector<std::string> foldersWithout;  // folders searched that hold no mailbox
};

// Searches each folder (a folder that is not readable is a problem, not the end), then drops
// every later mention of a file already named: by the file itself, so a link and its target, or
// "a/../b.mbx" and "b.mbx", count as one.
// Throws StopRequested when `stop` is set during a folder search.
NamedMailboxes CollectMailboxes(const std::vector<std::string>& named,
                                const std::vector<std::string>& folders,
                                const std::atomic<bool>* stop = nullptr);

}  // namespace qc
