// The manifest of a run, the duplicate check and the warnings of Outlook's limits: what a run
// asked for them writes, read back as a spreadsheet would read it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/conversion_run.h"
#include "convert/manifest_writer.h"
#include "convert/message_facts.h"
#include "convert/store_library.h"
#include "convert/tests/test_files.h"
#include "mapi/pst/ndb/permute.h"
#include "mapi/text.h"

namespace qc {
namespace {

using test::OutFolder;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::string Message(const std::string& subject, const std::string& body,
                    const std::string& separatorDate = "Mon Jan 01 00:00:00 2024") {
  return "From ???@??? " + separatorDate + "\r\nFrom: a@example.com\r\nSubject: " + subject +
         "\r\nMessage-ID: <" + subject + "@example.com>\r\nDate: Tue, 2 Jan 2024 10:20:30 +0100" +
         "\r\n\r\n" + body + "\r\n";
}

std::string Messages(int count) {
  std::string box;
  for (int m = 0; m < count; ++m)
    box += Message("m" + std::to_string(m), "body " + std::to_string(m));
  return box;
}

using Row = std::vector<std::string>;

// RFC 4180 as a spreadsheet reads it: quoted fields may hold commas, doubled quotes and line
// breaks; records end in CR LF.
std::vector<Row> ReadCsv(const std::string& text) {
  std::vector<Row> rows;
  Row row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row.push_back(std::move(field));
      field.clear();
      rows.push_back(std::move(row));
      row.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(field.empty() && row.empty()) << "the last record does not end in CR LF";
  return rows;
}

// A file's path in a folder as the program writes it: with the system's separator.
std::string FileIn(const std::string& folder, const std::string& name) {
#ifdef _WIN32
  return folder + "\\" + name;
#else
  return folder + "/" + name;
#endif
}

enum Column {
  kMailbox,
  kMessage,
  kOffset,
  kLength,
  kSha,
  kOutput,
  kId,
  kSubject,
  kDate,
  kAttach,
  kStatus
};

class StopAt final : public RunObserver {
 public:
  explicit StopAt(std::size_t j) : j_(j) {}
  void messageDone(std::size_t j, std::int64_t) override {
    if (j == j_) throw StopRequested{};
  }

 private:
  std::size_t j_;
};

struct ManifestRun {
  NoScreen screen;
  NullLog log;
  FinderSlot finder{screen, log};
  StoreLibrary stores;
  StoreSteps* storeSteps = &stores;
  TempDir out;
  std::string manifestPath = out / "manifest.csv";
  bool skipDuplicates = false;
  std::string singleStore;
  std::optional<OutlookLimits> limits;
  bool verify = false;
  RunObserver* extra = nullptr;

