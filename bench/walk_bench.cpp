// The folder walk on a large tree: makes a deterministic tree of files and folders, and times
// collecting its mailboxes the way the window and the command line do.
//
//   walk_bench make DIR ENTRIES   a tree of ENTRIES files and folders under DIR (1% mailboxes)
//   walk_bench walk DIR           FindMailboxes(DIR): mailboxes found, entries skipped, seconds
//   walk_bench walk-all DIR       the walk recording every file, as pathLogger does unfiltered
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <random>
#include <string>

#include "util/mailbox_filter.h"
#include "util/path_logger.h"

namespace {

int Make(const std::string& root, long entries) {
  std::mt19937_64 rng(1);
  std::deque<std::string> folders{root};
  ::mkdir(root.c_str(), 0755);
  long made = 0;
  long serial = 0;
  while (made < entries && !folders.empty()) {
    const std::string folder = folders.front();
    folders.pop_front();
    const long files = static_cast<long>(rng() % 40);
    const long subfolders = folders.size() < 4 ? 4 : static_cast<long>(rng() % 4);
    for (long f = 0; f < files && made < entries; ++f, ++made) {
      const bool mailbox = rng() % 100 == 0;
      const std::string name = folder + "/file-" + std::to_string(serial++) +
                               (mailbox ? (rng() % 2 ? ".mbx" : ".MBOX") : ".txt");
      const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) return std::perror(name.c_str()), 1;
      ::close(fd);
    }
    for (long d = 0; d < subfolders && made < entries; ++d, ++made) {
      const std::string name = folder + "/folder-" + std::to_string(serial++);
      if (::mkdir(name.c_str(), 0755) != 0) return std::perror(name.c_str()), 1;
      folders.push_back(name);
    }
  }
  std::printf("%ld entries under %s\n", made, root.c_str());
  return 0;
}

int Walk(const std::string& root) {
  const auto start = std::chrono::steady_clock::now();
  const qc::MailboxSearch found = qc::FindMailboxes(root);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu mailboxes, %zu folders not readable, %.3f s\n", found.mailboxes.size(),
              found.problems.size(), seconds);
  return 0;
}

// The walker on its own, recording every file of the tree.
int WalkAll(const std::string& root) {
  const auto start = std::chrono::steady_clock::now();
  qc::pathLogger walker;
  walker.PathLogInit();
  walker.LogPath(root);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d files, %d folders, %.3f s\n", walker.fullFileNames()->Count(),
              walker.pathNames()->Count(), seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "make" && argc == 4) return Make(argv[2], std::atol(argv[3]));
  if (verb == "walk" && argc == 3) return Walk(argv[2]);
  if (verb == "walk-all" && argc == 3) return WalkAll(argv[2]);
  std::fprintf(stderr, "usage: walk_bench make DIR ENTRIES | walk_bench walk|walk-all DIR\n");
  return 1;
}
