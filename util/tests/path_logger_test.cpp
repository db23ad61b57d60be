#include "util/path_logger.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <utility>

#include "util/error.h"
#include "util/mailbox_filter.h"
#include "util/registry.h"
#include "util/tests/test_system.h"

namespace qc {
namespace {

namespace fs = std::filesystem;

// A path written with "/" as the walk spells it on this system.
std::string P(std::string text) {
  std::replace(text.begin(), text.end(), '/', kPathSeparator);
  return text;
}

template <typename T>
using Entries = std::vector<std::pair<std::string, T>>;

template <typename T>
Entries<T> EntriesOf(const KeyedList<T>& list) {
  Entries<T> result;
  for (std::int32_t k = 1; k <= list.Count(); ++k) result.emplace_back(list.Key(k), list.Item(k));
  return result;
}

// A scratch folder tree; R is the start folder of the walks. Permissions are restored before
// removal so that a folder made unreadable does not outlive the test.
class PathLoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    do {
      base_ = test::Utf8(fs::temp_directory_path()) + P("/qc-walk-") +
              std::to_string(test::ProcessId()) + "-" + std::to_string(random());
    } while (!fs::create_directory(test::Path(base_)));
    R = base_ + P("/R");
    fs::create_directory(test::Path(R));
  }
  void TearDown() override {
    for (auto it = fs::recursive_directory_iterator(test::Path(base_)); it != decltype(it)(); ++it)
      if (it->is_directory() && !it->is_symlink())
        fs::permissions(it->path(), fs::perms::owner_all);
    fs::remove_all(test::Path(base_));
  }
  void File(const std::string& relative) {
    const fs::path path = test::Path(R + P("/") + relative);
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }
  void Folder(const std::string& relative) {
    fs::create_directories(test::Path(R + P("/") + relative));
  }

  std::string base_, R;
  pathLogger walker;
};

TEST(KeyedList, CountsPositionsFromOneAndRejectsDuplicateKeys) {
  TextList list;
  list.Add("K0", "a");
  list.Add("K2", "b");
  EXPECT_THROW(list.Add("K2", "c"), Error);
  EXPECT_EQ(EntriesOf(list), (Entries<std::string>{{"K0", "a"}, {"K2", "b"}}));
  EXPECT_EQ(list.Item("K2"), "b");
  EXPECT_THROW(list.Item(3), Error);
  EXPECT_THROW(list.Item("K1"), Error);
  EXPECT_EQ(CheckedIncrement(2147483646, "n"), 2147483647);
  EXPECT_THROW(CheckedIncrement(2147483647, "n"), Error);
}

TEST_F(PathLoggerTest, WalksTheTreeBreadthFirst) {
  File("y.mbx");
  File("a/x.mbx");
  File("a/c/z.mbx");
  Folder("b");
  walker.PathLogInit();
  walker.fullFileNamesOnly(false);
  walker.LogPath(R);

  EXPECT_EQ(
      EntriesOf(*walker.pathNames()),
      (Entries<std::string>{
          {"K0", R + P("/")}, {"K2", R + P("/a/")}, {"K3", R + P("/b/")}, {"K4", R + P("/a/c/")}}));
  EXPECT_EQ(EntriesOf(*walker.fullFileNames()),
            (Entries<std::string>{
                {"K1", R + P("/y.mbx")}, {"K2", R + P("/a/x.mbx")}, {"K3", R + P("/a/c/z.mbx")}}));
  EXPECT_EQ(EntriesOf(*walker.fileNames()),
            (Entries<std::string>{{"K1", "y.mbx"}, {"K2", "x.mbx"}, {"K3", "z.mbx"}}));
  EXPECT_EQ(EntriesOf(*walker.pathPointers()),
            (Entries<std::int32_t>{{"K1", 1}, {"K2", 2}, {"K3", 4}}));
  EXPECT_EQ(walker.Count(), 4);
}

TEST_F(PathLoggerTest, RecordsEveryFileInByteOrderWhateverTheFileSystemOrder) {
  for (const char* name : {"z.mbx", "notes.txt", "\xC3\xA9.mbx", "B.mbx", ".hidden"}) File(name);
  for (const char* name : {"zz", "YY", "mm"}) Folder(name);
  walker.PathLogInit();  // leaves fullFileNamesOnly true: the other two lists stay empty
  walker.LogPath(R + P("/"));

  EXPECT_EQ(walker.fullFileNames()->Values(),
            (std::vector<std::string>{R + P("/.hidden"), R + P("/B.mbx"), R + P("/notes.txt"),
                                      R + P("/z.mbx"), R + P("/\xC3\xA9.mbx")}));
  EXPECT_EQ(walker.pathNames()->Values(),
            (std::vector<std::string>{R + P("/"), R + P("/YY/"), R + P("/mm/"), R + P("/zz/")}));
  EXPECT_TRUE(walker.fileNames()->empty());
  EXPECT_TRUE(walker.pathPointers()->empty());
  EXPECT_EQ(walker.Count(), 6);
}