  // The run, then the manifest's records (header first).
  RunReport run(Form form, std::vector<std::string> mailboxes, std::vector<Row>& rows) {
    ManifestWriter manifest(manifestPath);
    ConversionRun conversion(finder, storeSteps);
    conversion.setWriterThreads(2);
    conversion.addObserver(&manifest);
    conversion.addObserver(extra);
    RunRequest request;
    request.form = form;
    request.mailboxes = std::move(mailboxes);
    request.targetFolder = out.path().string();
    request.messageFacts = true;
    request.skipDuplicates = skipDuplicates;
    request.singleStore = singleStore;
    request.outlookLimits = limits;
    request.verify = verify;
    const RunReport report = conversion.run(request);
    manifest.close("the run was stopped");
    rows = ReadCsv(ReadFile(manifestPath));
    return report;
  }
};

TEST(Sha256, FipsVectors) {
  const auto hex = [](const std::string& text) {
    Sha256 sha;
    sha.update(text.data(), text.size());
    return Sha256::Hex(sha.digest());
  };
  EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  Sha256 million;  // fed in uneven pieces
  const std::string a(997, 'a');
  std::size_t left = 1000000;
  while (left > 0) {
    const std::size_t n = std::min(left, a.size());
    million.update(a.data(), n);
    left -= n;
  }
  EXPECT_EQ(Sha256::Hex(million.digest()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Manifest, FieldsAreQuotedAsRfc4180Says) {
  EXPECT_EQ(CsvField("plain text"), "plain text");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
  EXPECT_EQ(CsvField("lf\nonly"), "\"lf\nonly\"");
  EXPECT_EQ(CsvField(""), "");
}

TEST(Manifest, HeadersAreReadAsTheImportReadsThem) {
  const HeaderFacts facts = ReadHeaderFacts(
      "From ???@??? Mon Jan 01 00:00:00 2024\r\nSubject: first\r\nMessage-ID:\r\n <id@x>\r\n"
      "Date: Tue, 2 Jan 2024 10:20:30 +0100\r\nSubject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
      " =?UTF-8?Q?_aus_M=C3=BCnchen?=\r\n\r\nSubject: in the body\r\n",
      "windows-1252");
  EXPECT_EQ(facts.subject, "Grüße aus München");  // the last Subject, as the import takes it
  EXPECT_EQ(facts.messageId, "<id@x>");
  EXPECT_EQ(facts.date, "2024-01-02T10:20:30+01:00");
  const HeaderFacts raw = ReadHeaderFacts("From ???@???\nSubject: caf\xe9\n\n", "windows-1252");
  EXPECT_EQ(raw.subject, "café");
  EXPECT_EQ(raw.messageId, "");
  EXPECT_EQ(raw.date, "");
}

// A row per message, its hash that of the file written, and a subject that needs quoting read
// back whole.
TEST(Manifest, ACompletedRunListsEveryMessageWithTheHashOfItsFile) {
  TempDir in;
  const std::string box = in / "a.mbx";
  WriteFile(box, "junk before\r\n" + Messages(3) + Message("=?UTF-8?Q?a=2C_b_=22c=22=0Ad?=", "x") +
                     "   ");
  ManifestRun r;
  std::vector<Row> rows;
  const RunReport report = r.run(Form::EML, {box}, rows);
  ASSERT_EQ(report.messagesFound, 4);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], (Row{"mailbox", "message", "offset", "length", "sha256", "output",
                          "message_id", "subject", "date", "attachments", "status"}));
  std::int64_t offset = 13;
  for (std::size_t j = 0; j < 4; ++j) {
    const Row& row = rows[j + 1];
    ASSERT_EQ(row.size(), 11u);
    EXPECT_EQ(row[kMailbox], box);
    EXPECT_EQ(row[kMessage], std::to_string(j));
    EXPECT_EQ(row[kOffset], std::to_string(offset));
    offset += std::stoll(row[kLength]);
    EXPECT_EQ(row[kOutput], FileIn(OutFolder(r.out, box), "email-" + std::to_string(j) + ".eml"));
    const std::string file = ReadFile(row[kOutput]);
    Sha256 sha;
    sha.update(file.data(), file.size());
    EXPECT_EQ(row[kSha], Sha256::Hex(sha.digest()));
    EXPECT_EQ(row[kDate], "2024-01-02T10:20:30+01:00");
    EXPECT_EQ(row[kAttach], "");  // the .eml form does not take messages apart
    EXPECT_EQ(row[kStatus], "written");
  }
  EXPECT_EQ(offset, static_cast<std::int64_t>(ReadFile(box).size()));
  EXPECT_EQ(rows[1][kId], "<m0@example.com>");
  EXPECT_EQ(rows[4][kSubject], "a, b \"c\"\nd");
}

TEST(Manifest, FailedMessagesSayWhy) {
  TempDir in;
  const std::string box = in / "a.mbx";
  WriteFile(box, Messages(4));
  ManifestRun r;
  // A folder stands where message 2's file would go.
  std::filesystem::create_directories(test::Path(OutFolder(r.out, box) + "/email-2.eml"));
  std::vector<Row> rows;
  const RunReport report = r.run(Form::EML, {box}, rows);
  ASSERT_EQ(report.messagesFailed, 1);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[3][kStatus].rfind("failed: ", 0), 0u) << rows[3][kStatus];
  EXPECT_EQ(rows[3][kOutput], "");
  EXPECT_FALSE(rows[3][kSha].empty());
  for (const std::size_t j : {0u, 1u, 3u}) EXPECT_EQ(rows[j + 1][kStatus], "written");
}

// A stopped run lists every message of the mailbox it was in: what it wrote, and the rest as
// not converted. A .pst being written is not kept, so none of its messages are converted.
TEST(Manifest, AStoppedRunListsWhatItCountedAndTheRestAsNotConverted) {
  for (const Form form : {Form::EML, Form::PST}) {
    TempDir in;
    WriteFile(in / "a.mbx", Messages(30));
    WriteFile(in / "b.mbx", Messages(3));
    ManifestRun r;
    StopAt stop(9);
    r.extra = &stop;
    std::vector<Row> rows;
    const RunReport report = r.run(form, {in / "a.mbx", in / "b.mbx"}, rows);
    ASSERT_EQ(report.outcome, RunReport::Outcome::Interrupted);
    ASSERT_EQ(rows.size(), 31u) << static_cast<int>(form);
    std::int64_t written = 0;
    for (std::size_t j = 1; j < rows.size(); ++j) {
      written += rows[j][kStatus] == "written";
      if (j > 10 || form == Form::PST) {
        EXPECT_EQ(rows[j][kStatus].rfind("not converted: ", 0), 0u) << rows[j][kStatus];
      }
    }
    EXPECT_EQ(written, report.messagesWritten);
  }
}

TEST(Manifest, ThePstFormNamesTheStoreTheFolderAndThePlace) {
  TempDir in;
  WriteFile(in / "Inbox.mbx", Messages(3));
  ManifestRun r;
  std::vector<Row> rows;
  const RunReport report = r.run(Form::PST, {in / "Inbox.mbx"}, rows);
  ASSERT_EQ(report.storeFiles.size(), 1u);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3][kOutput], report.storeFiles[0] + "|Inbox.mbx|2");
  EXPECT_EQ(rows[3][kAttach], "0");
}

