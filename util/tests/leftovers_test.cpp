// What killed writers leave in a folder is removed by the next run; what a live writer (another
// process or this one) is writing, and anything that is not ours, is never touched.
#include "util/leftovers.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <fstream>
#include <set>

#include "util/tests/child_writer.h"
#include "util/tests/scratch_folder.h"
#include "util/writer_lock.h"

namespace qc {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(RemoveLeftovers, KeepsALiveWritersFilesAndRemovesAKilledOnes) {
  test::ScratchFolder scratch;
  const std::string path = test::Utf8(scratch.path());
  test::ChildWriter child(path, "big.pst", 100000);
  ASSERT_TRUE(child.ready());
  const std::set<std::string> written = Names(scratch.path());
  ASSERT_EQ(written.size(), 2u);  // its temporary file and its lock

  {
    OutputFolder folder(path);
    const LeftoverSweep swept = RemoveLeftovers(folder);
    EXPECT_EQ(swept.files, 0);
    EXPECT_EQ(swept.bytes, 0u);
  }
  EXPECT_EQ(Names(scratch.path()), written) << "the files of a running writer were touched";

  child.kill();
  EXPECT_EQ(Names(scratch.path()), written) << "kill -9 leaves them";
  const LeftoverSweep swept = RemoveLeftovers(path);
  EXPECT_EQ(swept.files, 2);
  EXPECT_EQ(swept.bytes, 100000u);
  EXPECT_TRUE(Names(scratch.path()).empty());
}

TEST(RemoveLeftovers, KeepsTheFilesOfThisProcessesWriters) {
  test::ScratchFolder scratch;
  OutputFolder writer(scratch.path().string());
  PendingFile file(writer, "email-0.eml");
  file.write("live", 4);
  const std::set<std::string> before = Names(scratch.path());
  EXPECT_EQ(RemoveLeftovers(scratch.path().string()).files, 0);
  OutputFolder another(scratch.path().string());
  EXPECT_EQ(RemoveLeftovers(another).files, 0);
  EXPECT_EQ(Names(scratch.path()).count(fs::path(file.temporaryPath()).filename().string()), 1u);
  file.commit();
}

// Files of writers that hold no lock: an earlier version's, whose names were all random, and a
// writer whose lock file is there but held by no one.
TEST(RemoveLeftovers, RemovesFilesWhoseLockIsGoneOrFree) {
  test::ScratchFolder scratch;
  scratch.write(".email-0.eml.9f3c2a7b5d1e4f60.part", "12345");
  scratch.write(".Inbox.mbx.pst.0000002a00000001.part", "1234567");
  scratch.write(LockFileName(0x2a), "");
  scratch.write(LockFileName(0x2b), "");  // a lock with no files left
  std::vector<std::string> others;
  OutputFolder folder(scratch.path().string());
  const LeftoverSweep swept =
      RemoveLeftovers(folder, [&](std::string_view name) { others.emplace_back(name); });
  EXPECT_EQ(swept.files, 4);
  EXPECT_EQ(swept.bytes, 12u);
  EXPECT_EQ(Names(scratch.path()), std::set<std::string>{LockFileName(folder.writer())});
  EXPECT_TRUE(others.empty());
}

TEST(RemoveLeftovers, NeverTouchesWhatIsNotOurs) {
  test::ScratchFolder scratch;
  const std::string victim = scratch.write("victim.txt", "precious");
  fs::create_directory(scratch.path() / "out");
  const fs::path out = scratch.path() / "out";
  const auto write = [&](const std::string& name) { std::ofstream(out / name) << "keep"; };
  // Names near ours but not of our pattern.
  const std::vector<std::string> decoys{"email-0.eml",
                                        ".email-0.eml.part",
                                        ".email-0.eml.9F3C2A7B5D1E4F60.part",
                                        ".email-0.eml.9f3c2a7b5d1e4f6.part",
                                        "email-0.eml.9f3c2a7b5d1e4f60.part",
                                        ".email-0.eml.9f3c2a7b5d1e4f60.partial",
                                        ".quillon-converter.0000002a.lock~"};
  for (const auto& name : decoys) write(name);
  // Our pattern, but not regular files: a link to a file, a dangling link, a folder, a pipe.
  fs::create_directory(out / ".c.0000000100000002.part");
#ifndef _WIN32
  fs::create_symlink(victim, out / ".a.0000000100000000.part");
  fs::create_symlink(scratch.path() / "nowhere", out / ".b.0000000100000001.part");
  ASSERT_EQ(::mkfifo((out / ".d.0000000100000003.part").c_str(), 0600), 0);
  // A lock that is a link: whoever made it, nothing can be told of the files it names.
  fs::create_symlink(victim, out / LockFileName(3));
  write(".e.0000000300000000.part");
#endif
  const std::set<std::string> before = Names(out);

  std::multiset<std::string> others;
  OutputFolder folder(out.string());
  const LeftoverSweep swept =
      RemoveLeftovers(folder, [&](std::string_view name) { others.emplace(name); });
  EXPECT_EQ(swept.files, 0);
  std::set<std::string> after = Names(out);
  after.erase(LockFileName(folder.writer()));
  EXPECT_EQ(after, before);
  EXPECT_EQ(test::ReadAll(victim), "precious");
  EXPECT_EQ(others, std::multiset<std::string>(decoys.begin(), decoys.end()))
      << "every other name is handed on, once";
}

}  // namespace
}  // namespace qc