TEST_F(PathLoggerTest, StartPathWithOrWithoutSeparatorAndEmptyFolder) {
  File("sub/Inbox.mbx");
  for (const std::string& start : {R, R + P("/")}) {
    walker.PathLogInit();
    walker.LogPath(start);
    EXPECT_EQ(walker.fullFileNames()->Values(), std::vector<std::string>{R + P("/sub/Inbox.mbx")});
    EXPECT_EQ(walker.pathNames()->Values(), (std::vector<std::string>{R + P("/"), R + P("/sub/")}));
  }
  fs::remove_all(R + P("/sub"));
  walker.PathLogInit();
  walker.LogPath(R);
  EXPECT_EQ(walker.pathNames()->Values(), std::vector<std::string>{R + P("/")});
  EXPECT_TRUE(walker.fullFileNames()->empty());
  EXPECT_EQ(walker.Count(), 1);
}

TEST_F(PathLoggerTest, StartThatIsNotAFolderRecordsNothing) {
  File("Inbox.mbx");
  walker.PathLogInit();
  EXPECT_NO_THROW(walker.LogPath(R + P("/missing")));
  EXPECT_NO_THROW(walker.LogPath(R + P("/Inbox.mbx")));
  EXPECT_NO_THROW(walker.LogPath(""));
  EXPECT_EQ(walker.Count(), 0);
  EXPECT_TRUE(walker.pathNames()->empty());
  EXPECT_TRUE(walker.fullFileNames()->empty());

  walker.LogPath(R);
  walker.LogPath(R + P("/missing"));  // keeps the earlier result
  EXPECT_EQ(walker.Count(), 2);
  EXPECT_EQ(walker.fullFileNames()->Count(), 1);
}

TEST_F(PathLoggerTest, EachWalkNeedsPathLogInitAndTakenListsOutliveTerminate) {
  File("a.mbx");
  EXPECT_THROW(walker.LogPath(R), Error);  // new walker

  walker.PathLogInit();
  const auto taken = walker.fullFileNames();  // taken before the walk, filled by it
  walker.LogPath(R);
  EXPECT_THROW(walker.LogPath(R), Error);  // "K0" again, after the counter went back to 1
  EXPECT_EQ(walker.Count(), 1);
  walker.Terminate();
  EXPECT_THROW(walker.LogPath(R), Error);

  EXPECT_EQ(taken->Values(), std::vector<std::string>{R + P("/a.mbx")});
  EXPECT_NE(walker.fullFileNames(), taken);
  EXPECT_TRUE(walker.fullFileNames()->empty());
  EXPECT_EQ(walker.Count(), 1);
  EXPECT_TRUE(walker.fullFileNamesOnly());
}

TEST_F(PathLoggerTest, LinksToFoldersAreNeitherFollowedNorRecorded) {
#ifdef _WIN32
  GTEST_SKIP() << test::kPosixOnly;
#else
  File("b/f.mbx");
  Folder("a");
  fs::create_directory_symlink("..", R + P("/a/up"));  // a loop back to R
  fs::create_directory_symlink(R + P("/b"), R + P("/b-link"));
  fs::create_symlink(R + P("/b/f.mbx"), R + P("/f-link.mbx"));
  fs::create_symlink(R + P("/gone"), R + P("/dangling.mbx"));
  walker.PathLogInit();
  walker.LogPath(R);

  EXPECT_EQ(walker.pathNames()->Values(),
            (std::vector<std::string>{R + P("/"), R + P("/a/"), R + P("/b/")}));
  EXPECT_EQ(
      walker.fullFileNames()->Values(),
      (std::vector<std::string>{R + P("/dangling.mbx"), R + P("/f-link.mbx"), R + P("/b/f.mbx")}));
#endif
}

