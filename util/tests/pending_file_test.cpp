#include "util/pending_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "util/error.h"
#include "util/tests/scratch_folder.h"
#ifndef _WIN32
#include "util/tests/sync_calls.h"
#endif
#include "util/tests/test_system.h"

namespace qc {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The listing without the lock files of the writers still open.
std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names = Listing(folder);
  std::erase_if(names, [](const std::string& name) { return WriterOfLockName(name).has_value(); });
  return names;
}

TEST(PendingFile, LivesUnderAnUnguessableHiddenNameUntilCommitted) {
  test::ScratchFolder scratch;
  OutputFolder folder(scratch.path().string());
  std::set<std::string> temporaryNames;
  for (int i = 0; i < 3; ++i) {
    PendingFile file(folder, "email-0.eml");
    const std::string name = fs::path(file.temporaryPath()).filename().string();
    EXPECT_TRUE(name.starts_with(".email-0.eml.") && name.ends_with(".part")) << name;
    EXPECT_EQ(WriterOfTemporaryName(name), folder.writer()) << name;
    temporaryNames.insert(name);
    EXPECT_EQ(Listing(scratch.path()),
              (std::vector<std::string>{name, LockFileName(folder.writer())}));
  }  // never committed: removed
  EXPECT_EQ(temporaryNames.size(), 3u) << "each file gets a name of its own";
  EXPECT_EQ(Listing(scratch.path()), std::vector<std::string>{LockFileName(folder.writer())});

  PendingFile file(scratch.file("out.pst"));
  file.write("0123456789", 10);
  file.writeAt(2, "ab", 2);  // positioned writes leave the append position alone
  file.write("Z", 1);
  EXPECT_FALSE(fs::exists(scratch.file("out.pst")));
  file.commit();
  EXPECT_EQ(ReadAll(scratch.file("out.pst")), "01ab456789Z");
  EXPECT_EQ(Files(scratch.path()), std::vector<std::string>{"out.pst"});
  EXPECT_THROW(file.write("x", 1), Error);
  EXPECT_THROW(file.commit(), Error);
}

// A final name at the file system's limit must not fail because its temporary name is longer;
// cut names keep whole UTF-8 characters.
TEST(PendingFile, NamesAtTheLimitOfAFileName) {
  test::ScratchFolder scratch;
  OutputFolder folder(scratch.path().string());
  std::string name(kNameMax - 4, 'n');
  name += "\xC3\xA9.x";  // 255 bytes, an e-acute across where the temporary name is cut
  ASSERT_EQ(name.size(), kNameMax);
  PendingFile file(folder, name);
  file.write("data", 4);
  file.commit();
  EXPECT_EQ(ReadAll(scratch.path() / test::Path(name)), "data");

  EXPECT_EQ(NamePrefix("abc", 5), "abc");
  EXPECT_EQ(NamePrefix("ab\xC3\xA9", 3), "ab");  // not half of the e-acute
  EXPECT_EQ(NamePrefix("ab\xC3\xA9", 4), "ab\xC3\xA9");
  EXPECT_EQ(NamePrefix("\xF0\x9F\x93\xB7z", 3), "");
}

// Links planted where an earlier version put its temporary files, or at the final name, must
// never lead a write to their targets.
TEST(PendingFile, NeverWritesThroughALink) {
  if (!test::SymlinksWork()) GTEST_SKIP() << test::kNoSymlinks;
  test::ScratchFolder scratch;
  const std::string victim = scratch.write("victim.txt", "precious");
  fs::create_directory(scratch.path() / "out");
  fs::create_symlink(victim, scratch.path() / "out" / ".email-0.eml.part");
  fs::create_symlink(victim, scratch.path() / "out" / "email-0.eml");
  fs::create_symlink(scratch.path() / "nowhere", scratch.path() / "out" / ".email-1.eml.part");
  {
    OutputFolder folder((scratch.path() / "out").string());
    PendingFile file(folder, "email-0.eml");
    file.write("new", 3);
    file.commit();
    PendingFile dangling(folder, "email-1.eml");
    dangling.write("x", 1);
    dangling.commit();
  }
  EXPECT_EQ(ReadAll(victim), "precious");
  EXPECT_FALSE(fs::exists(scratch.path() / "nowhere"));
  EXPECT_FALSE(fs::is_symlink(scratch.path() / "out" / "email-0.eml"));
  EXPECT_EQ(ReadAll(scratch.path() / "out" / "email-0.eml"), "new");
}

