#include "convert/mailbox_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "util/error.h"

namespace qc {
namespace {

TEST(MailboxPaths, NamesAndFoldersFollowTheMailboxPath) {
  const auto w = DeriveMailboxPaths(" C:\\Mail\\Inbox.mbox ", "D:\\Out\\", PathStyle::Windows);
  EXPECT_EQ(w.path, "C:\\Mail\\Inbox.mbox");
  EXPECT_EQ(w.fileName, "Inbox.mbox");
  EXPECT_EQ(w.MailboxName, "Inbox");
  EXPECT_EQ(w.MailboxOutputFolder, "D:\\Out\\Mail\\Inbox.mbox");
  EXPECT_EQ(
      DeriveMailboxPaths("\\\\server\\share\\a.mbx", "T\\", PathStyle::Windows).MailboxOutputFolder,
      "T\\erver\\share\\a.mbx");

  EXPECT_EQ(MailboxNameOf("Inbox.MBOX"), "Inbox");
  EXPECT_EQ(MailboxNameOf("Inbox.Mbox"), "Inbox.Mbox");
  EXPECT_EQ(MailboxNameOf("Inbox.mbx"), "Inbox.mbx");
  EXPECT_EQ(MailboxNameOf("a.mbox.mbox"), "a");

  const auto p = DeriveMailboxPaths("/home/u/Mail/../Mail/Inbox.mbx", "/out/", PathStyle::Posix);
  EXPECT_EQ(p.path, "/home/u/Mail/Inbox.mbx");
  EXPECT_EQ(p.MailboxOutputFolder, "/out/home/u/Mail/Inbox.mbx");
  const auto rel = DeriveMailboxPaths("rel/In.mbx", "/out/", PathStyle::Posix);
  EXPECT_EQ(rel.path, (std::filesystem::current_path() / "rel/In.mbx").string());
  EXPECT_THROW(DeriveMailboxPaths("   ", "/out/", PathStyle::Posix), Error);
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