#ifndef _WIN32
// Walks R, whose folder b cannot be listed; "" when the walk failed exactly as it should.
std::string WalkPastUnreadableFolder(const std::string& R) {
  pathLogger walker;
  walker.PathLogInit();
  try {
    walker.LogPath(R);
    return "the walk did not fail";
  } catch (const Error& e) {
    const std::string expected = "'" + R + P("/b/': ") + std::strerror(EACCES);
    if (std::string(e.what()).find(expected) == std::string::npos || e.code() != EACCES)
      return std::string("unexpected failure: ") + e.what();
  }
  const std::vector<std::string> kept{R + P("/y.mbx"), R + P("/a/x.mbx")};
  if (walker.fullFileNames()->Values() != kept || walker.Count() != 3)
    return "the entries recorded before the failure were not kept";
  // Collecting mailboxes goes past it, and says which folder it could not read.
  const MailboxSearch found = FindMailboxes(R);
  const std::vector<std::string> all{R + P("/y.mbx"), R + P("/a/x.mbx"), R + P("/c/later.mbx")};
  if (found.mailboxes != all) return "FindMailboxes did not go past the unreadable folder";
  if (found.problems.size() != 1 || found.problems[0].find(R + P("/b/")) == std::string::npos)
    return "FindMailboxes did not name the unreadable folder";
  // A start that cannot even be looked at is a failure, not an empty folder.
  pathLogger second;
  second.PathLogInit();
  try {
    second.LogPath(R + P("/b/inner"));
    return "a start behind the unreadable folder was taken for a missing one";
  } catch (const Error&) {
  }
  return "";
}
#endif

TEST_F(PathLoggerTest, UnreadableFolderEndsTheWalkAndKeepsEarlierEntries) {
#ifdef _WIN32
  GTEST_SKIP() << test::kPosixOnly;
#else
  File("y.mbx");
  File("a/x.mbx");
  File("b/hidden.mbx");
  File("c/later.mbx");
  fs::permissions(R + P("/b"), fs::perms::none);
  if (geteuid() != 0) {
    EXPECT_EQ(WalkPastUnreadableFolder(R), "");
    return;
  }
  // Root reads every folder, so the walk runs in a child that has given up root.
  fs::permissions(base_, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    close(out[0]);
    std::string result = "skip: cannot drop root";
    int code = 77;
    if (setgid(65534) == 0 && setuid(65534) == 0) {
      code = access(R.c_str(), R_OK | X_OK) == 0 ? 0 : 77;
      result =
          code ? "skip: the temporary folder is closed to others" : WalkPastUnreadableFolder(R);
    }
    (void)!write(out[1], result.data(), result.size());
    _exit(code);
  }
  close(out[1]);
  std::string result;
  char buffer[512];
  for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) result.append(buffer, got);
  close(out[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << result;
  EXPECT_EQ(result, "");
#endif
}

TEST(IsMailboxName, IgnoresCaseAndSurroundingSpaces) {
  for (const char* name : {"Inbox.MBX", "a/Old.mbox", " x.mbx ", ".mbx", "C:\\M\\In.MbOx  "})
    EXPECT_TRUE(IsMailboxName(name)) << name;
  for (const char* name : {"", "mbx", "Archive.mbox.bak", "notes.txt", "x.mbx\t", "x.mb x"})
    EXPECT_FALSE(IsMailboxName(name)) << name;
}

TEST_F(PathLoggerTest, FindMailboxesKeepsMailboxesOfTheWholeTree) {
  File("Inbox.MBX");
  File("notes.txt");
  File("sub/Old.mbox");
  File("sub/deeper/Archive.mbox.bak");
  File("spaced/ Out.mbx ");
  // Windows drops the trailing spaces of a name as it makes the file.
  const std::string spaced = test::kSeparator == '/' ? "/spaced/ Out.mbx " : "/spaced/ Out.mbx";
  const std::vector<std::string> expected{R + P("/Inbox.MBX"), R + P(spaced),
                                          R + P("/sub/Old.mbox")};
  EXPECT_EQ(FindMailboxes(R).mailboxes, expected);
  EXPECT_EQ(FindMailboxes(R + P("/")).mailboxes, expected);
  EXPECT_TRUE(FindMailboxes(R + P("/")).problems.empty());
  EXPECT_TRUE(FindMailboxes(R + P("/missing")).mailboxes.empty());
  EXPECT_THROW(FindMailboxes(""), Error);  // would walk the whole file system
}

// Random trees with every kind of entry the walk meets (names in any case and with spaces,
// links to files, to folders, back up the tree and to nowhere): collecting mailboxes during the
// walk gives exactly what filtering the whole walk's list afterwards gives, and that list is the
// plain breadth-first order of the tree with links to folders left out.
TEST_F(PathLoggerTest, RandomTreesGiveTheSameMailboxesEveryWay) {
#ifdef _WIN32
  GTEST_SKIP() << test::kPosixOnly;
#else
  std::mt19937 rng(7);
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* names[] = {"a.mbx", "B.MBOX", " c.mbx ", "d.txt", "e.mbox.bak", "F.Mbx", "g"};
  for (int round = 0; round < 30; ++round) {
    fs::remove_all(R);
    fs::create_directory(R);
    std::vector<std::string> folders{R};
    for (int i = 0; i < 60; ++i) {
      const std::string at =
          folders[static_cast<std::size_t>(pick(static_cast<int>(folders.size())))];
      const std::string name = std::to_string(i) + names[pick(7)];
      switch (pick(6)) {
        case 0:
          fs::create_directory(at + P("/") + name);
          folders.push_back(at + P("/") + name);
          break;
        case 1:
          fs::create_directory_symlink(folders[0], at + P("/") + name);  // up the tree
          break;
        case 2:
          fs::create_symlink(at + P("/nowhere"), at + P("/") + name);
          break;
        case 3:
          if (folders.size() > 1) fs::create_symlink(folders.back(), at + P("/") + name);
          break;
        default:
          std::ofstream(at + P("/") + name) << "x";
      }
    }
    // The plain breadth-first reading of the tree.
    std::vector<std::string> expected;
    std::vector<std::string> queue{R + P("/")};
    for (std::size_t q = 0; q < queue.size(); ++q) {
      std::vector<std::string> files, subfolders;
      for (const auto& entry : fs::directory_iterator(queue[q])) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink() ? fs::is_directory(entry.path()) : false) continue;
        (entry.is_directory() && !entry.is_symlink() ? subfolders : files).push_back(name);
      }
      std::sort(files.begin(), files.end());
      std::sort(subfolders.begin(), subfolders.end());
      for (const auto& f : subfolders) queue.push_back(queue[q] + f + P("/"));
      for (const auto& f : files)
        if (IsMailboxName(queue[q] + f)) expected.push_back(queue[q] + f);
    }
    pathLogger all;
    all.PathLogInit();
    all.LogPath(R);
    std::vector<std::string> filtered;
    for (const auto& path : *all.fullFileNames())
      if (IsMailboxName(path)) filtered.push_back(path);
    ASSERT_EQ(filtered, expected) << "round " << round;
    ASSERT_EQ(FindMailboxes(R).mailboxes, expected) << "round " << round;
  }
