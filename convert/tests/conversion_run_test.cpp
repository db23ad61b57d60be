// The run as a user sees it through the window: texts, counts, files, and what happens when
// something goes wrong.
#include "convert/conversion_run.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>

#include "convert/tests/fake_window.h"
#include "convert/tests/test_files.h"
#include "util/tests/test_system.h"

namespace qc {
namespace {

namespace fs = std::filesystem;
using test::FakeWindow;
using test::OutFolder;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kSep = "From ???@??? Mon Jan 01 00:00:00 2024\r\n";
const std::string kDone =
    "Your messages from Quillon Mailboxes has been successfully exported.\r\n" +
    std::string(75, '*') + "\r\n";

struct Harness {
  FakeWindow window;
  NullLog log;
  FinderSlot finder{window, log};
  unsigned writers = 2;
  RunReport run() {
    ConversionRun conversion(window, finder);
    conversion.setWriterThreads(writers);
    return conversion.CmdConvert_Click();
  }
};

// The run writes message files on worker threads or on its own; both must behave the same.
class ConversionRunWriters : public ::testing::TestWithParam<unsigned> {
 protected:
  Harness make() {
    Harness h;
    h.writers = GetParam();
    return h;
  }
};

TEST(ConversionRunStart, RefusesWithoutFormOrMailboxesAndStopsOnCancel) {
  Harness h;
  h.window.rows = {"/nowhere/Inbox.mbx"};
  h.window.browseAnswer = "/tmp";
  EXPECT_EQ(h.run().outcome, RunReport::Outcome::NotStarted);
  ASSERT_EQ(h.window.boxes.size(), 1u);
  EXPECT_EQ(h.window.boxes[0].text, "Please select a option to convert file(s).");
  EXPECT_EQ(h.window.boxes[0].style, MsgStyle::OkInformation);
  EXPECT_EQ(h.window.boxes[0].title, "Quillon Converter");
  EXPECT_TRUE(h.window.browseTitles.empty());

  Harness empty;
  empty.window.form = Form::EML;
  empty.window.rows = {"  "};
  empty.window.browseAnswer = "/tmp";
  EXPECT_EQ(empty.run().outcome, RunReport::Outcome::NotStarted);
  ASSERT_EQ(empty.window.boxes.size(), 1u);
  EXPECT_EQ(empty.window.boxes[0].style, MsgStyle::OkExclamation);
  EXPECT_TRUE(empty.window.browseTitles.empty());
  EXPECT_TRUE(empty.window.convertEnabled.empty());

  Harness cancelled;
  cancelled.window.form = Form::EML;
  cancelled.window.rows = {"/nowhere/Inbox.mbx"};
  EXPECT_EQ(cancelled.run().outcome, RunReport::Outcome::NotStarted);
  EXPECT_EQ(cancelled.window.browseTitles, std::vector<std::string>{"Choose Folder to Save..."});
  EXPECT_TRUE(cancelled.window.boxes.empty());
  EXPECT_TRUE(cancelled.window.convertEnabled.empty());
  EXPECT_EQ(cancelled.window.optionsCleared, 0);
}

TEST_P(ConversionRunWriters, WritesEveryMessageWithTheWindowsTexts) {
  TempDir in, out;
  const std::string a = in / "Mail/In box é.mbx";
  const std::string b = in / "Mail/Sent.mbox";
  WriteFile(a, "junk before\r\n" + kSep + "Subject: one\r\n\r\nbody 1\r\n" + kSep +
                   "Subject: two\r\n\r\nbody 2   " + kSep + "Subject: three\r\n\r\nlast\n");
  WriteFile(b, kSep + "Subject: only\r\n\r\nhi\r\n");

  Harness h = make();
  h.window.form = Form::EML;
  h.window.rows = {a, b};
  h.window.browseAnswer = out.path().string();  // no final separator: the run adds it
  const RunReport report = h.run();

  EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
  EXPECT_EQ(report.messagesWritten, 4);
  EXPECT_FALSE(report.anyFailed());
  const std::string fa = OutFolder(out, a);
  EXPECT_EQ(ReadFile(fa + "/email-0.eml"), kSep + "Subject: one\r\n\r\nbody 1\r\n\r\n");
  EXPECT_EQ(ReadFile(fa + "/email-1.eml"), kSep + "Subject: two\r\n\r\nbody 2\r\n");
  EXPECT_EQ(ReadFile(fa + "/email-2.eml"), kSep + "Subject: three\r\n\r\nlast\n\r\n");
  EXPECT_EQ(ReadFile(OutFolder(out, b) + "/email-0.eml"), kSep + "Subject: only\r\n\r\nhi\r\n\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(test::Path(fa)), fs::directory_iterator{}), 3);

  auto& w = h.window;
  // Each list starts with the progress area's start texts: a run begins from a clean slate.
  EXPECT_EQ(
      w.labelHistory[Label::LblProgessCurrent],
      (std::vector<std::string>{"Mailbox  0 (of 0)", "Mailbox 1 (of 2) ", "Mailbox 2 (of 2) "}));
  EXPECT_EQ(w.labelHistory[Label::LblIMMFile],
            (std::vector<std::string>{"", "In box é.mbx", "Sent.mbox"}));
  EXPECT_EQ(w.labelHistory[Label::LblEmlsFound],
            (std::vector<std::string>{"", "", "3 Messages", "", "1 Messages"}));
  EXPECT_EQ(w.label(Label::LblProgress), "Saved 1 Message(s)");
  EXPECT_EQ(w.labelHistory[Label::LblProgress][0], "Saving :");
  EXPECT_EQ(w.labelHistory[Label::LblProgress][4], "Saved 3 Message(s)");
  EXPECT_EQ(w.label(Label::LblHappening), "Saving email messages...");
  EXPECT_NE(std::find(w.labelHistory[Label::LblHappening].begin(),
                      w.labelHistory[Label::LblHappening].end(),
                      "Searching for messages... Messages Found : 3"),
            w.labelHistory[Label::LblHappening].end());
  EXPECT_EQ(w.progress[Bar::ProgressBar1], (std::vector<double>{0.0, 50.0, 100.0}));
  EXPECT_EQ(w.convertEnabled, (std::vector<bool>{false, true}));
  EXPECT_EQ(w.optionsCleared, 1);
  EXPECT_EQ(w.selectedRows, (std::vector<std::size_t>{0, 1}));
  ASSERT_EQ(w.boxes.size(), 1u);
  EXPECT_EQ(w.boxes[0].text, kDone);
  EXPECT_EQ(w.boxes[0].style, MsgStyle::OkInformation);
  EXPECT_EQ(w.boxes[0].title, "Quillon Converter");
}

TEST(ConversionRun, EmlxFilesHoldTheSameBytesAndLineEndsStayAsTheyAre) {
  TempDir in, out;
  const std::string lf = "From ???@??? x\nA: 1\n\nx\n";
  const std::string cr = "From ???@??? y\rA: 2\r\ry\r";
  const std::string mixed = "From ???@??? z\r\nA: 3\n\r\n\rz";
  const std::string box = in / "lines.mbx";
  WriteFile(box, lf + cr + mixed);
  Harness h;
  h.window.form = Form::EMLX;
  h.window.rows = {box};
  h.window.browseAnswer = test::FolderText(out.path());
  h.run();
  const std::string f = OutFolder(out, box);
  EXPECT_EQ(ReadFile(f + "/email-0.emlx"), lf + "\r\n");
  EXPECT_EQ(ReadFile(f + "/email-1.emlx"), cr + "\r\n");
  EXPECT_EQ(ReadFile(f + "/email-2.emlx"), mixed + "\r\n");
  EXPECT_FALSE(fs::exists(f + "/email-0.eml"));
}

// Builds a random mailbox: some bytes before the first separator, then messages whose bodies mix
// line-end styles, spaces at both ends, 8-bit bytes, and (now and then) more than one read window.
std::string RandomMailbox(std::mt19937& rng, std::size_t messages) {
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::string box;
  if (pick(2)) box += std::string(static_cast<std::size_t>(pick(40)), 'x') + "\n";
  for (std::size_t m = 0; m < messages; ++m) {
    box += std::string(static_cast<std::size_t>(pick(3)), ' ');
    box += "From ???@??? Tue Feb 02 10:00:00 2021";
    box += pick(2) ? "\r\n" : "\n";
    const int lines = pick(3) == 0 ? 200 : pick(20);
    const bool huge = pick(40) == 0;
    for (int l = 0; l < lines; ++l) {
      const std::size_t len = huge ? 9000 : static_cast<std::size_t>(pick(90));
      std::string line;
      for (std::size_t c = 0; c < len; ++c) {
        const int r = pick(20);
        line += r == 0   ? ' '
                : r == 1 ? static_cast<char>(0x80 + pick(128))
                         : "abcdefFR?@ "[pick(11)];
      }
      box += line + (pick(3) == 0 ? "\r\n" : pick(2) ? "\n" : "\r");
    }
    if (pick(4) == 0)
      box += std::string(static_cast<std::size_t>(pick(3) == 0 ? 2'000'000 : pick(8)), ' ');
  }
  return box;
}

TEST_P(ConversionRunWriters, NothingIsLostFromRandomMailboxes) {
  std::mt19937 rng(20261207);
  for (int round = 0; round < 12; ++round) {
    TempDir in, out;
    const std::string input = RandomMailbox(rng, 5 + rng() % 60);
    const std::string box = in / "random.mbox";
    WriteFile(box, input);
    Harness h = make();
    h.window.form = Form::EML;
    h.window.rows = {box};
    h.window.browseAnswer = out.path().string();
    const RunReport report = h.run();
    ASSERT_FALSE(report.anyFailed()) << report.problems.front();

    const auto& offsets = h.finder.shared.MessageOffsets.values();
    ASSERT_FALSE(offsets.empty());
    ASSERT_EQ(report.messagesWritten, static_cast<std::int64_t>(offsets.size()));
    const std::string folder = OutFolder(out, box);
    for (std::size_t j = 0; j < offsets.size(); ++j) {
      const auto start = static_cast<std::size_t>(offsets[j]);
      const std::size_t end =
          j + 1 < offsets.size() ? static_cast<std::size_t>(offsets[j + 1]) : input.size();
      const std::string slice = input.substr(start, end - start);
      const std::string file = ReadFile(folder + "/email-" + std::to_string(j) + ".eml");
      ASSERT_GE(file.size(), 2u);
      ASSERT_EQ(file.substr(file.size() - 2), "\r\n");
      const std::string body = file.substr(0, file.size() - 2);
      // The slice is the file's text with nothing but spaces around it.
      const auto at = slice.find(body);
      ASSERT_NE(at, std::string::npos) << "round " << round << " message " << j;
      EXPECT_EQ(slice.substr(0, at).find_first_not_of(' '), std::string::npos);
      EXPECT_EQ(slice.substr(at + body.size()).find_first_not_of(' '), std::string::npos);
      if (!body.empty()) {
        EXPECT_NE(body.front(), ' ');
        EXPECT_NE(body.back(), ' ');
      }
    }
  }
}

TEST(ConversionRunBadInput, MissingFolderEmptyAndSeparatorlessMailboxesAreReportedAndSkipped) {
  TempDir in, out;
  const std::string missing = in / "missing.mbx";
  const std::string folder = in / "folder.mbx";
  const std::string empty = in / "empty.mbx";
  const std::string one = in / "one.mbx";
  const std::string plain = in / "plain.mbx";
  const std::string good = in / "good.mbx";
  fs::create_directories(folder);
  WriteFile(empty, "");
  WriteFile(one, "F");
  WriteFile(plain, "no separator in here\r\n");
  WriteFile(good, kSep + "x\r\n");

  Harness h;
  h.window.form = Form::EML;
  h.window.rows = {missing, folder, empty, one, plain, good};
  h.window.browseAnswer = out.path().string();
  const RunReport report = h.run();

  EXPECT_EQ(report.outcome, RunReport::Outcome::Completed);
  EXPECT_EQ(report.messagesWritten, 1);
  EXPECT_EQ(report.messagesFailed, 0);
  EXPECT_EQ(report.mailboxesFailed, 2);  // the missing file and the folder
  ASSERT_FALSE(report.problems.empty());
  EXPECT_NE(report.problems[0].find(missing), std::string::npos);
  EXPECT_EQ(ReadFile(OutFolder(out, good) + "/email-0.eml"), kSep + "x\r\n\r\n");

  const auto texts = h.window.boxTexts();
  EXPECT_EQ(texts[0], "File could not open!...\r\rError Number: 2");
  EXPECT_EQ(texts[1], "File not found !");
  EXPECT_EQ(texts[2], "File could not open!...\r\rError Number: 21");
  EXPECT_EQ(texts[3], "File not found !");
  EXPECT_EQ(texts[4], "File size is 0 byte !\r\rFile can not open for string searching !");
  EXPECT_EQ(texts[7], "File size is 1 byte !\r\rFile can not open for string searching !");
  EXPECT_EQ(h.window.labelHistory[Label::LblEmlsFound][10], "0 Messages");  // plain.mbx
  // The end of the run says what failed instead of claiming success.
  const test::Box& last = h.window.boxes.back();
  EXPECT_EQ(last.style, MsgStyle::OkExclamation);
  EXPECT_EQ(last.text.find("successfully"), std::string::npos);
  EXPECT_NE(
      last.text.find("1 message was written, 0 messages failed, 2 mailboxes could not be read"),
      std::string::npos);
  EXPECT_NE(last.text.find("First problem: "), std::string::npos);
  EXPECT_EQ(h.window.convertEnabled.back(), true);
  EXPECT_EQ(h.window.optionsCleared, 1);
}

TEST(ConversionRunBadInput, AFileInTheWayOfTheOutputFolderFailsThatMailboxOnly) {
  TempDir in, out;
  const std::string blocked = in / "a/blocked.mbx";
  const std::string fine = in / "b/fine.mbx";
  WriteFile(blocked, kSep + "1\r\n" + kSep + "2\r\n");
  WriteFile(fine, kSep + "3\r\n");
  WriteFile(OutFolder(out, blocked), "a file where the folder should go");

  Harness h;
  h.window.form = Form::EML;
  h.window.rows = {blocked, fine};
  h.window.browseAnswer = out.path().string();
  const RunReport report = h.run();
  EXPECT_EQ(report.messagesWritten, 1);
  EXPECT_EQ(report.messagesFailed, 2);
  EXPECT_NE(report.problems.at(0).find("cannot create the folder"), std::string::npos);
  EXPECT_EQ(ReadFile(OutFolder(out, blocked)), "a file where the folder should go");
  EXPECT_TRUE(fs::exists(OutFolder(out, fine) + "/email-0.eml"));
}

TEST_P(ConversionRunWriters, AFullDiskLeavesNoPartialFileUnderAFinalName) {
  TempDir in, out;
  const std::string box = in / "big.mbx";
  const std::string small = kSep + "small\r\n";
  const std::string big = kSep + std::string(300'000, 'b') + "\r\n";
  WriteFile(box, small + big + small);

  if (!test::FileSizeLimit::available()) GTEST_SKIP() << test::kPosixOnly;
  std::optional<test::FileSizeLimit> limit(std::in_place, 100'000);
  Harness h = make();
  h.window.form = Form::EML;
  h.window.rows = {box};
  h.window.browseAnswer = out.path().string();
  const RunReport report = h.run();
  limit.reset();

  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(report.messagesFailed, 1);
  EXPECT_NE(report.problems.at(0).find("message 2 (offset"), std::string::npos);
  EXPECT_NE(report.problems.at(0).find("File too large"), std::string::npos);
  const std::string folder = OutFolder(out, box);
  EXPECT_FALSE(fs::exists(folder + "/email-1.eml"));
  EXPECT_EQ(ReadFile(folder + "/email-2.eml"), small + "\r\n");
  for (const auto& entry : fs::directory_iterator(folder)) {
    EXPECT_EQ(entry.path().filename().string().rfind("email-", 0), 0u) << entry.path();
  }
}

// Mailboxes change under a running conversion: mail clients append new mail, compact a mailbox
// by writing a new file and renaming it over the old one, or cut it short. None of it may turn
// into garbage under a final name, and none of it may pass for success.
TEST_P(ConversionRunWriters, AMailboxThatShrinksOrGrowsDuringTheRunWritesNoGarbage) {
  TempDir in, out;
  const std::string box = in / "moving.mbx";
  std::string content;
  for (int m = 0; m < 6; ++m) content += kSep + "message " + std::to_string(m) + "\r\n";
  WriteFile(box, content);
  const std::size_t cut = content.find("message 2") + 3;  // inside the third message
  const auto searched = [](FakeWindow& w) { return w.labels[Label::LblEmlsFound] == "6 Messages"; };

  Harness h = make();
  h.window.form = Form::EML;
  h.window.rows = {box};
  h.window.browseAnswer = out.path().string();
  bool shrunk = false;
  h.window.onYield = [&](FakeWindow& w) {
    if (!shrunk && searched(w)) {  // searched, nothing cut yet
      fs::resize_file(box, cut);
      shrunk = true;
    }
  };
  const RunReport report = h.run();
  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(report.messagesFailed, 4);  // one cut short, three past the end
  EXPECT_NE(report.problems.at(0).find("message 3 (offset"), std::string::npos);
  EXPECT_NE(report.problems.at(0).find("shrank"), std::string::npos);
  const std::string folder = OutFolder(out, box);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 2);
  EXPECT_FALSE(fs::exists(folder + "/email-2.eml"));  // no half message under a final name

  // New mail appended after the search: the last message ends where the searched file ended,
  // and what came after is reported as not converted.
  TempDir out2;
  WriteFile(box, content);
  Harness g = make();
  g.window.form = Form::EML;
  g.window.rows = {box};
  g.window.browseAnswer = out2.path().string();
  bool grown = false;
  g.window.onYield = [&](FakeWindow& w) {
    if (!grown && searched(w)) {
      std::ofstream(box, std::ios::app | std::ios::binary) << kSep << "new mail\r\n";
      grown = true;
    }
  };
  const RunReport grew = g.run();
  EXPECT_EQ(grew.messagesWritten, 6);
  EXPECT_EQ(grew.mailboxesChanged, 1);
  EXPECT_NE(grew.problems.at(0).find("grew by " + std::to_string(kSep.size() + 10) + " bytes"),
            std::string::npos)
      << grew.problems.at(0);
  EXPECT_EQ(ReadFile(OutFolder(out2, box) + "/email-5.eml"), kSep + "message 5\r\n\r\n");
  EXPECT_EQ(g.window.boxes.back().style, MsgStyle::OkExclamation);  // not "successfully"

  // Compacted: a new file renamed over the mailbox. The messages come from the file that was
  // searched, never from the new file at the old offsets.
  TempDir out3;
  WriteFile(box, content);
  Harness c = make();
  c.window.form = Form::EML;
  c.window.rows = {box};
  c.window.browseAnswer = out3.path().string();
  bool replaced = false;
  std::error_code refused;
  c.window.onYield = [&](FakeWindow& w) {
    if (!replaced && searched(w)) {
      WriteFile(in / "compacted.tmp", kSep + "only the newest\r\n" + std::string(500, 'z'));
      fs::rename(test::Path(in / "compacted.tmp"), test::Path(box), refused);
      replaced = true;
    }
  };
  const RunReport compacted = c.run();
  EXPECT_EQ(compacted.messagesWritten, 6);
  if (refused) {  // Windows replaces no file that is open, even one open to be shared
    EXPECT_NE(test::kSeparator, '/') << refused.message();
    EXPECT_EQ(compacted.mailboxesChanged, 0);
    return;
  }
  EXPECT_EQ(compacted.mailboxesChanged, 1);
  EXPECT_NE(compacted.problems.at(0).find("replaced by another file"), std::string::npos);
  for (int m = 0; m < 6; ++m) {
    EXPECT_EQ(ReadFile(OutFolder(out3, box) + "/email-" + std::to_string(m) + ".eml"),
              kSep + "message " + std::to_string(m) + "\r\n\r\n");
  }
}

TEST(ConversionRun, MessagesPastTwoGibibytesAreCutAtTheRightBytes) {
  TempDir in, out;
  const std::string box = in / "large.mbox";
  const std::int64_t at = (std::int64_t{1} << 31) + 100;  // all before it is a hole
  const std::string first = kSep + "past 2 GiB\r\n";
  const std::string second = kSep + "and the last one\r\n";
  {
    std::ofstream file(box, std::ios::binary);
    file.seekp(at);
    file << first << second;
  }
  if (fs::file_size(box) != static_cast<std::uintmax_t>(at) + first.size() + second.size()) {
    GTEST_SKIP() << "no sparse files here";
  }
  Harness h;
  h.window.form = Form::EML;
  h.window.rows = {box};
  h.window.browseAnswer = out.path().string();
  const RunReport report = h.run();
  EXPECT_EQ(h.finder.shared.MessageOffsets.text(),
            std::to_string(at) + "|" +
                std::to_string(at + static_cast<std::int64_t>(first.size())) + "|");
  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(ReadFile(OutFolder(out, box) + "/email-0.eml"), first + "\r\n");
  EXPECT_EQ(ReadFile(OutFolder(out, box) + "/email-1.eml"), second + "\r\n");
}

TEST(ConversionRun, TheSameFileTwiceConvertsIntoOneFolder) {
  if (!test::SymlinksWork()) GTEST_SKIP() << test::kNoSymlinks;
  TempDir in, out;
  const std::string box = in / "twice.mbx";
  WriteFile(box, kSep + "a\r\n");
  fs::create_symlink(box, in / "alias.mbx");
  Harness h;
  h.window.form = Form::EML;
  h.window.rows = {box, in / "alias.mbx"};
  h.window.browseAnswer = out.path().string();
  EXPECT_EQ(h.run().messagesWritten, 2);
  EXPECT_TRUE(fs::exists(OutFolder(out, box) + "/email-0.eml"));
  EXPECT_FALSE(fs::exists(OutFolder(out, box) + " (2)"));
  EXPECT_FALSE(fs::exists(OutFolder(out, in / "alias.mbx")));
}

// The file converted is the one the system opens under the listed name, and its output folder
// follows that file: text tricks in the name change neither.
TEST(ConversionRun, ConvertsExactlyTheFileTheNameOpens) {
  if (!test::SymlinksWork()) GTEST_SKIP() << test::kNoSymlinks;
  TempDir in, out;
  WriteFile(in / "x.mbx", kSep + "the x in the top folder\r\n");
  WriteFile(in / "real/x.mbx", kSep + "the x the link leads to\r\n");
  fs::create_directories(in.path() / "real/deep");
  fs::create_symlink(in.path() / "real/deep", in.path() / "link");
  WriteFile(in / "y.mbx ", kSep + "a name that ends in a space\r\n");
  Harness h;
  h.window.form = Form::EML;
  h.window.rows = {in / "link/../x.mbx", in / " x.mbx", in / "y.mbx "};
  h.window.browseAnswer = out.path().string();
  const RunReport report = h.run();
  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(report.mailboxesFailed, 1);  // " x.mbx" does not exist
  EXPECT_NE(report.problems.at(0).find(" x.mbx'"), std::string::npos);
  const std::string real = fs::canonical(in / "real/x.mbx").string();
  EXPECT_EQ(ReadFile(OutFolder(out, real) + "/email-0.eml"),
            kSep + "the x the link leads to\r\n\r\n");
  EXPECT_FALSE(fs::exists(OutFolder(out, fs::canonical(in / "x.mbx").string())));
  EXPECT_EQ(ReadFile(OutFolder(out, fs::canonical(in / "y.mbx ").string()) + "/email-0.eml"),
            kSep + "a name that ends in a space\r\n\r\n");
  for (const auto& entry : fs::recursive_directory_iterator(out.path())) {
    EXPECT_EQ(entry.path().string().rfind(out.path().string(), 0), 0u);
  }
}

// Nothing beside a mailbox is the run's to delete, and no link in the output folder can make it
// write elsewhere.
TEST_P(ConversionRunWriters, LeavesOtherFilesAloneAndWritesThroughNoLink) {
  const bool links = test::SymlinksWork();
  TempDir in, out;
  const std::string box = in / "In.mbx";
  const std::string empty = in / "Empty.mbx";
  WriteFile(box, kSep + "one\r\n" + kSep + "two\r\n");
  WriteFile(empty, "");
  for (const std::string& name : {box, empty, in / "Missing.mbx"}) {
    WriteFile(name + ".tmp", "the mail client's own file");
  }
  const std::string victim = in / "victim.txt";
  WriteFile(victim, "precious");
  fs::create_directories(OutFolder(out, box));
  if (links) {
    fs::create_symlink(victim, OutFolder(out, box) + "/.email-0.eml.part");
    fs::create_symlink(victim, OutFolder(out, box) + "/.email-1.eml.part");
  }

  Harness h = make();
  h.window.form = Form::EML;
  h.window.rows = {box, empty, in / "Missing.mbx"};
  h.window.browseAnswer = test::FolderText(out.path());
  const RunReport report = h.run();
  EXPECT_EQ(report.messagesWritten, 2);
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_EQ(ReadFile(OutFolder(out, box) + "/email-1.eml"), kSep + "two\r\n\r\n");
  for (const std::string& name : {box, empty, in / "Missing.mbx"}) {
    EXPECT_EQ(ReadFile(name + ".tmp"), "the mail client's own file") << name;
  }
}

TEST(ConversionRun, WarnsOfMessageFilesOfAnEarlierRun) {
  TempDir in, out;
  const std::string box = in / "In.mbx";
  WriteFile(box, kSep + "1\r\n" + kSep + "2\r\n" + kSep + "3\r\n");
  const std::string folder = OutFolder(out, box);
  for (int j = 0; j < 10; ++j) WriteFile(folder + "/email-" + std::to_string(j) + ".eml", "old");
  WriteFile(folder + "/email-0.emlx", "old, another form");
  WriteFile(folder + "/notes.txt", "the user's");
  WriteFile(folder + "/email-07.eml", "not a name the run writes");
  Harness h;
  h.window.form = Form::EML;
  h.window.rows = {box};
  h.window.browseAnswer = out.path().string();
  const RunReport report = h.run();
  EXPECT_FALSE(report.anyFailed());
  ASSERT_EQ(report.warnings.size(), 1u);
  EXPECT_NE(report.warnings[0].find("also holds 8 message files of an earlier run"),
            std::string::npos)
      << report.warnings[0];
  EXPECT_EQ(ReadFile(folder + "/email-2.eml"), kSep + "3\r\n\r\n");
  EXPECT_EQ(ReadFile(folder + "/email-3.eml"), "old");  // warned of, never deleted
}

TEST_P(ConversionRunWriters, AStopRequestEndsTheRunAndLeavesNoPartialFile) {
  TempDir in, out;
  const std::string box = in / "stop.mbx";
  std::string content;
  for (int m = 0; m < 400; ++m) content += kSep + std::string(5000, 'm') + "\r\n";
  content += kSep + std::string(3'000'000, 'x') + "\r\n";  // copied in several chunks
  WriteFile(box, content);
  Harness h = make();
  h.window.form = Form::EML;
  h.window.rows = {box};
  h.window.browseAnswer = out.path().string();
  // Stop while the big message is being copied ("Saving: <bytes so far> Bytes out of ...") or,
  // when a worker copies it faster than the run looks, right before it is taken.
  h.window.onYield = [](FakeWindow& w) {
    const std::string& bytes = w.labels[Label::LblByteUpdate];
    if ((!bytes.empty() && std::stoll(bytes.substr(8)) > 1'000'000) ||
        w.labels[Label::LblProgress] == "Saved 400 Message(s)") {
      throw StopRequested{};
    }
  };
  ConversionRun conversion(h.window, h.finder);
  conversion.setWriterThreads(h.writers);
  EXPECT_EQ(conversion.CmdConvert_Click().outcome, RunReport::Outcome::Interrupted);
  EXPECT_TRUE(h.window.boxes.empty());  // no completion box
  // Exactly the files the run counted, each complete: no temporary file, and none that workers
  // finished ahead of the run (the big one, when a worker copied it before the stop).
  const std::int64_t counted = conversion.report().messagesWritten;
  EXPECT_GE(counted, 400);
  std::set<std::string> expected;
  for (std::int64_t j = 0; j < counted; ++j) expected.insert("email-" + std::to_string(j) + ".eml");
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(OutFolder(out, box))) {
    const std::string name = entry.path().filename().string();
    found.insert(name);
    if (name.rfind("email-", 0) != 0) continue;
    const int j = std::stoi(name.substr(6));
    EXPECT_EQ(fs::file_size(entry.path()), kSep.size() + (j < 400 ? 5002 : 3'000'002) + 2) << name;
  }
  EXPECT_EQ(found, expected);
}

INSTANTIATE_TEST_SUITE_P(OnWorkerThreadsAndInline, ConversionRunWriters, ::testing::Values(2u, 0u));

}  // namespace
}  // namespace qc