TEST(PendingFile, FailuresNameThePathAndLeaveNothingBehind) {
  test::ScratchFolder scratch;
  fs::create_directory(scratch.path() / "email-0.eml");  // a folder in the way of the final name
  OutputFolder folder(scratch.path().string());
  {
    PendingFile file(folder, "email-0.eml");
    file.write("x", 1);
    try {
      file.commit();
      ADD_FAILURE() << "a folder was replaced";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(scratch.file("email-0.eml")), std::string::npos);
    }
  }
  EXPECT_EQ(Listing(scratch.path()),
            (std::vector<std::string>{LockFileName(folder.writer()), "email-0.eml"}));
  EXPECT_TRUE(fs::is_directory(scratch.path() / "email-0.eml"));

  try {
    PendingFile file(scratch.file("missing/out.msg"));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("missing/out.msg'"), std::string::npos) << e.what();
    EXPECT_EQ(e.code(), ENOENT);
  }
  // A file that cannot be created is named by its final name, never by the hidden one.
  try {
    PendingFile file("/proc/out.pst");  // not even root creates files here
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cannot create '/proc/out.pst': ", 0), 0u) << e.what();
  }
  // Root may write anywhere; a read-only folder of Windows still takes new files.
  if (!test::RunsAsRoot() && test::kSeparator == '/') {
    fs::create_directory(scratch.path() / "locked");
    fs::permissions(scratch.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(PendingFile(scratch.file("locked/out.msg")), Error);
    fs::permissions(scratch.path() / "locked", fs::perms::owner_all);
  }
}

TEST(PendingFile, ACommitThatMustNotReplaceLeavesWhatIsThere) {
  test::ScratchFolder scratch;
  scratch.write("taken.pst", "an earlier store");
  {
    PendingFile file(scratch.file("taken.pst"));
    file.write("new", 3);
    try {
      file.commit(false);
      ADD_FAILURE() << "replaced";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), EEXIST);
    }
  }
  EXPECT_EQ(Listing(scratch.path()), std::vector<std::string>{"taken.pst"});
  EXPECT_EQ(ReadAll(scratch.file("taken.pst")), "an earlier store");
  PendingFile fresh(scratch.file("free.pst"));
  fresh.write("new", 3);
  fresh.commit(false);
  EXPECT_EQ(ReadAll(scratch.file("free.pst")), "new");

  // Names taken meanwhile make way for the next ones asked for; nothing there is touched.
  scratch.write("taken (2).pst", "another run's store");
  PendingFile moving(scratch.file("taken.pst"));
  moving.write("mine", 4);
  int asked = 0;
  moving.commitUnderFreeName([&] { return "taken (" + std::to_string(++asked + 1) + ").pst"; });
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(moving.finalPath(), scratch.file("taken (3).pst"));
  EXPECT_EQ(ReadAll(scratch.file("taken (3).pst")), "mine");
  EXPECT_EQ(ReadAll(scratch.file("taken (2).pst")), "another run's store");
  EXPECT_EQ(ReadAll(scratch.file("taken.pst")), "an earlier store");
  EXPECT_EQ(Files(scratch.path()).size(), 4u);  // no temporary file left
}

}  // namespace
}  // namespace qc

namespace qc {
namespace {

// A store stands for a whole mailbox: a power cut just after it is reported written must not
// leave its final name on bytes that never reached the disk, nor lose the name.
#ifndef _WIN32
// The flushes are watched through the POSIX calls the program makes (fsync, syncfs), which a
// test program intercepts.
TEST(PendingFile, AStoreReachesTheDiskBeforeItsNameAndItsNameAfter) {
  test::ScratchFolder scratch;
  const std::string folder = scratch.path().string();
  test::SyncCalls calls;
  bool namedWhenFolderSynced = false;
  calls.during = [&](const test::SyncCall& call) {
    if (call.path == folder) namedWhenFolderSynced = fs::exists(scratch.path() / "out.pst");
  };
  PendingFile store(scratch.file("out.pst"));
  store.write("store", 5);
  const std::string temporary = store.temporaryPath();
  store.commit(false, Durability::Now);
  EXPECT_EQ(calls.calls(), (std::vector<test::SyncCall>{{"fsync", temporary}, {"fsync", folder}}));
  EXPECT_TRUE(namedWhenFolderSynced);
  EXPECT_EQ(ReadAll(scratch.file("out.pst")), "store");

  // Message files wait for their folder's flush: no call per file.
  OutputFolder messages(folder);
  PendingFile message(messages, "email-0.eml");
  message.write("m", 1);
  message.commit();
  EXPECT_EQ(calls.calls().size(), 2u);
}

TEST(PendingFile, AFlushThatFailsFailsTheFileAndLeavesNothing) {
  test::ScratchFolder scratch;
  const std::string folder = scratch.path().string();
  for (const bool failFolder : {false, true}) {
    test::SyncCalls calls;
    calls.failNext("fsync", EIO, failFolder ? folder : std::string());
    PendingFile store(scratch.file("out.pst"));
    store.write("store", 5);
    try {
      store.commit(false, Durability::Now);
      ADD_FAILURE() << "a store that is not on the disk was passed off as written";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), EIO);
      EXPECT_NE(std::string(e.what()).find(scratch.file("out.pst")), std::string::npos) << e.what();
    }
    EXPECT_TRUE(Files(scratch.path()).empty()) << (failFolder ? "folder" : "file");
  }
}

