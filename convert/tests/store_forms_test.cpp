// The .pst and .msg forms as the run drives them: which store steps it calls with what, the
// window's texts and boxes, the files it leaves, and how failures are counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "convert/conversion_run.h"
#include "convert/tests/fake_window.h"
#include "convert/tests/test_files.h"
#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/check/msg/msg_checker.h"
#include "util/error.h"

namespace qc {
namespace {

namespace fs = std::filesystem;
using test::FakeWindow;
using test::Listing;
using test::OutFolder;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;
using namespace std::string_literals;

const std::string kSep = "From ???@??? Mon Jan 01 00:00:00 2024\r\n";

std::string Message(const std::string& subject, const std::string& extra = "") {
  return kSep + "From: a@example.com\r\nSubject: " + subject + "\r\n" + extra + "\r\nbody of " +
         subject + "\r\n";
}

// Records what the run asks of a store; fails where a test says so.
class FakeStore final : public StoreSteps {
 public:
  std::vector<std::string> calls;
  std::string failOpen;                // a reason: opening a store throws it
  std::size_t failMessage = SIZE_MAX;  // this message (0-based, whole run) is refused
  std::size_t loseMessage = SIZE_MAX;  // from this message on, the store can no longer be written
  std::size_t partAt = SIZE_MAX;       // adding this message completes a part ("part.pst") first
  std::string failClose;               // a reason: closing a mailbox's store throws it
  std::size_t messages = 0;

  std::string openTemporaryStore(const std::string& target) override {
    calls.push_back("temporary " + target);
    if (!failOpen.empty()) throw Error(failOpen);
    temporary_ = true;
    return target + "Temp.pst";
  }
  std::string openMailboxStore(const std::string& target, const std::string& name) override {
    calls.push_back("open " + name);
    if (!failOpen.empty()) throw Error(failOpen);
    return target + name + ".pst";
  }
  void createMailboxFolder(const std::string& name) override { calls.push_back("folder " + name); }
  std::string createFolderAt(const std::vector<std::string>& parents,
                             const std::string& name) override {
    std::string path;
    for (const auto& p : parents) path += p + "\\";
    calls.push_back("folder " + path + name);
    return name;
  }
  StoredAt addMessage(const mapi::Message& message, std::uint64_t) override {
    const auto* subject = message.props.get<std::string>(mapi::tags::PR_SUBJECT_W);
    const auto* flags = message.props.get<std::int32_t>(mapi::tags::PR_MESSAGE_FLAGS);
    calls.push_back("message " + (subject ? *subject : "?") + " flags " +
                    (flags ? std::to_string(*flags) : "?"));
    if (messages >= loseMessage) {
      StoreLost lost("the disk is full");
      if (messages == partAt) lost.completedPart = "part.pst";
      ++messages;
      throw lost;
    }
    if (messages++ == failMessage) throw Error("the store refused message " + *subject);
    StoredAt at;
    if (messages - 1 == partAt) at.completedPart = "part.pst";
    return at;
  }
  std::string closeStore() override {
    if (temporary_) {
      calls.push_back("close temporary");
      return "Temp.pst";
    }
    calls.push_back("close");
    if (!failClose.empty()) throw Error(failClose);
    return "closed.pst";
  }
  void dropStore() override { calls.push_back("drop"); }