// Output changed after it was written and before it is read back: a message file, or the data
// file (which then fails all its messages). What differs is named, in the manifest too; the rest
// read back as written.
class Tamper final : public RunObserver {
 public:
  std::function<void(const MessageRecord&)> settled;
  std::function<void(const std::string&)> store;
  void messageSettled(const MessageRecord& record) override {
    if (settled) settled(record);
  }
  void storeWritten(std::string_view path) override {
    if (store) store(std::string(path));
  }
  void mailboxDone(std::size_t, const MailboxSummary& summary) override { done.push_back(summary); }
  std::vector<MailboxSummary> done;
};

TEST(Verify, OutputChangedBeforeItIsReadBackFailsItsMessages) {
  const std::pair<Form, std::string> cases[] = {{Form::EML, "its bytes are not the message's"},
                                                {Form::MSG, "the subject differs"},
                                                {Form::PST, "did not read back soundly"}};
  for (const auto& [form, expected] : cases) {
    TempDir in;
    const std::string box = in / "a.mbx";
    WriteFile(box, Messages(4));
    ManifestRun r;
    r.verify = true;
    Tamper tamper;
    const std::string folder = OutFolder(r.out, box);
    tamper.settled = [&, form = form](const MessageRecord& record) {
      if (record.j != 1) return;
      if (form == Form::EML) {
        std::string bytes = ReadFile(folder + "/email-1.eml");
        bytes[bytes.size() / 2] ^= 1;
        WriteFile(folder + "/email-1.eml", bytes);
      } else if (form == Form::MSG) {
        WriteFile(folder + "/Email-1.msg", ReadFile(folder + "/Email-0.msg"));
      }
    };
    tamper.store = [&, form = form](const std::string& path) {
      if (form == Form::PST) {
        const std::string bytes = ReadFile(path);
        WriteFile(path, bytes.substr(0, bytes.size() / 2));
      }
    };
    r.extra = &tamper;
    std::vector<Row> rows;
    const RunReport report = r.run(form, {box}, rows);
    ASSERT_EQ(rows.size(), 5u);
    const std::int64_t failed = form == Form::PST ? 4 : 1;
    EXPECT_EQ(report.messagesFailed, failed) << expected;
    EXPECT_EQ(report.messagesWritten, 4 - failed);
    EXPECT_EQ(report.messagesVerified, 4 - failed);
    ASSERT_FALSE(report.problems.empty());
    const std::string first = form == Form::PST ? "message 1 (offset 0)" : "message 2 (offset ";
    EXPECT_EQ(report.problems[0].rfind(first, 0), 0u) << report.problems[0];
    for (std::size_t j = 0; j < 4; ++j) {
      const std::string& status = rows[j + 1][kStatus];
      if (j == 1 || form == Form::PST) {
        EXPECT_EQ(status.rfind("failed: read back from '", 0), 0u) << status;
        EXPECT_FALSE(rows[j + 1][kOutput].empty());
        EXPECT_NE(status.find(expected), std::string::npos) << status;
      } else {
        EXPECT_EQ(status, "written");
      }
    }
  }
}

