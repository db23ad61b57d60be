// The .pst and .msg forms end to end through our own store writer: the files each run leaves,
// their names, and that every store is sound; and mailboxes and output folders named as people
// name them on the system the program runs on.
#include "convert/store_library.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <csignal>
#include <filesystem>
#include <optional>

#include "convert/conversion_run.h"
#include "convert/tests/fake_window.h"
#include "convert/tests/test_files.h"
#include "mapi/check/pst/pst_checker.h"
#include "mapi/import/rfc822_import.h"
#include "util/registry.h"
#include "util/tests/test_system.h"

namespace qc {
namespace {

namespace fs = std::filesystem;
using test::FakeWindow;
using test::Listing;
using test::OutFolder;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kSep = "From ???@??? Mon Jan 01 00:00:00 2024\r\n";

std::string Message(const std::string& subject) {
  return kSep + "From: a@example.com\r\nTo: b@example.com\r\nSubject: " + subject +
         "\r\n\r\nbody of " + subject + "\r\n";
}

std::tm At(int day, int month, int year, int hour, int minute, int second) {
  std::tm t{};
  t.tm_mday = day;
  t.tm_mon = month - 1;
  t.tm_year = year - 1900;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

struct Harness {
  FakeWindow window;
  NullLog log;
  FinderSlot finder{window, log};
  std::vector<std::tm> clock{At(6, 12, 2026, 7, 5, 9), At(6, 12, 2026, 7, 5, 10)};
  std::size_t ticks = 0;
  StoreLibrary stores{[this] { return clock[std::min(ticks++, clock.size() - 1)]; }};
  RunReport run(Form form, std::vector<std::string> rows, const std::string& out) {
    window.form = form;
    window.rows = std::move(rows);
    window.browseAnswer = out;
    ConversionRun conversion(window, finder, &stores);
    return conversion.CmdConvert_Click();
  }
};

std::size_t SoundStoreMessages(const std::string& path) {
  mapi::pst::check::Summary summary;
  const auto findings = mapi::pst::check::CheckPstFile(path, &summary);
  EXPECT_TRUE(findings.empty()) << path;
  return summary.messages;
}

// Each mailbox its own store, named after it; a name already taken (by an earlier run's file,
// or by another mailbox of the same name) gets " (2)" and so on, and nothing is overwritten.
TEST(StoreLibrary, PstStoresNeverOverwriteAndAreSound) {
  TempDir in, out;
  const std::string a = in / "A/Inbox.mbx";
  const std::string b = in / "B/Inbox.mbx";
  const std::string c = in / "Sent.mbox";
  const std::string empty = in / "Empty.mbx";
  WriteFile(a, Message("a1") + Message("a2"));
  WriteFile(b, Message("b1") + kSep + "\r\n\x01\x02 garbage \xff\r\n" + Message("b3"));
  WriteFile(c, Message("c1"));
  WriteFile(empty, "");
  WriteFile(out / "Inbox.mbx.pst", "an earlier run's store");
  Harness h;
  const RunReport report = h.run(Form::PST, {a, b, c, empty}, out.path().string());
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  EXPECT_EQ(report.messagesWritten, 6);
  const std::string target = test::FolderText(out.path());
  EXPECT_EQ(report.storeFiles,
            (std::vector<std::string>{target + "Inbox.mbx (2).pst", target + "Inbox.mbx (3).pst",
                                      target + "Sent.pst", target + "Empty.mbx.pst"}));
  EXPECT_EQ(test::ReadFile(out / "Inbox.mbx.pst"), "an earlier run's store");
  EXPECT_EQ(SoundStoreMessages(target + "Inbox.mbx (2).pst"), 2u);
  EXPECT_EQ(SoundStoreMessages(target + "Inbox.mbx (3).pst"), 3u);  // garbage kept as it came
  EXPECT_EQ(SoundStoreMessages(target + "Sent.pst"), 1u);
  EXPECT_EQ(SoundStoreMessages(target + "Empty.mbx.pst"), 0u);
  for (const auto& entry : fs::recursive_directory_iterator(out.path())) {
    EXPECT_FALSE(entry.path().extension() == ".eml" || entry.path().extension() == ".part")
        << entry.path();
  }
}

TEST(StoreLibrary, MsgFilesAndTheTemporaryStoreNamedAfterTheLocalTime) {
  TempDir in, out;
  const std::string box = in / "Inbox.mbox";
  WriteFile(box, Message("one") + Message("two"));
  Harness h;
  const RunReport report = h.run(Form::MSG, {box}, out.path().string());
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  const std::string temporary = test::FolderText(out.path()) + "Temp6.12.26 7.5.09.pst";
  EXPECT_EQ(report.storeFiles, std::vector<std::string>{temporary});
  EXPECT_EQ(SoundStoreMessages(temporary), 0u);  // the items were never saved into it
  EXPECT_EQ(Listing(test::Path(test::OutFolder(out, box))),
            (std::vector<std::string>{"Email-0.msg", "Email-1.msg"}));
}

// On POSIX a backslash is part of a file name: two mailboxes named a\b.mbx share one folder of
// the temporary store, which must be found again by its whole name, not as a path.
TEST(StoreLibrary, MailboxNamesWithBackslashesShareTheirFolder) {
  TempDir in, out;
  const std::string a = in / "A/x\\y.mbx";
  const std::string b = in / "B/x\\y.mbx";
  WriteFile(a, Message("one"));
  WriteFile(b, Message("two"));
  Harness h;
  const RunReport report = h.run(Form::MSG, {a, b}, out.path().string());
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  EXPECT_EQ(report.messagesWritten, 2);
}

// A full disk in the middle of a store: every message of its mailbox is counted as failed (the
// ones added before too, since the store is not kept), with one reason rather than one per
// message; neither the store nor its temporary file is left, and the next mailbox goes on.
TEST(StoreLibrary, AFullDiskLeavesNoStore) {
  TempDir in, out;
  const std::string box = in / "Big.mbx";
  std::string content;
  for (int m = 0; m < 40; ++m)
    content += Message("m" + std::to_string(m) + std::string(20000, 'x'));
  WriteFile(box, content);
  WriteFile(in / "Small.mbx", Message("small"));

  if (!test::FileSizeLimit::available()) GTEST_SKIP() << test::kPosixOnly;
  std::optional<test::FileSizeLimit> limit(std::in_place, 400'000);
  Harness h;
  const RunReport report = h.run(Form::PST, {box, in / "Small.mbx"}, out.path().string());
  limit.reset();

  EXPECT_TRUE(report.anyFailed());
  EXPECT_EQ(report.messagesFailed, 40);
  EXPECT_EQ(report.messagesWritten, 1);
  EXPECT_EQ(report.otherFailures, 0);
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_NE(report.problems[0].find("the Outlook data file is not kept, so none of this "
                                    "mailbox's messages are converted"),
            std::string::npos)
      << report.problems[0];
  const std::string target = test::FolderText(out.path());
  EXPECT_FALSE(fs::exists(target + "Big.mbx.pst"));
  EXPECT_EQ(report.storeFiles, std::vector<std::string>{target + "Small.mbx.pst"});
  EXPECT_EQ(SoundStoreMessages(target + "Small.mbx.pst"), 1u);
  for (const auto& name : Listing(out.path())) EXPECT_NE(name.front(), '.') << name;
  bool named = false;
  for (const auto& p : report.problems) named = named || p.find("Big.mbx.pst") != std::string::npos;
  EXPECT_TRUE(named);
}

// Another run writing into the same folder takes the store's name while this store is written:
// the store goes to the next free name, and the summary names the file actually written.
TEST(StoreLibrary, ANameTakenWhileTheStoreIsWrittenGoesToTheNextFreeName) {
  TempDir in, out;
  const std::string box = in / "Inbox.mbx";
  WriteFile(box, Message("one") + Message("two"));
  const std::string target = test::FolderText(out.path());
  for (Form form : {Form::PST, Form::MSG}) {
    const std::string taken =
        target + (form == Form::PST ? "Inbox.mbx" : "Temp6.12.26 7.5.09") + ".pst";
    Harness h;
    h.window.onYield = [&](FakeWindow& w) {
      if (w.label(Label::LblEmlsFound) == "2 Messages" && !fs::exists(taken)) {
        WriteFile(taken, "the other run's store");
      }
    };
    const RunReport report = h.run(form, {box}, out.path().string());
    EXPECT_FALSE(report.anyFailed()) << report.problems.front();
    EXPECT_EQ(report.messagesWritten, 2);
    const std::string written =
        target + (form == Form::PST ? "Inbox.mbx (2)" : "Temp6.12.26 7.5.09 (2)") + ".pst";
    EXPECT_EQ(report.storeFiles, std::vector<std::string>{written});
    EXPECT_EQ(test::ReadFile(taken), "the other run's store");
    EXPECT_EQ(SoundStoreMessages(written), form == Form::PST ? 2u : 0u);
  }
}

// The next part of a split store cannot be made (here its store fails as it starts): the part
// completed before it is whole and kept, and the error that says the store is lost names it;
// the half-made part leaves nothing.
TEST(StoreLibrary, APartCompletedBeforeTheNextCannotBeMadeIsKept) {
  TempDir out;
  // Armed, the store's identifiers run out after one more: completing the first part takes that
  // one (its store's properties), starting the next part finds none.
  int left = -1;
  mapi::StoreOptions options;
  options.newGuid = [&left] {
    if (left == 0) throw Error("no identifier left");
    if (left > 0) --left;
    static std::uint8_t n = 0;
    mapi::Guid guid;
    guid.bytes[0] = ++n;
    return guid;
  };
  StoreLibrary stores([] { return At(6, 12, 2026, 7, 5, 9); }, options);
  stores.setPartSize(1);
  const std::string target = test::FolderText(out.path());
  const std::string first = stores.openMailboxStore(target, "Inbox");
  stores.createMailboxFolder("Inbox");
  const auto message = mapi::ImportRfc822("Subject: one\r\n\r\nbody\r\n");
  stores.addMessage(*message, 20);
  left = 1;
  try {
    stores.addMessage(*message, 20);
    ADD_FAILURE() << "the second message was added";
  } catch (const StoreLost& lost) {
    EXPECT_NE(std::string(lost.what()).find("no identifier left"), std::string::npos)
        << lost.what();
    EXPECT_EQ(lost.completedPart, first);
  }
  EXPECT_EQ(SoundStoreMessages(first), 1u);
  EXPECT_EQ(Listing(out.path()), std::vector<std::string>{"Inbox.pst"});
}

// A mailbox that cannot be read (missing, a folder, a pipe, a device) leaves no store, so the
// next good run of that name gets the name itself; a readable empty mailbox keeps its store.
TEST(StoreLibrary, UnreadableMailboxesLeaveNoStore) {
  TempDir in, out;
  fs::create_directories(test::Path(in / "folder.mbx"));
  WriteFile(in / "empty.mbx", "");
  std::vector<std::string> rows{in / "missing.mbx", in / "folder.mbx"};
  // Things that are there but are no files.
#ifdef _WIN32
  const std::vector<std::string> devices{"NUL"};
#else
  const std::string fifo = in / "pipe.mbx";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<std::string> devices{fifo, "/dev/zero"};
#endif
  rows.insert(rows.end(), devices.begin(), devices.end());
  rows.push_back(in / "empty.mbx");
  Harness h;
  RunReport report = h.run(Form::PST, rows, test::Utf8(out.path()));
  const std::string target = test::Utf8(out.path()) + kPathSeparator;
  EXPECT_EQ(report.mailboxesFailed, static_cast<std::int64_t>(rows.size()) - 1);
  EXPECT_EQ(report.storeFiles, std::vector<std::string>{target + "empty.mbx.pst"});
  std::vector<std::string> stores;
  for (const auto& name : Listing(out.path())) {
    if (name.ends_with(".pst") || name.front() == '.') stores.push_back(name);
  }
  EXPECT_EQ(stores, std::vector<std::string>{"empty.mbx.pst"});
  ASSERT_EQ(report.problems.size(), rows.size() - 1);
  for (std::size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(report.problems[2 + i], "cannot open the mailbox '" +
                                          DeriveMailboxPaths(devices[i], target).path +
                                          "': not a regular file");
  }

  WriteFile(in / "missing.mbx", Message("here now"));
  report = h.run(Form::PST, {in / "missing.mbx"}, test::Utf8(out.path()));
  EXPECT_EQ(report.storeFiles, std::vector<std::string>{target + "missing.mbx.pst"});
}

// A mailbox named just ".mbox" keeps its whole name for its store and its folder.
TEST(StoreLibrary, AMailboxNamedOnlyByItsExtension) {
  TempDir in, out;
  const std::string box = in / ".mbox";
  WriteFile(box, Message("one"));
  Harness h;
  const RunReport report = h.run(Form::PST, {box}, out.path().string());
  EXPECT_FALSE(report.anyFailed()) << report.problems.front();
  EXPECT_EQ(report.storeFiles,
            std::vector<std::string>{test::FolderText(out.path()) + ".mbox.pst"});
  EXPECT_EQ(SoundStoreMessages(test::FolderText(out.path()) + ".mbox.pst"), 1u);
}

// Mailboxes and output folders named as people name them, on the system the program runs on:
// names in any script, paths past the old 260-character limit, the forms of Windows paths, and
// folders and files that others hold or protect.

bool Exists(const std::string& utf8) {
  return fs::exists(test::Path(utf8));
}

#ifdef _WIN32
// Whole files through "\\?\" paths, which reach names the C library's files take for devices.
void WriteLong(const std::string& path, const std::string& bytes) {
  const std::wstring wide = L"\\\\?\\" + test::Path(path).wstring();
  HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD wrote = 0;
  EXPECT_TRUE(::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr));
  ::CloseHandle(h);
}

std::string ReadLong(const std::string& path) {
  const std::wstring wide = L"\\\\?\\" + test::Path(path).wstring();
  HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(no file)";
  std::string bytes(1 << 16, '\0');
  DWORD got = 0;
  if (::GetFileType(h) == FILE_TYPE_DISK) {
    ::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  }
  ::CloseHandle(h);
  bytes.resize(got);
  return bytes;
}
#endif

// Cyrillic, CJK and an emoji in the mailbox's name, its folder and the target folder: every form
// finds the mailbox and writes under the same names.
TEST(SystemPaths, NamesInAnyScript) {
  TempDir in, out;
  const std::string box = in / "Архив 文件 🗂/收件箱 Почта 📬.mbx";
  WriteFile(box, Message("one") + Message("two"));
  const std::string target = out / "Выход 出力 📤";
  for (const Form form : {Form::EML, Form::MSG, Form::PST}) {
    Harness h;
    const RunReport report = h.run(form, {box}, target);
    EXPECT_EQ(report.messagesWritten, 2) << static_cast<int>(form);
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  }
  const std::string written = test::Utf8(test::Path(target) / test::Path(box).relative_path());
  EXPECT_EQ(ReadFile(written + "/email-1.eml"), Message("two") + "\r\n");
  EXPECT_TRUE(Exists(written + "/Email-1.msg"));
  const std::string store = test::FolderText(test::Path(target)) + "收件箱 Почта 📬.mbx.pst";
  ASSERT_TRUE(Exists(store));
  EXPECT_EQ(SoundStoreMessages(store), 2u);
}

// A mailbox whose path, and so its output folder's, is longer than 260 characters: Windows
// reaches it only through "\\?\" paths, which the program makes itself.
TEST(SystemPaths, PathsBeyondTheOldLimit) {
  TempDir in, out;
  std::string deep;
  for (int i = 0; i < 6; ++i) deep += "/folder " + std::to_string(i) + std::string(40, 'x');
  const std::string box = in / (deep.substr(1) + "/Inbox.mbx");
  ASSERT_GT(box.size(), 300u);
  WriteFile(box, Message("deep"));
  for (const Form form : {Form::EML, Form::MSG, Form::PST}) {
    Harness h;
    const RunReport report = h.run(form, {box}, test::Utf8(out.path()));
    EXPECT_EQ(report.messagesWritten, 1) << static_cast<int>(form);
    EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  }
  EXPECT_EQ(ReadFile(OutFolder(out, box) + "/email-0.eml"), Message("deep") + "\r\n");
  EXPECT_TRUE(Exists(OutFolder(out, box) + "/Email-0.msg"));
  EXPECT_EQ(SoundStoreMessages(test::FolderText(out.path()) + "Inbox.mbx.pst"), 1u);
}

// The forms a Windows user may give a mailbox in: a drive letter with either separator, and a
// "\\?\" path; all are the same file, converted into the same folder (no "\\?\" in its name).
TEST(SystemPaths, WindowsPathForms) {
#ifndef _WIN32
  GTEST_SKIP() << "drive letters and \\\\?\\ paths are Windows' own";
#else
  TempDir in, out;
  const std::string box = in / "Forms/Inbox.mbx";
  WriteFile(box, Message("form"));
  std::string slashes = box;
  for (char& c : slashes) c = c == '\\' ? '/' : c;
  ASSERT_EQ(box[1], ':');
  for (const std::string& row : {box, slashes, "\\\\?\\" + box}) {
    TempDir target;
    Harness h;
    const RunReport report = h.run(Form::EML, {row}, test::Utf8(target.path()));
    EXPECT_EQ(report.messagesWritten, 1) << row;
    EXPECT_EQ(ReadFile(OutFolder(target, box) + "\\email-0.eml"), Message("form") + "\r\n") << row;
  }
  // A mailbox that bears a device's name: older Windows read "CON.mbx" as the console wherever
  // it stood; in a folder it is the file.
  const std::string device = in / "Forms" + "\\CON.mbx";
  WriteLong(device, Message("con"));
  Harness h;
  const RunReport report = h.run(Form::EML, {device}, test::Utf8(out.path()));
  EXPECT_EQ(report.messagesWritten, 1);
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  EXPECT_EQ(ReadLong(OutFolder(out, device) + "\\email-0.eml"), Message("con") + "\r\n");
  // std::filesystem, which removes the test's folders, would take these for the console too.
  for (const std::string& file : {OutFolder(out, device) + "\\email-0.eml", device}) {
    ::DeleteFileW((L"\\\\?\\" + test::Path(file).wstring()).c_str());
  }
  ::RemoveDirectoryW((L"\\\\?\\" + test::Path(OutFolder(out, device)).wstring()).c_str());
#endif
}

// A target folder the user may not write into is a failure named by its path, never a success;
// Windows' read-only mark on a folder does not keep files out, and the run goes on as Explorer
// would.
TEST(SystemPaths, AReadOnlyTargetFolder) {
  if (test::RunsAsRoot()) GTEST_SKIP() << "root writes into any folder";
  TempDir in, out;
  const std::string box = in / "Inbox.mbx";
  WriteFile(box, Message("ro"));
  const fs::path target = out.path() / "locked";
  fs::create_directory(target);
  fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  Harness h;
  const RunReport report = h.run(Form::PST, {box}, test::Utf8(target));
  fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
#ifdef _WIN32
  EXPECT_EQ(report.messagesWritten, 1);
  EXPECT_FALSE(report.anyFailed());
#else
  EXPECT_EQ(report.messagesWritten, 0);
  EXPECT_TRUE(report.anyFailed());
  ASSERT_FALSE(report.problems.empty());
  EXPECT_NE(report.problems.front().find(test::Utf8(target)), std::string::npos)
      << report.problems.front();
#endif
}

// A folder where the store would go: the store takes the next free name.
TEST(SystemPaths, AStoreNameTakenByAFolder) {
  TempDir in, out;
  const std::string box = in / "Inbox.mbx";
  WriteFile(box, Message("taken"));
  fs::create_directory(out.path() / "Inbox.mbx.pst");
  Harness h;
  const RunReport report = h.run(Form::PST, {box}, test::Utf8(out.path()));
  const std::string store = test::FolderText(out.path()) + "Inbox.mbx (2).pst";
  EXPECT_EQ(report.storeFiles, std::vector<std::string>{store});
  EXPECT_EQ(SoundStoreMessages(store), 1u);
  EXPECT_TRUE(fs::is_directory(out.path() / "Inbox.mbx.pst"));
}

// A message file another program holds open without sharing it (a viewer on Windows) cannot be
// replaced: that message fails, named, and the others are written; nothing is left half done.
TEST(SystemPaths, AFileHeldOpenByAnotherProgram) {
#ifndef _WIN32
  GTEST_SKIP() << "POSIX has no sharing modes: an open file is replaced like any other";
#else
  TempDir in, out;
  const std::string box = in / "Held.mbx";
  WriteFile(box, Message("one") + Message("two"));
  const std::string folder = OutFolder(out, box);
  WriteFile(folder + "\\email-0.eml", "an earlier run's file, open in a viewer");
  const std::wstring wide = test::Path(folder + "\\email-0.eml").wstring();
  HANDLE held = ::CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Harness h;
  const RunReport report = h.run(Form::EML, {box}, test::Utf8(out.path()));
  ::CloseHandle(held);
  EXPECT_EQ(report.messagesWritten, 1);
  EXPECT_EQ(report.messagesFailed, 1);
  ASSERT_FALSE(report.problems.empty());
  EXPECT_NE(report.problems.front().find("email-0.eml"), std::string::npos)
      << report.problems.front();
  EXPECT_EQ(ReadFile(folder + "\\email-0.eml"), "an earlier run's file, open in a viewer");
  EXPECT_EQ(ReadFile(folder + "\\email-1.eml"), Message("two") + "\r\n");
  EXPECT_EQ(test::Listing(folder), (std::vector<std::string>{"email-0.eml", "email-1.eml"}));
#endif
}

}  // namespace
}  // namespace qc
