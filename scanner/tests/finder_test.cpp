// The finder's behaviour at the edges: what it shows, what it refuses, what it leaves open or
// removes, and mailboxes that change under it or pass 2 GiB.
#include "scanner/frm_finder.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scanner/tests/fake_screen.h"
#include "scanner/tests/recording_log.h"
#include "util/tests/scratch_folder.h"

namespace qc {
namespace {

const std::string kSep = "From ???@???";
const std::string kFound = "Searching for messages... Messages Found : ";

// `size` bytes of filler with a separator at each of `offsets`.
std::string WithSeparators(std::size_t size, const std::vector<std::size_t>& offsets) {
  std::string bytes(size, 'x');
  for (const auto at : offsets) bytes.replace(at, kSep.size(), kSep);
  return bytes;
}

std::string SizeMessage(int size) {
  return "message(48, \"File Reader\"): File size is " + std::to_string(size) +
         " byte !\r\rFile can not open for string searching !";
}

class FinderTest : public ::testing::Test {
 protected:
  FinderTest() { finder.Text2 = kSep; }

  // One mailbox as the conversion searches it; the offsets found.
  std::string SearchAll(const std::string& path) {
    shared = {};
    finder.Open_MBOX(path);
    finder.Find_Click();
    for (int searches = 0; shared.SearchFinished == 0 && searches < 100; ++searches) {
      finder.FindNext_Click();
    }
    EXPECT_EQ(shared.SearchFinished, -1);
    finder.CloseFile();
    return shared.MessageOffsets.text();
  }