// One byte of a message's body flipped in the data file: its block fails its check, and only
// that message fails. In one data file for the whole run, read back when the run ends, the
// message is of a mailbox whose rows were written already: its row is mended.
TEST(Verify, AByteFlippedInAStoredMessageFailsThatMessage) {
  for (const bool single : {false, true}) {
    TempDir in;
    std::string body;
    for (int line = 0; line < 800; ++line)
      body += "Lorem ipsum dolor " + std::to_string(line) + "\r\n";
    WriteFile(in / "a.mbx",
              Message("m0", "body 0") + Message("m1", body) + Message("m2", "body 2"));
    WriteFile(in / "b.mbx", Messages(2));
    ManifestRun r;
    r.verify = true;
    if (single) r.singleStore = "All";
    Tamper tamper;
    int flipped = 0;
    tamper.store = [&](const std::string& path) {
      std::string bytes = ReadFile(path);
      const mapi::Bytes text = mapi::Utf16LeBytes("Lorem ipsum dolor 400");
      std::string stored(text.size(), '\0');
      mapi::pst::PermuteEncode(text.data(), reinterpret_cast<std::uint8_t*>(stored.data()),
                               text.size());
      const std::size_t at = bytes.find(stored);
      if (at == std::string::npos) return;
      bytes[at + 4] ^= 0x10;
      WriteFile(path, bytes);
      ++flipped;
    };
    r.extra = &tamper;
    std::vector<Row> rows;
    const RunReport report = r.run(Form::PST, {in / "a.mbx", in / "b.mbx"}, rows);
    EXPECT_EQ(flipped, 1);
    EXPECT_EQ(report.messagesFailed, 1);
    EXPECT_EQ(report.messagesVerified, 4);
    ASSERT_EQ(rows.size(), 6u);
    const std::string& status = rows[2][kStatus];
    EXPECT_EQ(status.rfind("failed: read back from '", 0), 0u) << status;
    EXPECT_NE(status.find("damaged or missing"), std::string::npos) << status;
    EXPECT_FALSE(rows[2][kOutput].empty());
    for (const std::size_t row : {1u, 3u, 4u, 5u}) EXPECT_EQ(rows[row][kStatus], "written");
  }
}

// A part of one data file completed while the second mailbox is written holds the first
// mailbox's messages: their failures are the run's and the first mailbox's rows', not the
// second mailbox's line's.
TEST(Verify, APartCompletedInALaterMailboxFailsTheEarlierMailboxsMessages) {
  TempDir in;
  // Small messages, then messages each too large to share a part with them.
  std::string body;
  for (int line = 0; line < 12000; ++line)
    body += "Lorem ipsum dolor " + std::to_string(line) + "\r\n";
  std::string a, b;
  for (int m = 0; m < 3; ++m) {
    a += Message("a" + std::to_string(m), "body");
    b += Message("b" + std::to_string(m), body);
  }
  WriteFile(in / "a.mbx", a);
  WriteFile(in / "b.mbx", b);
  ManifestRun r;
  r.verify = true;
  r.singleStore = "All";
  r.stores.setPartSize(500 * 1024);
  Tamper tamper;
  std::size_t parts = 0;
  tamper.store = [&](const std::string& path) {
    if (parts++ > 0) return;
    EXPECT_EQ(tamper.done.size(), 1u) << "the first part is completed in the second mailbox";
    const std::string bytes = ReadFile(path);
    WriteFile(path, bytes.substr(0, bytes.size() / 2));
  };
  r.extra = &tamper;
  std::vector<Row> rows;
  const RunReport report = r.run(Form::PST, {in / "a.mbx", in / "b.mbx"}, rows);
  ASSERT_GE(parts, 2u);
  EXPECT_EQ(report.messagesFailed, 3);
  EXPECT_EQ(report.messagesWritten, 3);
  ASSERT_EQ(tamper.done.size(), 2u);
  EXPECT_EQ(tamper.done[1].messagesWritten, 3);
  EXPECT_EQ(tamper.done[1].messagesFailed, 0);
  ASSERT_EQ(rows.size(), 7u);
  for (std::size_t row = 1; row <= 3; ++row) {
    EXPECT_EQ(rows[row][kStatus].rfind("failed: read back from '", 0), 0u) << rows[row][kStatus];
  }
  for (std::size_t row = 4; row <= 6; ++row) EXPECT_EQ(rows[row][kStatus], "written");
}

