#include "convert/store_names.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "convert/tests/test_files.h"
#include "util/tests/test_system.h"

namespace qc {
namespace {

std::tm At(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(StoreNames, TheTemporaryStoresTimestamp) {
  EXPECT_EQ(StoreTimestamp(At(2026, 12, 6, 7, 5, 9)), "6.12.26 7.5.09");
  EXPECT_EQ(StoreTimestamp(At(2027, 1, 1, 10, 30, 0)), "1.1.27 10.30.00");
  EXPECT_EQ(StoreTimestamp(At(2100, 10, 31, 23, 59, 59)), "31.10.00 23.59.59");
  EXPECT_EQ(StoreTimestamp(At(2009, 2, 28, 0, 0, 5)), "28.2.09 0.0.05");
}

// No store overwrites or adds to anything: a name taken on disk (by any kind of entry) or by an
// earlier store of the run is passed over.
TEST(StoreNames, NeverATakenName) {
  test::TempDir dir;
  const std::string folder = test::FolderText(dir.path());
  test::WriteFile(folder + "Inbox.pst", "an earlier run's store");
  std::filesystem::create_directory(folder + "Inbox (2).pst");
  if (test::SymlinksWork()) {
    std::filesystem::create_symlink(folder + "nowhere", folder + "Inbox (3).pst");
  } else {
    test::WriteFile(folder + "Inbox (3).pst", "");
  }
  StoreFileNames names;
  EXPECT_EQ(names.claim(folder, "Inbox"), folder + "Inbox (4).pst");
  EXPECT_EQ(names.claim(folder, "Inbox"), folder + "Inbox (5).pst");
  EXPECT_EQ(names.claim(folder, "Sent"), folder + "Sent.pst");
  EXPECT_EQ(names.claim(folder, "Inbox.mbx"), folder + "Inbox.mbx.pst");
  EXPECT_EQ(test::ReadFile(folder + "Inbox.pst"), "an earlier run's store");
}

// A mailbox name near the limit of a file name: the store's name is shortened to fit, and two
// names that agree up to the cut still get stores of their own.
TEST(StoreNames, ALongStemIsShortenedToFit) {
  test::TempDir dir;
  const std::string folder = test::FolderText(dir.path());
  const std::string stem(252, 's');
  StoreFileNames names;
  const std::string first = names.claim(folder, stem + ".mbx");
  EXPECT_EQ(first, folder + std::string(251, 's') + ".pst");
  test::WriteFile(first, "");
  const std::string second = names.claim(folder, stem + ".mbox");
  EXPECT_EQ(second, folder + std::string(247, 's') + " (2).pst");
  test::WriteFile(second, "");  // both names can be created
  // Cut right after a dot: not "mmm..pst".
  EXPECT_EQ(names.claim(folder, std::string(250, 'm') + ".mbx"),
            folder + std::string(250, 'm') + ".pst");
}

}  // namespace
}  // namespace qc