  test::ScratchFolder folder;
  test::FakeScreen screen;
  test::RecordingLog log;
  SearchShared shared;
  FrmFinder finder{screen, shared, log};
};

TEST_F(FinderTest, FindsEachSeparatorAndReportsProgress) {
  const auto path = folder.write("In.mbx", WithSeparators(400, {0, 100, 250}));
  EXPECT_EQ(SearchAll(path), "0|100|250|");
  EXPECT_EQ(finder.FoundCount, 3);
  // The bar shows the share of the file before each separator; 62.5 goes to the even 62.
  EXPECT_EQ(screen.trace, (std::vector<std::string>{
                              "progress ProgressBar2: 0", "label LblHappening: " + kFound + "1",
                              "progress ProgressBar2: 25", "label LblHappening: " + kFound + "2",
                              "progress ProgressBar2: 62", "label LblHappening: " + kFound + "3"}));

  screen.forget();
  EXPECT_EQ(SearchAll(folder.write("Quarter.mbx", WithSeparators(200, {50}))), "50|");
  EXPECT_EQ(screen.progress[Bar::ProgressBar2], 25);
}

TEST_F(FinderTest, KeepsTheSearchRules) {
  struct Case {
    const char* rule;
    std::string bytes;
    std::string text2;
    bool check1;
    std::string offsets;
  };
  const std::string capitals = "FROM ???@???\nfrom ???@???\n" + kSep + "\n";
  const std::vector<Case> cases = {
      {"a separator at 0 is found", kSep + "x", kSep, false, "0|"},
      {"one ending on the last byte is not", "xx" + kSep, kSep, false, ""},
      {"a file of only a separator has none", kSep, kSep, false, ""},
      {"one byte before and after", "x" + kSep + "x", kSep, false, "1|"},
      {"no stepping back after a lone F", "F" + kSep + "x", kSep, false, ""},
      {"no stepping back after 'From '", "From " + kSep + "x", kSep, false, ""},
      {"a line break ends the partial match", "From \n" + kSep + "x", kSep, false, "6|"},
      {"back to back", kSep + kSep + "x", kSep, false, "0|12|"},
      {"case-sensitive: only the exact text", capitals, kSep, true, "26|"},
      {"otherwise capitals and small letters too", capitals, kSep, false, "0|13|26|"},
      {"quotes around the text are dropped", kSep + "x", "\"" + kSep + "\"", true, "0|"},
      {"two quotes alone are the text", "ab\"\"cd", "\"\"", true, "2|"},
      {"an empty text finds nothing", kSep + "x", "", false, ""},
      {"a 2-byte file is searched", "Fr", "F", true, "0|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    finder.Text2 = c.text2;
    finder.Check1 = c.check1;
    EXPECT_EQ(SearchAll(folder.write("In.mbx", c.bytes)), c.offsets);
  }
  EXPECT_EQ(screen.beeps, 0);
  EXPECT_TRUE(screen.messages.empty());
}

TEST_F(FinderTest, RefusesFilesShorterThanTwoBytes) {
  for (const int size : {0, 1}) {
    SCOPED_TRACE(size);
    screen.forget();
    const auto path = folder.write("Short.mbx", std::string(static_cast<std::size_t>(size), 'F'));
    finder.Open_MBOX(path);
    EXPECT_EQ(finder.FileNum, 0);
    EXPECT_EQ(screen.trace, (std::vector<std::string>{"beep", SizeMessage(size)}));

    // Find tries the named file once more, then gives up on it.
    finder.Find_Click();
    EXPECT_EQ(screen.trace, (std::vector<std::string>{
                                "beep", SizeMessage(size), "beep", SizeMessage(size), "beep",
                                "message(48, \"File Reader\"): File could not open !"}));
    EXPECT_EQ(shared.SearchFinished, -1);
    EXPECT_TRUE(shared.MessageOffsets.empty());
    finder.CloseFile();
  }
}

TEST_F(FinderTest, ReportsAMailboxThatCannotBeRead) {
  const std::string missing = folder.file("Missing.mbx");
  finder.Open_MBOX(missing);
  EXPECT_EQ(screen.trace,
            (std::vector<std::string>{"beep",
                                      "message(48, \"! ERROR !\"): File could not open!...\r\r"
                                      "Error Number: " +
                                          std::to_string(ENOENT)}));
  EXPECT_EQ(finder.FileName, "");
  EXPECT_EQ(finder.Text1, missing);
  ASSERT_TRUE(finder.OpenError.has_value());
  EXPECT_EQ(finder.OpenError->kind, Failure::Kind::Mailbox);
  EXPECT_NE(finder.OpenError->text().find(missing), std::string::npos);

  screen.forget();
  finder.Find_Click();
  EXPECT_EQ(screen.trace,
            (std::vector<std::string>{"beep", "message(48, \"File Reader\"): File not found !"}));
  EXPECT_EQ(shared.SearchFinished, -1);

  // A folder is no mailbox, whatever its name.
  const auto box = folder.path() / "Folder.mbox";
  std::filesystem::create_directory(box);
  screen.forget();
  EXPECT_EQ(SearchAll(box.string()), "");
  ASSERT_EQ(screen.messages.size(), 2u);
  EXPECT_EQ(screen.messages[0].title, "! ERROR !");
  EXPECT_EQ(screen.messages[1].text, "File not found !");
  EXPECT_EQ(finder.FileNum, 0);
}

TEST_F(FinderTest, KeepsTheOpenFileWhenAskedToOpenAnother) {
  const auto first = folder.write("First.mbx", WithSeparators(100, {0, 50}));
  const auto second = folder.write("Second.mbx", WithSeparators(100, {20}));
  finder.Open_MBOX(first);
  finder.Find_Click();
  ASSERT_EQ(finder.FoundCount, 1);

  screen.forget();
  finder.Open_MBOX(second);
  EXPECT_EQ(screen.trace,
            (std::vector<std::string>{
                "beep", "message(48, \"\"): Close current file before open a file!"}));
  EXPECT_EQ(finder.FoundCount, 0);
  EXPECT_EQ(finder.FileNum, 1);
  EXPECT_EQ(finder.FileName, first);
  finder.FindNext_Click();  // still searching the first mailbox
  EXPECT_EQ(shared.MessageOffsets.text(), "0|50|");

  finder.CloseFile();
  EXPECT_EQ(SearchAll(second), "20|");
}

// Files beside a mailbox belong to the mail client or the user, "<mailbox>.tmp" included.
TEST_F(FinderTest, CloseDeletesNothing) {
  const auto path = folder.write("In.mbx", WithSeparators(100, {0}));
  folder.write("In.mbx.tmp", "the mail client's");
  finder.Open_MBOX(path);
  finder.CloseFile();
  EXPECT_EQ(test::ReadAll(folder.file("In.mbx.tmp")), "the mail client's");
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(finder.FileNum, 0);

  finder.CloseFile();  // nothing open: quiet
  EXPECT_TRUE(screen.trace.empty());
  // A name that does not exist, and one whose folder is read-only, leave no trace either.
  finder.Open_MBOX(folder.file("Missing.mbx"));
  finder.CloseFile();
  EXPECT_TRUE(std::filesystem::exists(folder.file("In.mbx.tmp")));
}

// A name is opened as it is: spaces around it are part of it, and a failed open is never
// retried under another name.
TEST_F(FinderTest, OpensExactlyTheFileNamed) {
  folder.write("x.mbx", WithSeparators(100, {0}));
  const auto spaced = folder.write("y.mbx ", WithSeparators(100, {40}));
  EXPECT_EQ(SearchAll(folder.file(" x.mbx")), "");
  EXPECT_NE(finder.OpenError.value_or(Failure{}).text().find(" x.mbx'"), std::string::npos);
  EXPECT_EQ(SearchAll(spaced), "40|");
}

TEST_F(FinderTest, FindNextOnlyBeepsWithoutAPreviousFind) {
  const auto path = folder.write("In.mbx", WithSeparators(100, {10}));
  finder.Open_MBOX(path);
  const auto logBefore = log.lines;
  finder.FindNext_Click();  // before the first Find
  EXPECT_EQ(screen.trace, std::vector<std::string>{"beep"});
  EXPECT_EQ(log.lines, logBefore);
  EXPECT_EQ(shared.SearchFinished, 0);

  finder.Find_Click();
  finder.FindNext_Click();
  ASSERT_EQ(shared.SearchFinished, -1);
  screen.forget();
  finder.FindNext_Click();  // after the end
  EXPECT_EQ(screen.trace, std::vector<std::string>{"beep"});
  EXPECT_EQ(shared.MessageOffsets.text(), "10|");
}

TEST_F(FinderTest, AsksForAFileNameWhenTheFieldIsEmpty) {
  finder.Open_MBOX(folder.write("In.mbx", WithSeparators(100, {10})));
  screen.forget();
  finder.Text1 = "   ";
  finder.Find_Click();
  EXPECT_EQ(screen.trace,
            (std::vector<std::string>{
                "beep", "message(0, \"File Reader\"): Enter name of the file to be searched..."}));
  EXPECT_EQ(shared.SearchFinished, -1);
  EXPECT_TRUE(shared.MessageOffsets.empty());
  EXPECT_EQ(finder.FileNum, 0);
  EXPECT_EQ(SearchAll(folder.write("Next.mbx", WithSeparators(100, {30}))), "30|");
}

TEST_F(FinderTest, LogShowsEachFindAndTheTextAfterIt) {
  std::string body;
  while (body.size() < 1000) body += "0123456789";
  const std::string bytes = "hello" + kSep + body + kSep + std::string(28, 'z');
  const auto size = std::to_string(bytes.size());
  const std::string sizeLine = "FILE SIZE : " + size + " bytes\r\n";
  finder.Open_MBOX(folder.write("In.mbx", bytes));
  EXPECT_EQ(log.lines, std::vector<std::string>{sizeLine});

  // The match and what follows it, 512 characters in all...
  finder.Find_Click();
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{sizeLine, "Byte :5\r\n", kSep + body.substr(0, 500)}));
  // ...and close to the end fewer: 15 of the 28 characters after the match.
  finder.FindNext_Click();
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{sizeLine, "Byte :1017\r\n", kSep + std::string(15, 'z')}));
  finder.FindNext_Click();
  EXPECT_EQ(log.lines, (std::vector<std::string>{sizeLine, "", "[EOF]"}));
  finder.CloseFile();

  // A search text longer than what is shown per find is shown whole, and nothing after it.
  const std::string longText = kSep + std::string(600, '-');
  finder.Text2 = longText;
  finder.Open_MBOX(folder.write("Long.mbx", longText + body));
  finder.Find_Click();
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{"FILE SIZE : 1612 bytes\r\n", "Byte :0\r\n", longText}));
  finder.CloseFile();
}