// Copies within a mailbox and across two are written once, whatever their separator lines say;
// the rows name the first copy.
TEST(SkipDuplicates, CopiesAreWrittenOnceAndNameTheFirst) {
  for (const Form form : {Form::EML, Form::MSG, Form::PST}) {
    TempDir in;
    const std::string a = in / "a.mbx", b = in / "b.mbx";
    WriteFile(a, Message("one", "1") + Message("two", "2") +
                     Message("one", "1", "Tue Feb 02 10:00:00 2021"));
    WriteFile(b, Message("two", "2") + Message("three", "3"));
    ManifestRun r;
    r.skipDuplicates = true;
    std::vector<Row> rows;
    const RunReport report = r.run(form, {a, b}, rows);
    EXPECT_EQ(report.messagesWritten, 3);
    EXPECT_EQ(report.duplicatesSkipped, 2);
    EXPECT_FALSE(report.anyFailed());
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[3][kStatus], "duplicate of 0");
    EXPECT_EQ(rows[4][kStatus], "duplicate of 1 in " + a);
    EXPECT_EQ(rows[5][kStatus], "written");
    if (form != Form::PST) {
      const auto there = [&](const std::string& box, std::size_t j) {
        return std::filesystem::exists(
            test::Path(OutFolder(r.out, box) + "/" + MessageFileName(form, j)));
      };
      EXPECT_FALSE(there(a, 2));
      EXPECT_FALSE(there(b, 0));
      EXPECT_TRUE(there(b, 1));
      EXPECT_EQ(rows[5][kOutput], FileIn(OutFolder(r.out, b), MessageFileName(form, 1)));
    } else {
      EXPECT_EQ(rows[5][kOutput], report.storeFiles[1] + "|b.mbx|0");
    }
  }
}

// A store library whose first data file cannot be completed (a disk filling as it closes).
class FirstCloseFails final : public StoreSteps {
 public:
  std::string openTemporaryStore(const std::string& f) override {
    return real.openTemporaryStore(f);
  }
  std::string openMailboxStore(const std::string& f, const std::string& n) override {
    return real.openMailboxStore(f, n);
  }
  void createMailboxFolder(const std::string& n) override { real.createMailboxFolder(n); }
  std::string createFolderAt(const std::vector<std::string>& parents,
                             const std::string& name) override {
    return real.createFolderAt(parents, name);
  }
  StoredAt addMessage(const mapi::Message& m, std::uint64_t bytes) override {
    return real.addMessage(m, bytes);
  }
  std::string closeStore() override {
    if (closes++ > 0) return real.closeStore();
    real.dropStore();
    throw Error("cannot complete the data file (injected)");
  }
  void dropStore() override { real.dropStore(); }
  StoreLibrary real;
  int closes = 0;
};

// The store of the first mailbox cannot be completed, so its messages are not kept: their copies
// in the next mailbox are no duplicates and are written.
TEST(SkipDuplicates, CopiesOfMessagesNotKeptAreWritten) {
  TempDir in;
  WriteFile(in / "a.mbx", Message("one", "1") + Message("two", "2"));
  WriteFile(in / "b.mbx", Message("one", "1"));
  FirstCloseFails failing;
  ManifestRun r;
  r.storeSteps = &failing;
  r.skipDuplicates = true;
  std::vector<Row> rows;
  const RunReport report = r.run(Form::PST, {in / "a.mbx", in / "b.mbx"}, rows);
  EXPECT_EQ(report.messagesFailed, 2);
  EXPECT_EQ(report.messagesWritten, 1);
  EXPECT_EQ(report.duplicatesSkipped, 0);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1][kStatus],
            "not converted: cannot complete the data file (injected): the Outlook data file was "
            "not kept");
  EXPECT_EQ(rows[1][kOutput], "");
  EXPECT_EQ(rows[3][kStatus], "written");
}

// One data file for the whole run that cannot be completed, or a run stopped while it is being
// written: none of its messages is kept, and every row says so, those of earlier mailboxes too.
TEST(Manifest, MessagesOfASingleStoreNotKeptAreNotConverted) {
  for (const bool stop : {false, true}) {
    TempDir in;
    WriteFile(in / "a.mbx", Messages(3));
    WriteFile(in / "b.mbx", Messages(12));
    FirstCloseFails failing;
    ManifestRun r;
    r.storeSteps = &failing;
    r.singleStore = "All";
    StopAt stopAt(9);
    if (stop) r.extra = &stopAt;
    std::vector<Row> rows;
    const RunReport report = r.run(Form::PST, {in / "a.mbx", in / "b.mbx"}, rows);
    EXPECT_EQ(report.messagesWritten, 0) << stop;
    ASSERT_EQ(rows.size(), 16u);
    for (std::size_t row = 1; row < rows.size(); ++row) {
      EXPECT_EQ(rows[row][kStatus].rfind("not converted: ", 0), 0u) << rows[row][kStatus];
      EXPECT_EQ(rows[row][kOutput], "");
    }
    if (!stop) {
      EXPECT_EQ(report.messagesFailed, 15);
    }
  }
}