TEST(OutputFolder, FlushPutsEveryFileOnTheDiskAtOnceAndSaysWhenItCannot) {
  test::ScratchFolder scratch;
  const std::string path = scratch.path().string();
  OutputFolder folder(path);
  for (int i = 0; i < 3; ++i) {
    PendingFile file(folder, "email-" + std::to_string(i) + ".eml");
    file.write("m", 1);
    file.commit();
  }
  test::SyncCalls calls;
  folder.flush();
  EXPECT_EQ(calls.calls(), (std::vector<test::SyncCall>{{"syncfs", path}}));

  calls.failNext("syncfs", EIO);
  try {
    folder.flush();
    ADD_FAILURE() << "a failed flush was passed off as success";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), EIO);
    EXPECT_NE(std::string(e.what()).find("'" + path + "'"), std::string::npos) << e.what();
  }
}

// The lock that tells a live writer's temporary files from a killed one's: held while the
// folder is open, named after the identity its temporary files carry, gone afterwards.
#endif

TEST(OutputFolder, HoldsItsLockWhileOpen) {
  test::ScratchFolder scratch;
  WriterId first = 0;
  {
    OutputFolder folder(scratch.path().string());
    OutputFolder again(scratch.path().string());
    first = folder.writer();
    EXPECT_NE(folder.writer(), again.writer());
    std::vector<std::string> locks{LockFileName(folder.writer()), LockFileName(again.writer())};
    std::sort(locks.begin(), locks.end());
    EXPECT_EQ(Listing(scratch.path()), locks);
  }
  EXPECT_TRUE(Listing(scratch.path()).empty());
  EXPECT_EQ(WriterOfLockName(LockFileName(first)), first);
}

TEST(TemporaryNames, OnlyOurExactPatternNamesAWriter) {
  const std::string name = TemporaryFileName("email-7.eml", 0x0123abcd, 0xdeadbeef);
  EXPECT_EQ(name, ".email-7.eml.0123abcddeadbeef.part");
  EXPECT_EQ(WriterOfTemporaryName(name), WriterId{0x0123abcd});
  EXPECT_EQ(WriterOfTemporaryName(".x.ffffffff00000000.part"), WriterId{0xffffffff});
  for (const char* other :
       {"email-7.eml", ".email-7.eml.part", ".email-7.eml.0123ABCDdeadbeef.part",
        ".email-7.eml.0123abcddeadbee.part", ".email-7.eml.0123abcddeadbeef0.part",
        ".email-7.eml-0123abcddeadbeef.part", "email-7.eml.0123abcddeadbeef.part",
        "..0123abcddeadbeef.part", ".email-7.eml.0123abcddeadbeef.part~",
        ".email-7.eml.0123abcdde adbeef.part"}) {
    EXPECT_EQ(WriterOfTemporaryName(other), std::nullopt) << other;
  }
  EXPECT_EQ(LockFileName(0x00c0ffee), ".quillon-converter.00c0ffee.lock");
  for (const char* other : {".quillon-converter.00C0FFEE.lock", ".quillon-converter.c0ffee.lock",
                            "quillon-converter.00c0ffee.lock", ".quillon-converter.00c0ffee.lck"}) {
    EXPECT_EQ(WriterOfLockName(other), std::nullopt) << other;
  }
}

}  // namespace
}  // namespace qc