 private:
  bool temporary_ = false;
};

struct Harness {
  FakeWindow window;
  NullLog log;
  FinderSlot finder{window, log};
  FakeStore store;
  unsigned writers = 2;
  std::string fallbackCharset;  // the run's own unless set
  RunReport run(Form form, std::vector<std::string> rows, const std::string& out) {
    window.form = form;
    window.rows = std::move(rows);
    window.browseAnswer = out;
    ConversionRun conversion(window, finder, &store);
    conversion.setWriterThreads(writers);
    if (!fallbackCharset.empty()) conversion.setFallbackCharset(fallbackCharset);
    return conversion.CmdConvert_Click();
  }
};

class StoreForms : public ::testing::TestWithParam<unsigned> {};

// One data file for every mailbox: their folders nested as their directories; when the file
// cannot be kept at the end, every message counted for it is a failure after all.
TEST(SingleStoreRun, AStoreNotKeptTakesItsMessagesCountsWithIt) {
  TempDir in, out;
  WriteFile(in / "Mail/Inbox.mbx", Message("one") + Message("two"));
  WriteFile(in / "Mail/Old/Sent.mbx", Message("three"));
  Harness h;
  h.store.failClose = "the disk is full";
  ConversionRun conversion(h.finder, &h.store);
  RunRequest request;
  request.form = Form::PST;
  request.mailboxes = {in / "Mail/Inbox.mbx", in / "Mail/Old/Sent.mbx"};
  request.targetFolder = out.path().string();
  request.singleStore = "All";
  const RunReport report = conversion.run(request);
  EXPECT_EQ(h.store.calls,
            (std::vector<std::string>{"open All", "folder Inbox.mbx", "message one flags 1",
                                      "message two flags 1", "folder Old\\Sent.mbx",
                                      "message three flags 1", "close"}));
  EXPECT_EQ(report.messagesWritten, 0);
  EXPECT_EQ(report.messagesFailed, 3);
  EXPECT_TRUE(report.storeFiles.empty());
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_EQ(report.problems[0],
            "the disk is full: the Outlook data file was not kept, so its 3 messages are not "
            "converted");
}

// The run's one data file lost to a full disk in its second mailbox: the messages already in it,
// the first mailbox's too, are counted as failed, that mailbox's line says none was written,
// and the run stops there instead of failing every message of the mailboxes after it.
TEST(SingleStoreRun, AStoreLostMidwayStopsTheRunWithEveryMessageInItFailed) {
  TempDir in, out;
  WriteFile(in / "Mail/A.mbx", Message("a1") + Message("a2"));
  WriteFile(in / "Mail/B.mbx", Message("b1") + Message("b2") + Message("b3"));
  WriteFile(in / "Mail/C.mbx", Message("c1"));
  WriteFile(in / "Mail/D.mbx", Message("d1"));
  struct Rows final : RunObserver {
    std::vector<MailboxSummary> done;
    void mailboxDone(std::size_t, const MailboxSummary& summary) override {
      done.push_back(summary);
    }
  } rows;
  for (const bool last : {false, true}) {
    SCOPED_TRACE(last ? "lost in the last mailbox" : "lost before the last mailbox");
    Harness h;
    h.store.loseMessage = 3;  // b2
    ConversionRun conversion(h.finder, &h.store);
    conversion.addObserver(&rows);
    rows.done.clear();
    RunRequest request;
    request.form = Form::PST;
    request.mailboxes = {in / "Mail/A.mbx", in / "Mail/B.mbx"};
    if (!last)
      request.mailboxes.insert(request.mailboxes.end(), {in / "Mail/C.mbx", in / "Mail/D.mbx"});
    request.targetFolder = out.path().string();
    request.singleStore = "All";
    const RunReport report = conversion.run(request);

    EXPECT_EQ(h.store.calls,
              (std::vector<std::string>{"open All", "folder A.mbx", "message a1 flags 1",
                                        "message a2 flags 1", "folder B.mbx", "message b1 flags 1",
                                        "message b2 flags 1", "drop"}));
    EXPECT_EQ(report.messagesWritten, 0);
    EXPECT_EQ(report.bytesWritten, 0u);
    EXPECT_EQ(report.messagesFailed, 5);
    EXPECT_TRUE(report.storeFiles.empty());
    ASSERT_EQ(rows.done.size(), 2u);
    EXPECT_EQ(rows.done[1].messagesWritten, 0);
    EXPECT_EQ(rows.done[1].messagesFailed, 3);
    ASSERT_GE(report.problems.size(), 2u);
    EXPECT_NE(report.problems[0].find("the disk is full: the Outlook data file is not kept"),
              std::string::npos)
        << report.problems[0];
    EXPECT_EQ(report.problems[1],
              "the disk is full: the Outlook data file was not kept, so its 2 messages from "
              "earlier mailboxes are not converted either");
    if (last) {
      EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
      EXPECT_EQ(report.problems.size(), 2u);
    } else {
      EXPECT_EQ(report.outcome, RunReport::Outcome::Stopped);
      EXPECT_EQ(report.mailboxIndex, 2u);
      EXPECT_TRUE(report.mailboxPath.ends_with("B.mbx")) << report.mailboxPath;
      EXPECT_EQ(report.stopReason,
                "the disk is full: the Outlook data file can no longer be written, so the 2 "
                "mailboxes after '" +
                    report.mailboxPath + "' are not converted");
    }
  }
}

// A full disk in the second part of a mailbox's store, also at its first message, right after
// the first part was completed: the first part stays, with its messages written, and the
// failure says only the lost part's messages are not converted.
TEST(SplitStores, APartLostKeepsThePartsBeforeIt) {
  TempDir in, out;
  WriteFile(in / "Inbox.mbx", Message("one") + Message("two") + Message("three") + Message("four"));
  for (const std::size_t lost : {3, 2}) {
    SCOPED_TRACE("lost at message " + std::to_string(lost));
    Harness h;
    h.store.partAt = 2;
    h.store.loseMessage = lost;
    const RunReport report = h.run(Form::PST, {in / "Inbox.mbx"}, out.path().string());
    EXPECT_EQ(report.messagesWritten, 2);
    EXPECT_EQ(report.messagesFailed, 2);
    EXPECT_EQ(report.storeFiles, std::vector<std::string>{"part.pst"});
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_NE(report.problems[0].find(": this part of the Outlook data file is not kept, so none "
                                      "of this mailbox's messages in it are converted"),
              std::string::npos)
        << report.problems[0];
  }
}

TEST_P(StoreForms, PstPutsEveryMessageIntoItsMailboxsStoreInOrder) {
  TempDir in, out;
  const std::string inbox = in / "Mail/Inbox.mbox";
  const std::string empty = in / "Mail/Empty.mbx";
  WriteFile(inbox, Message("one") + Message("two") +
                       Message("three", "Content-Type: multipart/mixed; boundary=b\r\n") +
                       "--b\r\nContent-Type: text/plain\r\n\r\nx\r\n--b\r\nContent-Type: "
                       "application/octet-stream\r\nContent-Disposition: attachment; "
                       "filename=a.bin\r\n\r\nAAAA\r\n--b--\r\n");
  WriteFile(empty, "");
  Harness h;
  h.writers = GetParam();
  const RunReport report = h.run(Form::PST, {inbox, empty}, out.path().string());

  EXPECT_EQ(report.messagesWritten, 3);
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  const std::string target = test::FolderText(out.path());
  EXPECT_EQ(h.store.calls,
            (std::vector<std::string>{"open Inbox", "folder Inbox", "message one flags 1",
                                      "message two flags 1", "message three flags 17", "close",
                                      "open Empty.mbx", "folder Empty.mbx", "close"}));
  EXPECT_EQ(report.storeFiles, (std::vector<std::string>{"closed.pst", "closed.pst"}));
  // The mailbox folders are made and stay empty: no intermediate file anywhere.
  EXPECT_TRUE(Listing(OutFolder(out, inbox)).empty());
  EXPECT_TRUE(Listing(OutFolder(out, empty)).empty());
  ASSERT_FALSE(h.window.boxes.empty());
  EXPECT_EQ(h.window.boxes.back().text,
            "Your messages from Quillon Mailboxes has been successfully exported to Outlook (.pst) "
            "file.\r\n" +
                std::string(75, '*') +
                "\r\nStart Outlook and open converted pst file by clicking File -> Open -> Outlook "
                "Data File. And it all done !");
  EXPECT_EQ(h.window.labelHistory[Label::LblProgress].back(), "");
  EXPECT_NE(std::find(h.window.labelHistory[Label::LblProgress].begin(),
                      h.window.labelHistory[Label::LblProgress].end(), "Saved 3 Message(s)"),
            h.window.labelHistory[Label::LblProgress].end());
}

TEST_P(StoreForms, MsgWritesOneOutlookFilePerMessageThroughOneTemporaryStore) {
  TempDir in, out;
  const std::string a = in / "A/Inbox.mbx";
  const std::string b = in / "B/Inbox.mbx";
  WriteFile(a, Message("first") + Message("second") + Message("third"));
  WriteFile(b, Message("other"));
  Harness h;
  h.writers = GetParam();
  const RunReport report = h.run(Form::MSG, {a, b}, out.path().string());

  EXPECT_EQ(report.messagesWritten, 4);
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  EXPECT_EQ(h.store.calls,
            (std::vector<std::string>{"temporary " + test::FolderText(out.path()),
                                      "folder Inbox.mbx", "folder Inbox.mbx", "close temporary"}));
  EXPECT_EQ(Listing(OutFolder(out, a)),
            (std::vector<std::string>{"Email-0.msg", "Email-1.msg", "Email-2.msg"}));
  EXPECT_EQ(Listing(OutFolder(out, b)), std::vector<std::string>{"Email-0.msg"});
  const std::string second = ReadFile(OutFolder(out, a) + "/Email-1.msg");
  const mapi::Bytes bytes(second.begin(), second.end());
  EXPECT_EQ(mapi::msg::CheckMsg(bytes), std::vector<std::string>{});
  EXPECT_NE(second.find("s\0e\0c\0o\0n\0d\0"s), std::string::npos);  // the subject, UTF-16
  EXPECT_EQ(h.window.boxes.back().text,
            "Your messages from Quillon Mailboxes has been successfully exported.\r\n" +
                std::string(75, '*') + "\r\n");
}

// Stopped early in a long mailbox, while the workers are far ahead of what the run has taken: the
// .msg files are exactly those counted, and a store being written is dropped and counts nothing.
TEST_P(StoreForms, AStoppedRunCountsExactlyWhatItLeaves) {
  TempDir in, out;
  const std::string box = in / "long.mbx";
  std::string content;
  for (int m = 0; m < 2000; ++m) content += Message("m" + std::to_string(m));
  WriteFile(box, content);
  for (Form form : {Form::MSG, Form::PST}) {
    Harness h;
    h.window.form = form;
    h.window.rows = {box};
    h.window.browseAnswer = out.path().string();
    h.window.onYield = [](FakeWindow& w) {
      if (w.labels[Label::LblProgress] == "Saved 50 Message(s)") throw StopRequested{};
    };
    ConversionRun conversion(h.window, h.finder, &h.store);
    conversion.setWriterThreads(GetParam());
    EXPECT_EQ(conversion.CmdConvert_Click().outcome, RunReport::Outcome::Interrupted);
    const RunReport& report = conversion.report();
    if (form == Form::MSG) {
      EXPECT_EQ(report.messagesWritten, 50);
      ASSERT_EQ(report.warnings.size(), 1u);
      EXPECT_EQ(report.warnings[0], "the run was stopped at message 51 of '" + box +
                                        "': the temporary Outlook data file '" +
                                        test::FolderText(out.path()) + "Temp.pst' was not kept");
      std::vector<std::string> expected;
      for (int j = 0; j < 50; ++j) expected.push_back("Email-" + std::to_string(j) + ".msg");
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(Listing(OutFolder(out, box)), expected);
      fs::remove_all(OutFolder(out, box));
    } else {
      EXPECT_EQ(report.messagesWritten, 0);
      EXPECT_EQ(report.bytesWritten, 0u);
      EXPECT_TRUE(report.storeFiles.empty());
      ASSERT_EQ(report.warnings.size(), 1u);
      EXPECT_NE(report.warnings[0].find("it was not kept, and its 50 messages are not counted"),
                std::string::npos)
          << report.warnings[0];
      EXPECT_EQ(std::count(h.store.calls.begin(), h.store.calls.end(), "close"), 0);
    }
  }
}

// A message whose parts are nested deeper than the import takes apart is converted all the same,
// kept whole as an attachment, and the run says so, naming the message.
TEST_P(StoreForms, AMessageNestedTooDeepIsKeptWholeWithAWarning) {
  TempDir in, out;
  const std::string box = in / "deep.mbx";
  std::string deep = Message("deep", "Content-Type: multipart/mixed; boundary=n0\r\n");
  for (int i = 1; i < 1100; ++i) {
    deep += "--n" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=n" +
            std::to_string(i) + "\r\n\r\n";
  }
  deep += "--n1099\r\nContent-Type: text/plain\r\n\r\nThe text at the bottom.\r\n";
  for (int i = 1099; i >= 0; --i) deep += "--n" + std::to_string(i) + "--\r\n";
  const std::string first = Message("one");
  WriteFile(box, first + deep + Message("three"));
  for (Form form : {Form::PST, Form::MSG}) {
    SCOPED_TRACE(form == Form::PST ? "pst" : "msg");
    Harness h;
    h.writers = GetParam();
    const RunReport report = h.run(form, {box}, out.path().string());
    EXPECT_EQ(report.messagesWritten, 3);
    EXPECT_FALSE(report.anyFailed()) << report.problems.front();
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0],
              "message 2 (offset " + std::to_string(first.size()) + ") of '" + box +
                  "': its parts are nested too deep to be converted one by one; the whole "
                  "message is kept as the attachment \"Original message.eml\"");
    if (form == Form::PST) {
      EXPECT_NE(std::find(h.store.calls.begin(), h.store.calls.end(), "message deep flags 17"),
                h.store.calls.end());
    } else {
      const std::string msg = ReadFile(OutFolder(out, box) + "/Email-1.msg");
      const mapi::Bytes bytes(msg.begin(), msg.end());
      EXPECT_EQ(mapi::msg::CheckMsg(bytes), std::vector<std::string>{});
      const auto file = mapi::cfb::ReadCompoundFile(bytes);
      bool whole = false;
      for (const auto& [path, data] : file.streams) {
        if (path.ends_with("__substg1.0_37010102") &&
            std::string(data.begin(), data.end()) == deep.substr(kSep.size())) {
          whole = true;
        }
      }
      EXPECT_TRUE(whole);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(OnWorkerThreadsAndInline, StoreForms, ::testing::Values(2u, 0u));

TEST(StoreForms, AStoreThatCannotBeCreatedStopsTheRunAndSaysWhy) {
  TempDir in, out;
  const std::string box = in / "x.mbx";
  WriteFile(box, Message("a"));
  for (Form form : {Form::PST, Form::MSG}) {
    Harness h;
    h.store.failOpen = "cannot create '/out/x.mbx.pst': Permission denied";
    const RunReport report = h.run(form, {box, box}, out.path().string());
    EXPECT_EQ(report.outcome, RunReport::Outcome::Stopped);
    ASSERT_EQ(h.window.boxes.size(), 1u);
    EXPECT_EQ(h.window.boxes[0].title, "Outlook Error");
    EXPECT_EQ(h.window.boxes[0].style, MsgStyle::OkInformation);
    const std::string& text = h.window.boxes[0].text;
    EXPECT_NE(text.find("cannot create '/out/x.mbx.pst': Permission denied"), std::string::npos);
    EXPECT_EQ(text.find("Outlook 2010"), std::string::npos) << "no advice to install Outlook";
    EXPECT_EQ(text.find("32 Bit"), std::string::npos);
    EXPECT_EQ(h.window.convertEnabled, (std::vector<bool>{false, true}));
    EXPECT_EQ(h.window.optionsCleared, 1);
    EXPECT_EQ(h.store.calls.size(), 1u) << "the run stops at once";
  }
  // Without any store the run stops the same way.
  FakeWindow window;
  NullLog log;
  FinderSlot finder(window, log);
  window.form = Form::PST;
  window.rows = {box};
  window.browseAnswer = out.path().string();
  ConversionRun run(window, finder);
  EXPECT_EQ(run.CmdConvert_Click().outcome, RunReport::Outcome::Stopped);
  EXPECT_EQ(window.boxes.at(0).title, "Outlook Error");
}

// A mailbox cut short after it was searched: the messages it no longer holds whole are failures
// that say so, never messages imported from what is left of them; small messages are read whole
// at once, large ones where they lie, and both must tell.
TEST_P(StoreForms, AMailboxThatShrinksDuringTheRunImportsNoCutMessage) {
  const std::string large = "X-Padding: " + std::string(1'200'000, 'p') + "\r\n";
  const std::string content =
      Message("one") + Message("two") + Message("three") + Message("four", large);
  const struct {
    std::size_t cut;
    int written;
    const char* firstFailed;
  } cases[] = {
      {content.find("body of two") + 4, 1, "message 2 (offset"},
      {content.find(std::string(1000, 'p')) + 500'000, 3, "message 4 (offset"},
  };
  for (const auto& c : cases) {
    for (Form form : {Form::MSG, Form::PST}) {
      TempDir in, out;
      const std::string box = in / "moving.mbx";
      WriteFile(box, content);
      Harness h;
      h.writers = GetParam();
      bool shrunk = false;
      h.window.onYield = [&](FakeWindow& w) {
        if (!shrunk && w.labels[Label::LblEmlsFound] == "4 Messages") {
          fs::resize_file(box, c.cut);
          shrunk = true;
        }
      };
      const RunReport report = h.run(form, {box}, out.path().string());
      const std::string what = c.firstFailed + std::string(form == Form::MSG ? " .msg" : " .pst");
      ASSERT_TRUE(shrunk) << what;
      EXPECT_EQ(report.messagesWritten, c.written) << what;
      EXPECT_EQ(report.messagesFailed, 4 - c.written) << what;
      ASSERT_FALSE(report.problems.empty()) << what;
      EXPECT_NE(report.problems.at(0).find(c.firstFailed), std::string::npos)
          << report.problems.at(0);
      EXPECT_NE(report.problems.at(0).find("shrank"), std::string::npos) << report.problems.at(0);
      if (form == Form::MSG) {
        EXPECT_EQ(Listing(OutFolder(out, box)).size(), static_cast<std::size_t>(c.written)) << what;
      } else {
        EXPECT_EQ(
            std::count_if(h.store.calls.begin(), h.store.calls.end(),
                          [](const std::string& call) { return call.starts_with("message"); }),
            c.written)
            << what;
      }
      EXPECT_EQ(h.window.boxes.back().text.find("successfully"), std::string::npos) << what;
    }
  }
}

// A mailbox that cannot be read leaves no store behind (an empty one would pass for it); one that
// is readable and empty keeps its empty store.
TEST(StoreForms, AnUnreadableMailboxLeavesNoStore) {
  TempDir in, out;
  const std::string empty = in / "empty.mbx";
  const std::string folder = in / "folder.mbx";
  WriteFile(empty, "");
  fs::create_directories(folder);
  Harness h;
  const RunReport report =
      h.run(Form::PST, {in / "missing.mbx", folder, empty}, out.path().string());
  EXPECT_EQ(h.store.calls,
            (std::vector<std::string>{"open missing.mbx", "folder missing.mbx", "drop",
                                      "open folder.mbx", "folder folder.mbx", "drop",
                                      "open empty.mbx", "folder empty.mbx", "close"}));
  EXPECT_EQ(report.storeFiles, std::vector<std::string>{"closed.pst"});
  EXPECT_EQ(report.mailboxesFailed, 2);
}

TEST(StoreForms, MsgWarnsOfOutlookFilesOfAnEarlierRun) {
  TempDir in, out;
  const std::string box = in / "In.mbx";
  WriteFile(box, Message("1") + Message("2") + Message("3"));
  const std::string folder = OutFolder(out, box);
  for (int j = 0; j < 10; ++j) WriteFile(folder + "/Email-" + std::to_string(j) + ".msg", "old");
  WriteFile(folder + "/email-4.eml", "another form's: no Outlook file");
  WriteFile(folder + "/Email-07.msg", "not a name the run writes");
  Harness h;
  const RunReport report = h.run(Form::MSG, {box}, out.path().string());
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  ASSERT_EQ(report.warnings.size(), 1u);
  EXPECT_EQ(report.warnings[0], "'" + folder +
                                    "' also holds 7 message files of an earlier run that this run "
                                    "did not replace; they are not messages of this mailbox as it "
                                    "is now");
  EXPECT_EQ(ReadFile(folder + "/Email-3.msg"), "old");  // warned of, never deleted
}

// A failed run must not leave the figures of the run before it on the window.
TEST(StoreForms, ARunThatFailsEarlyShowsNoFiguresOfTheRunBefore) {
  TempDir in, out;
  const std::string box = in / "x.mbx";
  WriteFile(box, Message("a") + Message("b"));
  Harness h;
  h.run(Form::PST, {box}, out.path().string());
  ASSERT_EQ(h.window.label(Label::LblProgress), "Saved 2 Message(s)");
  h.store.failOpen = "cannot create '/ro/x.mbx.pst': Read-only file system";
  const RunReport report = h.run(Form::PST, {box}, out.path().string());
  ASSERT_EQ(report.outcome, RunReport::Outcome::Stopped);
  EXPECT_EQ(report.stopReason, "cannot create '/ro/x.mbx.pst': Read-only file system");
  EXPECT_EQ(h.window.label(Label::LblProgress), "Saving :");
  EXPECT_EQ(h.window.label(Label::LblEmlsFound), "");
  EXPECT_EQ(h.window.label(Label::LblIMMFile), "");
  EXPECT_EQ(h.window.label(Label::LblProgessCurrent), "Mailbox 1 (of 1) ");
  EXPECT_EQ(h.window.progress[Bar::ProgressBar1].back(), 0.0);
  EXPECT_EQ(h.window.progress[Bar::ProgressBar2].back(), 0.0);
}

TEST(StoreForms, AMessageTheStoreRefusesIsCountedAndTheRestGoOn) {
  TempDir in, out;
  const std::string box = in / "x.mbx";
  WriteFile(box, Message("a") + Message("b") + Message("c"));
  Harness h;
  h.store.failMessage = 1;
  const RunReport report = h.run(Form::PST, {box}, out.path().string());
  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(report.messagesFailed, 1);
  EXPECT_NE(report.problems.at(0).find("the store refused message b"), std::string::npos);
  EXPECT_EQ(h.store.calls.back(), "close");
  EXPECT_EQ(h.window.boxes.back().style, MsgStyle::OkExclamation);
  EXPECT_EQ(h.window.boxes.back().text.find("successfully"), std::string::npos);
}

// A store that cannot be completed (the disk fills while its tables are written): its messages
// were added but are kept nowhere, so they are failures, not written messages.
TEST(StoreForms, AStoreThatCannotBeClosedCountsItsMessagesAsFailed) {
  TempDir in, out;
  const std::string box = in / "x.mbx";
  const std::string empty = in / "e.mbx";
  WriteFile(box, Message("a") + Message("b") + Message("c"));
  WriteFile(empty, "");
  Harness h;
  h.store.failClose = "cannot write '/out/x.mbx.pst': No space left on device";
  const RunReport report = h.run(Form::PST, {box, empty}, out.path().string());
  EXPECT_EQ(report.messagesWritten, 0);
  EXPECT_EQ(report.bytesWritten, 0u);
  EXPECT_EQ(report.messagesFailed, 3);
  EXPECT_EQ(report.otherFailures, 1);  // the empty mailbox's store: no message to count
  EXPECT_TRUE(report.storeFiles.empty());
  ASSERT_EQ(report.problems.size(), 2u);
  EXPECT_EQ(report.problems[0],
            "cannot write '/out/x.mbx.pst': No space left on device: the Outlook data file was "
            "not kept, so its 3 messages are not converted");
  EXPECT_EQ(h.window.boxes.back().style, MsgStyle::OkExclamation);
  EXPECT_EQ(h.window.boxes.back().text.find("successfully"), std::string::npos);
}

// Mail that names no charset is read in the fallback the run is given; a charset the message
// names that is not known is a warning of that message, which is converted all the same.
TEST_P(StoreForms, TheRunsFallbackCharsetAndUnknownCharsets) {
  TempDir in, out;
  const std::string inbox = in / "Inbox.mbx";
  WriteFile(inbox, Message("\xCF\xF0\xE8\xE2\xE5\xF2") +
                       Message("odd", "Content-Type: text/plain; charset=x-martian\r\n"));
  const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
  for (const Form form : {Form::PST, Form::MSG}) {
    Harness h;
    h.writers = GetParam();
    h.fallbackCharset = "windows-1251";
    const RunReport report = h.run(form, {inbox}, (out / (form == Form::PST ? "p" : "m")));
    EXPECT_EQ(report.messagesWritten, 2);
    EXPECT_FALSE(report.anyFailed()) << report.problems.front();
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0].rfind("message 2 (offset ", 0), 0u) << report.warnings[0];
    EXPECT_NE(report.warnings[0].find("\"x-martian\" is not known"), std::string::npos);
    EXPECT_NE(report.warnings[0].find("else as windows-1251"), std::string::npos);
    if (form == Form::PST) {
      EXPECT_EQ(h.store.calls[2], "message " + privet + " flags 1");
    }
  }
  Harness western;
  western.run(Form::PST, {inbox}, out / "w");
  EXPECT_EQ(western.store.calls[2],
            "message \xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2 flags 1");
}

}  // namespace
}  // namespace qc
