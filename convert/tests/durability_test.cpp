// What the run leaves lasts: message files and stores are on the disk before the run reports
// them, a flush that fails is a failure, and what killed runs left behind is cleared away by the
// next run into the same folder, never the files of a run still going.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "convert/conversion_run.h"
#include "convert/store_library.h"
#include "convert/tests/fake_window.h"
#include "convert/tests/test_files.h"
#include "util/tests/child_writer.h"
#ifndef _WIN32
#include "util/tests/sync_calls.h"
#endif
#include "util/writer_lock.h"

namespace qc {
namespace {

namespace fs = std::filesystem;
using test::FakeWindow;
using test::OutFolder;
using test::ReadFile;
#ifndef _WIN32
using test::SyncCall;
using test::SyncCalls;
#endif
using test::TempDir;
using test::WriteFile;

const std::string kSep = "From ???@??? Mon Jan 01 00:00:00 2024\r\n";

std::string Messages(int count) {
  std::string box;
  for (int m = 0; m < count; ++m) {
    box += kSep + "From: a@example.com\r\nSubject: " + std::to_string(m) + "\r\n\r\nbody\r\n";
  }
  return box;
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

std::size_t FilesBelow(const fs::path& folder) {
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    files += entry.is_directory() ? 0 : 1;
  return files;
}

struct Harness {
  FakeWindow window;
  NullLog log;
  FinderSlot finder{window, log};
  StoreLibrary stores;
  unsigned writers = 2;
  RunObserver* observer = nullptr;
  RunReport run(Form form, std::vector<std::string> rows, const TempDir& out) {
    window.form = form;
    window.rows = std::move(rows);
    window.browseAnswer = out.path().string();
    ConversionRun conversion(window, finder, &stores);
    conversion.setWriterThreads(writers);
    conversion.addObserver(observer);
    return conversion.CmdConvert_Click();
  }
};

#ifdef _WIN32
// The flushes are watched through the POSIX calls the program makes (fsync, syncfs), which a
// test program intercepts; Windows flushes each file of a mailbox by its name instead.
TEST(RunDurability, MessageFilesOfAMailboxAreFlushedByName) {
  TempDir in, out;
  const std::string box = in / "a.mbx";
  WriteFile(box, Messages(3));
  Harness h;
  const RunReport report = h.run(Form::EML, {box}, out);
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  EXPECT_EQ(report.messagesWritten, 3);
  EXPECT_EQ(FilesBelow(out.path()), 3u);
}
#else
// What the disk had been asked to keep by the time each mailbox was reported done, and when
// each store was reported written.
class SyncsSeen final : public RunObserver {
 public:
  explicit SyncsSeen(const SyncCalls& calls) : calls_(calls) {}
  std::vector<std::vector<SyncCall> > atMailboxDone;
  std::vector<std::vector<SyncCall> > atStoreWritten;
  void mailboxDone(std::size_t, const MailboxSummary&) override {
    atMailboxDone.push_back(calls_.calls());
  }
  void storeWritten(std::string_view) override { atStoreWritten.push_back(calls_.calls()); }

 private:
  const SyncCalls& calls_;
};

class RunDurability : public ::testing::TestWithParam<unsigned> {};

TEST_P(RunDurability, EachMailboxsFilesAreOnTheDiskBeforeItIsDone) {
  for (const Form form : {Form::EML, Form::MSG}) {
    TempDir in, out;
    const std::string a = in / "a.mbx";
    const std::string b = in / "b.mbx";
    WriteFile(a, Messages(3));
    WriteFile(b, Messages(2));
    SyncCalls calls;
    SyncsSeen seen(calls);
    Harness h;
    h.writers = GetParam();
    h.observer = &seen;
    const RunReport report = h.run(form, {a, b}, out);
    EXPECT_FALSE(report.anyFailed());
    EXPECT_EQ(report.messagesWritten, 5);
    const SyncCall flushA{"syncfs", OutFolder(out, a)};
    const SyncCall flushB{"syncfs", OutFolder(out, b)};
    ASSERT_EQ(seen.atMailboxDone.size(), 2u);
    EXPECT_EQ(std::count(seen.atMailboxDone[0].begin(), seen.atMailboxDone[0].end(), flushA), 1);
    EXPECT_EQ(std::count(seen.atMailboxDone[1].begin(), seen.atMailboxDone[1].end(), flushB), 1);
    // Once per mailbox, not per file; the .msg form's own store is flushed when it is closed.
    EXPECT_EQ(calls.count("syncfs"), 2u);
    EXPECT_EQ(calls.count("fsync"), form == Form::MSG ? 2u : 0u);
  }
}

TEST_P(RunDurability, MessageFilesThatCannotBeFlushedAreFailures) {
  TempDir in, out;
  const std::string a = in / "a.mbx";
  const std::string b = in / "b.mbx";
  WriteFile(a, Messages(3));
  WriteFile(b, Messages(2));
  SyncCalls calls;
  calls.failNext("syncfs", EIO, OutFolder(out, a));
  Harness h;
  h.writers = GetParam();
  const RunReport report = h.run(Form::EML, {a, b}, out);
  EXPECT_TRUE(report.anyFailed());
  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(report.messagesFailed, 3);
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_NE(report.problems[0].find("'" + OutFolder(out, a) + "': Input/output error"),
            std::string::npos)
      << report.problems[0];
  EXPECT_NE(report.problems[0].find("3 message files written there may be lost"), std::string::npos)
      << report.problems[0];
}

// A stopped run counts the files it leaves as written: they must last as well.
TEST_P(RunDurability, AStoppedRunFlushesTheFilesItCounts) {
  TempDir in, out;
  const std::string box = in / "stop.mbx";
  WriteFile(box, Messages(300));
  SyncCalls calls;
  Harness h;
  h.writers = GetParam();
  h.window.form = Form::EML;
  h.window.rows = {box};
  h.window.browseAnswer = out.path().string();
  h.window.onYield = [](FakeWindow& w) {
    if (w.labels[Label::LblProgress] == "Saved 100 Message(s)") throw StopRequested{};
  };
  ConversionRun conversion(h.window, h.finder);
  conversion.setWriterThreads(h.writers);
  EXPECT_EQ(conversion.CmdConvert_Click().outcome, RunReport::Outcome::Interrupted);
  EXPECT_EQ(conversion.report().messagesWritten, 100);
  EXPECT_EQ(calls.calls(), (std::vector<SyncCall>{{"syncfs", OutFolder(out, box)}}));
}

TEST(RunDurability, AStoreIsOnTheDiskBeforeItIsReportedWritten) {
  TempDir in, out;
  const std::string box = in / "Inbox.mbx";
  WriteFile(box, Messages(3));
  const std::string target = out.path().string();
  const std::string store = target + "/Inbox.mbx.pst";
  {
    SyncCalls calls;
    SyncsSeen seen(calls);
    Harness h;
    h.observer = &seen;
    const RunReport report = h.run(Form::PST, {box}, out);
    EXPECT_FALSE(report.anyFailed());
    ASSERT_EQ(seen.atStoreWritten.size(), 1u);
    const auto& synced = seen.atStoreWritten[0];
    ASSERT_EQ(synced.size(), 2u);
    EXPECT_EQ(synced[0].call, "fsync");
    EXPECT_TRUE(synced[0].path.starts_with(target + "/.Inbox.mbx.pst.")) << synced[0].path;
    EXPECT_EQ(synced[1], (SyncCall{"fsync", target}));
    EXPECT_TRUE(fs::exists(store));
  }
  fs::remove(store);
  SyncCalls calls;
  calls.failNext("fsync", EIO);
  Harness h;
  const RunReport report = h.run(Form::PST, {box}, out);
  EXPECT_TRUE(report.anyFailed());
  EXPECT_EQ(report.messagesWritten, 0);
  EXPECT_EQ(report.messagesFailed, 3);
  EXPECT_TRUE(report.storeFiles.empty());
  EXPECT_EQ(FilesBelow(out.path()), 0u) << "no store, no temporary file";
}

INSTANTIATE_TEST_SUITE_P(OnWorkerThreadsAndInline, RunDurability, ::testing::Values(2u, 0u));
#endif

TEST(RunLeftovers, AKilledRunsTemporaryFilesGoAndTheRunSaysSo) {
  TempDir in, out;
  const std::string box = in / "In.mbx";
  WriteFile(box, Messages(2));
  const std::string folder = OutFolder(out, box);
  WriteFile(folder + "/.email-0.eml.9f3c2a7b5d1e4f60.part", "half a");
  WriteFile(folder + "/.email-1.eml.0000002a00000007.part", "half a message");
  WriteFile(folder + "/" + LockFileName(0x2a), "");
  WriteFile(folder + "/.notes.part", "not ours");
  Harness h;
  const RunReport report = h.run(Form::EML, {box}, out);
  EXPECT_FALSE(report.anyFailed());
  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(Names(folder), (std::set<std::string>{".notes.part", "email-0.eml", "email-1.eml"}));
  ASSERT_EQ(report.warnings.size(), 1u);
  EXPECT_EQ(report.warnings[0], "'" + folder +
                                    "' held 3 leftover temporary files (20 bytes) of an earlier "
                                    "run that was killed; they were removed");
}

// Stores are written straight into the target folder, where a concurrent run may be writing
// its own: a killed run's store goes, the running one's stays.
TEST(RunLeftovers, TheTargetFolderOfStoresIsClearedButForARunningWriter) {
  TempDir in, out;
  const std::string box = in / "In.mbx";
  WriteFile(box, Messages(2));
  const std::string target = out.path().string();
  WriteFile(target + "/.In.mbx.pst.0000002a00000001.part", std::string(1000, 's'));
  test::ChildWriter other(target, "Other.mbx.pst", 13);
  ASSERT_TRUE(other.ready());
  const std::set<std::string> others = [&] {
    std::set<std::string> names = Names(out.path());
    names.erase(".In.mbx.pst.0000002a00000001.part");
    return names;
  }();
  ASSERT_EQ(others.size(), 2u);
  for (const Form form : {Form::PST, Form::MSG}) {
    Harness h;
    const RunReport report = h.run(form, {box}, out);
    EXPECT_FALSE(report.anyFailed());
    if (form == Form::PST) {
      ASSERT_EQ(report.warnings.size(), 1u);
      EXPECT_EQ(report.warnings[0], "'" + test::FolderText(out.path()) +
                                        "' held 1 leftover temporary file (1000 bytes) of an "
                                        "earlier run that was killed; it was removed");
    } else {
      EXPECT_TRUE(report.warnings.empty());
    }
    for (const auto& name : others) EXPECT_TRUE(fs::exists(out.path() / name)) << name;
  }
}

}  // namespace
}  // namespace qc