// Many copies, so that the workers meet copies whose first copy is not yet taken: each is still
// skipped, and no file of it stays.
TEST(SkipDuplicates, CopiesRacingTheirFirstAreSkippedToo) {
  TempDir in;
  std::string box;
  for (int m = 0; m < 200; ++m) box += Message("s" + std::to_string(m % 7), "same");
  WriteFile(in / "a.mbx", box);
  ManifestRun r;
  r.skipDuplicates = true;
  std::vector<Row> rows;
  const RunReport report = r.run(Form::EML, {in / "a.mbx"}, rows);
  EXPECT_EQ(report.messagesWritten, 7);
  EXPECT_EQ(report.duplicatesSkipped, 193);
  std::size_t files = 0;
  for (const auto& e :
       std::filesystem::directory_iterator(test::Path(OutFolder(r.out, in / "a.mbx")))) {
    files += e.path().extension() == ".eml";
  }
  EXPECT_EQ(files, 7u);
  EXPECT_EQ(rows[200][kStatus], "duplicate of " + std::to_string(199 % 7));
}

TEST(OutlookLimits, AStorePastTheLimitsIsWarnedOf) {
  TempDir in;
  WriteFile(in / "Inbox.mbx", Messages(3));
  {
    ManifestRun r;
    r.limits = OutlookLimits{};  // the real ones: far away
    std::vector<Row> rows;
    EXPECT_TRUE(r.run(Form::PST, {in / "Inbox.mbx"}, rows).warnings.empty());
  }
  ManifestRun r;
  r.limits = OutlookLimits{.fileBytes = 1000, .folderItems = 2};
  std::vector<Row> rows;
  const RunReport report = r.run(Form::PST, {in / "Inbox.mbx"}, rows);
  ASSERT_EQ(report.warnings.size(), 2u);
  EXPECT_NE(report.warnings[0].find(report.storeFiles[0]), std::string::npos);
  EXPECT_NE(report.warnings[0].find("split the mailbox"), std::string::npos);
  EXPECT_NE(report.warnings[1].find("3 items"), std::string::npos);
  EXPECT_EQ(r.run(Form::PST, {in / "Inbox.mbx"}, rows).warnings.size(), 2u);
  r.limits = OutlookLimits{.fileBytes = 1u << 30, .folderItems = 3};  // at the limit: no warning
  EXPECT_TRUE(r.run(Form::PST, {in / "Inbox.mbx"}, rows).warnings.empty());
}

// One data file for two mailboxes, in parts: each row names the part, the folder and the place
// in it, and every part's places start from 0.
TEST(Manifest, SaysWhichPartAndFolderHoldEachMessage) {
  TempDir in;
  const std::string body(20000, 'x');
  std::string box;
  for (int m = 0; m < 20; ++m) box += Message("m" + std::to_string(m), body);
  WriteFile(in / "Mail/Inbox.mbx", box);
  WriteFile(in / "Mail/Old/Sent.mbx", Message("s", "short"));
  ManifestRun r;
  r.stores.setPartSize(600 * 1024);
  r.singleStore = "All";
  std::vector<Row> rows;
  const RunReport report =
      r.run(Form::PST, {in / "Mail/Inbox.mbx", in / "Mail/Old/Sent.mbx"}, rows);
  ASSERT_GT(report.storeFiles.size(), 1u);
  ASSERT_EQ(rows.size(), 22u);
  EXPECT_EQ(rows[1][kOutput], report.storeFiles[0] + "|Inbox.mbx|0");
  std::map<std::string, std::int64_t> next;  // the next place in each part's folder
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const std::string& output = rows[i][kOutput];
    const auto bar = output.rfind('|');
    ASSERT_NE(bar, std::string::npos) << output;
    EXPECT_EQ(std::stoll(output.substr(bar + 1)), next[output.substr(0, bar)]++) << output;
    EXPECT_NE(std::find(report.storeFiles.begin(), report.storeFiles.end(),
                        output.substr(0, output.find('|'))),
              report.storeFiles.end())
        << output;
  }
  EXPECT_EQ(rows.back()[kOutput].substr(rows.back()[kOutput].find('|')), "|Old\\Sent.mbx|0");
}

}  // namespace
}  // namespace qc
