#include "convert/mailbox_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "convert/tests/test_files.h"
#include "util/error.h"
#include "util/tests/test_system.h"

namespace qc {
namespace {

TEST(MailboxPaths, NamesAndFoldersFollowTheMailboxPath) {
  const auto w = DeriveMailboxPaths(" C:\\Mail\\Inbox.mbox ", "D:\\Out\\", PathStyle::Windows);
  EXPECT_EQ(w.path, "C:\\Mail\\Inbox.mbox");
  EXPECT_EQ(w.fileName, "Inbox.mbox");
  EXPECT_EQ(w.MailboxName, "Inbox");
  EXPECT_EQ(w.MailboxOutputFolder, "D:\\Out\\Mail\\Inbox.mbox");
  // A network path loses its two backslashes only; "\\?\" is no part of a folder name; a path
  // never leads out of the output folder.
  const auto folderOf = [](const std::string& mailbox) {
    return DeriveMailboxPaths(mailbox, "T\\", PathStyle::Windows).MailboxOutputFolder;
  };
  EXPECT_EQ(folderOf("\\\\server\\share\\a.mbx"), "T\\server\\share\\a.mbx");
  EXPECT_EQ(folderOf("\\\\?\\C:\\Mail\\a.mbx"), "T\\Mail\\a.mbx");
  EXPECT_EQ(folderOf("\\\\?\\UNC\\server\\share\\a.mbx"), "T\\server\\share\\a.mbx");
  EXPECT_EQ(folderOf("C:\\..\\..\\Windows\\.\\a.mbx"), "T\\Windows\\a.mbx");
  EXPECT_EQ(folderOf("C:/Mail//Sub/a.mbx"), "T\\Mail\\Sub\\a.mbx");
  EXPECT_EQ(folderOf("\\\\server\\share\\..\\..\\a.mbx"), "T\\server\\share\\a.mbx");

  EXPECT_EQ(MailboxNameOf("Inbox.MBOX"), "Inbox");
  EXPECT_EQ(MailboxNameOf("Inbox.Mbox"), "Inbox.Mbox");
  EXPECT_EQ(MailboxNameOf("Inbox.mbx"), "Inbox.mbx");
  EXPECT_EQ(MailboxNameOf("a.mbox.mbox"), "a");
  EXPECT_EQ(MailboxNameOf(".mbox"), ".mbox");  // nothing left: the whole name
  EXPECT_EQ(MailboxNameOf(".MBOX"), ".MBOX");
}

TEST(MailboxPaths, PosixFoldersFollowTheCanonicalPath) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX paths are made absolute and canonical by POSIX rules";
#else
  const auto p = DeriveMailboxPaths("/nowhere/u/Mail/../Mail/Inbox.mbx", "/out/", PathStyle::Posix);
  EXPECT_EQ(p.path, "/nowhere/u/Mail/../Mail/Inbox.mbx");
  EXPECT_EQ(p.MailboxOutputFolder, "/out/nowhere/u/Mail/Inbox.mbx");
  const auto rel = DeriveMailboxPaths("rel/In.mbx", "/out/", PathStyle::Posix);
  EXPECT_EQ(rel.path, (std::filesystem::current_path() / "rel/In.mbx").string());
  EXPECT_THROW(DeriveMailboxPaths("   ", "/out/", PathStyle::Posix), Error);
  EXPECT_EQ(DeriveMailboxPaths("/../../x.mbx", "/out/", PathStyle::Posix).MailboxOutputFolder,
            "/out/x.mbx");
#endif
}

// The output folder follows the file the system opens, not the text of its name.
TEST(MailboxPaths, FollowTheFileNotTheText) {
#ifdef _WIN32
  GTEST_SKIP() << test::kPosixOnly;
#else
  namespace fs = std::filesystem;
  test::TempDir dir;
  test::WriteFile(dir / "real/x.mbx", "");
  fs::create_directories(dir.path() / "real/deep");
  test::WriteFile(dir / "x.mbx", "");
  fs::create_symlink(dir.path() / "real/deep", dir.path() / "link");
  const auto viaLink = DeriveMailboxPaths(dir / "link/../x.mbx", "/out/", PathStyle::Posix);
  EXPECT_EQ(viaLink.path, dir / "link/../x.mbx");
  EXPECT_EQ(viaLink.canonicalPath, fs::canonical(dir / "real/x.mbx").string());
  const auto spaced = DeriveMailboxPaths(dir / " y.mbx ", "/out/", PathStyle::Posix);
  EXPECT_EQ(spaced.path, dir / " y.mbx ");
  EXPECT_EQ(spaced.fileName, " y.mbx ");
  EXPECT_EQ(spaced.MailboxName, "y.mbx");  // a display name: spaces around it mean nothing
#endif
}

TEST(OutputFolderClaims, ALaterDifferentMailboxGetsANumberedFolder) {
  OutputFolderClaims claims(PathStyle::Windows);
  EXPECT_EQ(claims.claim("T\\Mail\\Inbox.mbx", "C:\\Mail\\Inbox.mbx"), "T\\Mail\\Inbox.mbx");
  EXPECT_EQ(claims.claim("T\\Mail\\Inbox.mbx", "E:\\Mail\\Inbox.mbx"), "T\\Mail\\Inbox.mbx (2)");
  EXPECT_EQ(claims.claim("T\\mail\\INBOX.mbx", "F:\\mail\\INBOX.mbx"), "T\\mail\\INBOX.mbx (3)");
  EXPECT_EQ(claims.claim("T\\Mail\\Inbox.mbx", "c:\\mail\\inbox.mbx"), "T\\Mail\\Inbox.mbx");
  EXPECT_EQ(claims.claim("T\\Mail\\Inbox.mbx", "E:\\Mail\\Inbox.mbx"), "T\\Mail\\Inbox.mbx (2)");
}

}  // namespace
}  // namespace qc