#endif
}

// A folder whose path is longer than the system accepts cannot be listed by name; it is named
// as a problem and the rest of the tree is searched.
TEST_F(PathLoggerTest, FindMailboxesGoesPastAPathBeyondTheSystemsLimit) {
#ifdef _WIN32
  GTEST_SKIP() << test::kPosixOnly;
#else
  File("a.mbx");
  File("z/b.mbx");
  const std::string segment(200, 'd');
  int fd = ::open(R.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  for (int depth = 0; depth < 25; ++depth) {  // about 5,000 bytes of path
    ASSERT_EQ(::mkdirat(fd, segment.c_str(), 0755), 0) << std::strerror(errno);
    const int next = ::openat(fd, segment.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  ::close(::openat(fd, "deep.mbx", O_WRONLY | O_CREAT, 0644));
  ::close(fd);

  const MailboxSearch found = FindMailboxes(R);
  EXPECT_EQ(found.mailboxes, (std::vector<std::string>{R + P("/a.mbx"), R + P("/z/b.mbx")}));
  ASSERT_EQ(found.problems.size(), 1u);
  EXPECT_NE(found.problems[0].find(std::strerror(ENAMETOOLONG)), std::string::npos)
      << found.problems[0];
  // Removing the tree needs the same care: remove_all walks it by name as well.
  fd = ::open(R.c_str(), O_RDONLY | O_DIRECTORY);
  std::vector<int> fds{fd};
  for (int depth = 0; depth < 25; ++depth) {
    fds.push_back(::openat(fds.back(), segment.c_str(), O_RDONLY | O_DIRECTORY));
  }
  ::unlinkat(fds.back(), "deep.mbx", 0);
  for (int depth = 24; depth >= 0; --depth) {
    ::close(fds[static_cast<std::size_t>(depth) + 1]);
    ::unlinkat(fds[static_cast<std::size_t>(depth)], segment.c_str(), AT_REMOVEDIR);
  }
  ::close(fd);
#endif
}

}  // namespace
}  // namespace qc
