// The run as front ends without a window meet it: a request in, events out, a stop ended by the
// run itself, and the message files named in one place.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/conversion_run.h"
#include "convert/store_library.h"
#include "convert/tests/test_files.h"
#include "mapi/check/pst/pst_checker.h"

namespace qc {
namespace {

using test::OutFolder;
using test::TempDir;
using test::WriteFile;

std::string Messages(int count) {
  std::string box;
  for (int m = 0; m < count; ++m) {
    box += "From ???@??? Mon Jan 01 00:00:00 2024\r\nFrom: a@example.com\r\nSubject: m" +
           std::to_string(m) + "\r\n\r\nbody\r\n";
  }
  return box;
}

// Every event as a line, and a stop where the test says.
class Recorder final : public RunObserver {
 public:
  std::vector<std::string> events;
  std::vector<Failure> problems;
  std::function<void(std::size_t)> onMessageDone;

  void runStarted(const RunRequest& r) override {
    events.push_back("run " + std::to_string(r.mailboxes.size()));
  }
  void mailboxStarted(std::size_t i, std::size_t n, std::string_view) override {
    events.push_back("mailbox " + std::to_string(i + 1) + "/" + std::to_string(n));
  }
  void messagesFound(std::size_t n) override { events.push_back("found " + std::to_string(n)); }
  void messageWritten(std::size_t j, std::uint64_t) override {
    events.push_back("written " + std::to_string(j));
  }
  void messageDone(std::size_t j, std::int64_t) override {
    if (onMessageDone) onMessageDone(j);
  }
  void problem(const Failure& f) override {
    problems.push_back(f);
    events.push_back("problem");
  }
  void storeWritten(std::string_view) override { events.push_back("store"); }
  void mailboxDone(std::size_t i, const MailboxSummary& s) override {
    events.push_back("done " + std::to_string(i + 1) + ": " + std::to_string(s.messagesWritten));
  }
  void runDone(const RunReport&) override { events.push_back("end"); }
};

// The store library, with the folders it made for mailboxes written down.
class FolderLog final : public StoreLibrary {
 public:
  std::vector<std::string> folders;
  std::string createFolderAt(const std::vector<std::string>& parents,
                             const std::string& name) override {
    std::string path;
    for (const auto& p : parents) path += p + "\\";
    path += StoreLibrary::createFolderAt(parents, name);
    folders.push_back(path);
    return name;
  }
};

struct RequestRun {
  NoScreen screen;
  NullLog log;
  FinderSlot finder{screen, log};
  FolderLog stores;
  Recorder seen;
  std::string singleStore;
  std::uint64_t partSize = 0;
  RunReport run(Form form, std::vector<std::string> mailboxes, const TempDir& out) {
    stores.setPartSize(partSize);
    ConversionRun conversion(finder, &stores);
    conversion.setWriterThreads(2);
    conversion.addObserver(&seen);
    RunRequest request;
    request.form = form;
    request.mailboxes = std::move(mailboxes);
    request.targetFolder = out.path().string();
    request.singleStore = singleStore;
    return conversion.run(request);
  }
};

TEST(RunEvents, ARequestRunTellsEachStepInOrder) {
  TempDir in, out;
  WriteFile(in / "a.mbx", Messages(2));
  RequestRun r;
  const RunReport report = r.run(Form::PST, {in / "a.mbx", in / "missing.mbx"}, out);
  EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
  EXPECT_EQ(r.seen.events,
            (std::vector<std::string>{"run 2", "mailbox 1/2", "found 2", "written 0", "written 1",
                                      "store", "done 1: 2", "mailbox 2/2", "problem", "found 0",
                                      "done 2: 0", "end"}));
  ASSERT_EQ(r.seen.problems.size(), 1u);
  EXPECT_EQ(r.seen.problems[0].kind, Failure::Kind::Mailbox);
  EXPECT_EQ(report.mailboxesFailed, 1);
}

TEST(RunEvents, AFailedMessageIsAValueThatNamesItsPlace) {
  TempDir in, out;
  WriteFile(in / "a.mbx", Messages(3));
  // The folder for the message files cannot be made: a file stands in its way.
  WriteFile(OutFolder(out, in / "a.mbx"), "in the way");
  RequestRun r;
  const RunReport report = r.run(Form::EML, {in / "a.mbx"}, out);
  ASSERT_EQ(r.seen.problems.size(), 1u);
  EXPECT_EQ(r.seen.problems[0].kind, Failure::Kind::Message);
  EXPECT_EQ(r.seen.problems[0].messages, 3);
  EXPECT_EQ(report.messagesFailed, 3);
  EXPECT_EQ(report.problems[0], r.seen.problems[0].text());
}

// A stop from any observer ends the run as Interrupted, with the counts of what was done and
// exactly the files it counts; no front end has to catch it or rebuild the report.
TEST(RunEvents, AStopEndsTheRunWithWhatWasDone) {
  for (const Form form : {Form::EML, Form::MSG, Form::PST}) {
    TempDir in, out;
    WriteFile(in / "a.mbx", Messages(40));
    WriteFile(in / "b.mbx", Messages(5));
    RequestRun r;
    r.seen.onMessageDone = [](std::size_t j) {
      if (j == 9) throw StopRequested{};
    };
    const RunReport report = r.run(form, {in / "a.mbx", in / "b.mbx"}, out);
    EXPECT_EQ(report.outcome, RunReport::Outcome::Interrupted);
    EXPECT_EQ(report.mailboxIndex, 0u);
    EXPECT_EQ(r.seen.events.back(), "written 9");  // no mailbox done, no end
    std::size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(out.path())) {
      files += e.is_regular_file();
    }
    // The .pst of a stopped mailbox is not kept, and nothing it held counts as written.
    EXPECT_EQ(report.messagesWritten, form == Form::PST ? 0 : 10);
    EXPECT_EQ(files, form == Form::PST ? 0u : 10u) << static_cast<int>(form);
  }
}

// The first row of a .msg run that names no file is a mailbox that cannot be converted, as any
// other row is: it does not stop the run as if its store had failed.
TEST(RunEvents, ABlankFirstRowOfAMsgRunIsOneMailboxFailed) {
  TempDir in, out;
  WriteFile(in / "a.mbx", Messages(2));
  RequestRun r;
  const RunReport report = r.run(Form::MSG, {"  ", in / "a.mbx"}, out);
  EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
  EXPECT_EQ(report.mailboxesFailed, 1);
  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(report.storeFiles.size(), 1u);
}

// One data file for every mailbox: a folder each, nested as the mailboxes' own folders are below
// their common parent; a folder path that two mailboxes would share goes to the later one with
// " (2)"; the data file's name is never taken from an earlier file.
TEST(SingleStore, EveryMailboxAFolderNestedAsItsDirectories) {
  TempDir in, out;
  WriteFile(in / "Mail/Inbox.mbx", Messages(2));
  WriteFile(in / "Mail/Work/2003/Projects.mbx", Messages(3));
  WriteFile(in / "Mail/Work/2003/Projects.mbx.mbox", Messages(1));  // its folder: Projects.mbx
  WriteFile(out / "All.pst", "an earlier file");
  RequestRun r;
  r.singleStore = "All";
  const RunReport report = r.run(Form::PST,
                                 {in / "Mail/Inbox.mbx", in / "Mail/Work/2003/Projects.mbx",
                                  in / "Mail/Work/2003/Projects.mbx.mbox"},
                                 out);
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  EXPECT_EQ(r.stores.folders, (std::vector<std::string>{"Inbox.mbx", "Work\\2003\\Projects.mbx",
                                                        "Work\\2003\\Projects.mbx (2)"}));
  ASSERT_EQ(report.storeFiles, std::vector<std::string>{out / "All (2).pst"});
  mapi::pst::check::Summary summary;
  EXPECT_TRUE(mapi::pst::check::CheckPstFile(report.storeFiles[0], &summary).empty());
  EXPECT_EQ(summary.messages, 6u);
  EXPECT_EQ(report.messagesWritten, 6);
  EXPECT_EQ(test::ReadFile(out / "All.pst"), "an earlier file");
}

// Stores kept below a size go on in parts, each a sound data file with the folders so far; every
// message is in exactly one part, and a part always holds at least one message.
TEST(StoreParts, EachPartIsSoundAndEveryMessageIsInOne) {
  TempDir in, out;
  const std::string body(20000, 'x');
  std::string big;
  for (int m = 0; m < 30; ++m) {
    big += "From ???@??? Mon Jan 01 00:00:00 2024\r\nSubject: m" + std::to_string(m) + "\r\n\r\n" +
           body + "\r\n";
  }
  WriteFile(in / "Mail/Inbox.mbx", big);
  WriteFile(in / "Mail/Old/Sent.mbx", Messages(10));
  for (const bool single : {false, true}) {
    RequestRun r;
    r.singleStore = single ? "All" : "";
    r.partSize = 600 * 1024;
    const RunReport report =
        r.run(Form::PST, {in / "Mail/Inbox.mbx", in / "Mail/Old/Sent.mbx"}, out);
    EXPECT_FALSE(report.anyFailed()) << report.problems.front();
    EXPECT_EQ(report.messagesWritten, 40);
    ASSERT_GT(report.storeFiles.size(), 2u);
    std::size_t messages = 0;
    std::size_t folders = 0;
    for (const std::string& part : report.storeFiles) {
      mapi::pst::check::Summary summary;
      EXPECT_TRUE(mapi::pst::check::CheckPstFile(part, &summary).empty()) << part;
      EXPECT_GE(summary.messages, 1u) << part;
      EXPECT_GE(summary.folders, folders) << part;  // the folders so far, in every part
      folders = summary.folders;
      messages += summary.messages;
      if (summary.messages > 1) {
        EXPECT_LE(std::filesystem::file_size(test::Path(part)), 600u * 1024) << part;
      }
    }
    EXPECT_EQ(messages, 40u);
    const std::string first = single ? "All" : "Inbox.mbx";
    EXPECT_EQ(report.storeFiles[0], out / (first + ".pst"));
    EXPECT_EQ(report.storeFiles[1], out / (first + " (part 2).pst"));
  }
}

TEST(MessageFiles, NamesAndNumbersOfEachForm) {
  EXPECT_EQ(MessageFileName(Form::EML, 12), "email-12.eml");
  EXPECT_EQ(MessageFileName(Form::EMLX, 0), "email-0.emlx");
  EXPECT_EQ(MessageFileName(Form::MSG, 7), "Email-7.msg");
  EXPECT_EQ(MessageFileNumber(Form::EML, "email-12.emlx"), 12u);  // the other file form
  EXPECT_FALSE(IsOwnMessageFile(Form::EML, "email-12.emlx"));
  EXPECT_TRUE(IsOwnMessageFile(Form::MSG, "Email-3.msg"));
  for (const char* name : {"email-012.eml", "email-.eml", "email-1.txt", "Email-1.eml",
                           "email-+1.eml", "email-1234567890123456789.eml"}) {
    EXPECT_FALSE(MessageFileNumber(Form::EML, name)) << name;
  }
  EXPECT_FALSE(MessageFileNumber(Form::MSG, "email-1.msg"));
}

}  // namespace
}  // namespace qc