TEST_F(FinderTest, StopsAtTheNewEndOfAShrinkingFile) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  struct Case {
    std::size_t size;
    std::vector<std::size_t> separators;
    std::size_t cutTo;
    std::string offsets;
  };
  const std::vector<Case> cases = {
      {400, {0, 100, 250}, 105, "0|"},  // cut inside the second separator
      {400, {0, 100, 250}, 150, "0|100|"},
      {3 * kMiB, {0, kMiB + 100, 2 * kMiB + 100, 3 * kMiB - 100}, kMiB + kMiB / 2, "0|1048676|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes cut to " + std::to_string(c.cutTo));
    const auto path = folder.write("Shrinking.mbx", WithSeparators(c.size, c.separators));
    screen.onYield = [&] {
      if (shared.MessageOffsets.size() == 1) std::filesystem::resize_file(path, c.cutTo);
    };
    EXPECT_EQ(SearchAll(path), c.offsets);
    screen.onYield = nullptr;
  }
}

TEST_F(FinderTest, FindsOffsetsBeyondTwoGibibytes) {
  const std::int64_t size = std::int64_t{5} << 29;  // 2.5 GiB
  const std::int64_t two31 = std::int64_t{1} << 31;
  const auto path = folder.file("Large.mbox");
  {
    std::ofstream out(test::Path(path), std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.good());
  }
  std::error_code ec;
  std::filesystem::resize_file(test::Path(path), static_cast<std::uintmax_t>(size), ec);
  if (ec) GTEST_SKIP() << "no sparse file of 2.5 GiB here: " << ec.message();
  {
    // Below 2^31, across it, just above it, near the end, and one ending on the last byte.
    std::fstream out(test::Path(path), std::ios::binary | std::ios::in | std::ios::out);
    for (const std::int64_t at :
         {std::int64_t{0}, two31 - 20, two31 - 5, two31 + 7, size - 40, size - 12}) {
      out.seekp(at);
      out.write(kSep.data(), static_cast<std::streamsize>(kSep.size()));
    }
    ASSERT_TRUE(out.good());
  }
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  if (st.st_blocks * 512 > (std::int64_t{256} << 20)) {
    std::filesystem::remove(path);
    GTEST_SKIP() << "the file system wrote the holes out; no sparse files here";
  }
#endif

  EXPECT_EQ(SearchAll(path), "0|2147483628|2147483643|2147483655|2684354520|");
  EXPECT_EQ(finder.FoundCount, 5);
  EXPECT_EQ(screen.progress[Bar::ProgressBar2], 100);  // 99.9999985
  EXPECT_EQ(log.lines.front(), "FILE SIZE : 2684354560 bytes\r\n");
}

}  // namespace
}  // namespace qc
