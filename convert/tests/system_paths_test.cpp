// Mailboxes and output folders named as people name them, on the system the program runs on:
// names in any script, paths past the old 260-character limit, the forms of Windows paths, and
// folders and files that others hold or protect.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "convert/conversion_run.h"
#include "convert/store_library.h"
#include "convert/tests/fake_window.h"
#include "convert/tests/test_files.h"
#include "mapi/pst/check/pst_checker.h"
#include "util/registry.h"
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

std::string Message(const std::string& subject) {
  return kSep + "From: a@example.com\r\nSubject: " + subject + "\r\n\r\nbody\r\n";
}

struct Harness {
  FakeWindow window;
  NullLog log;
  FinderSlot finder{window, log};
  StoreLibrary stores{[] {
    std::tm t{};
    t.tm_mday = 7;
    t.tm_mon = 11;
    t.tm_year = 126;
    return t;
  }};
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
  EXPECT_TRUE(mapi::pst::check::CheckPstFile(path, &summary).empty()) << path;
  return summary.messages;
}

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
