// Filling and clearing the mailbox list.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QApplication>
#include <QDir>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "app/tests/window_fixture.h"
#include "convert/tests/test_files.h"
#include "util/tests/test_system.h"

using namespace qc::app;
using namespace qc::app::test;
using qc::MsgButton;
using qc::MsgStyle;
namespace fs = std::filesystem;

namespace {

QString Q(const std::string& path) {
  return QString::fromStdString(path);
}

// The list shows paths as the system writes them.
QStringList Native(const QStringList& paths) {
  QStringList shown;
  for (const QString& path : paths) shown.append(QDir::toNativeSeparators(path));
  return shown;
}

// A file below `root` as the folder walk names it: the system's separator after the root.
QString Walked(const std::string& root, std::string relative) {
  std::replace(relative.begin(), relative.end(), '/', qc::test::kSeparator);
  return Q(root + qc::test::kSeparator + relative);
}

#ifndef _WIN32
// Nests folders below `base` until the path is longer than the system accepts, so walking it
// fails whoever runs the test (even root, who reads every folder). Returns the shallowest one.
std::string TooDeepTree(const std::string& base) {
  const std::string name(200, 'd');
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
  for (int depth = 0; depth < 24 && fd >= 0; ++depth) {
    ::mkdirat(fd, name.c_str(), 0700);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
  }
  if (fd >= 0) ::close(fd);
  return base + "/" + name;
}

// Removes what TooDeepTree made, working relative to each folder as paths are too long to name.
void RemoveDeepTree(int parent, const std::string& name) {
  const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    RemoveDeepTree(fd, std::string(200, 'd'));
    ::close(fd);
  }
  ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}
#endif

}  // namespace

class MailboxListTest : public QObject {
  Q_OBJECT

 private slots:
  void addsPickedFilesInTheDialogsOrder();
  void cancelledDialogsChangeNothing();
  void addsTheMailboxesOfAFolderTree();
  void aFolderWithoutMailboxesDisablesConvert();
  void aFailedWalkIsReportedAndKeepsTheList();
  void clearAsksOnlyWhenThereIsSomethingToClear();
};

void MailboxListTest::addsPickedFilesInTheDialogsOrder() {
  Window w;
  w.desktop.files = {
      {"/mail/Inbox.mbx"}, {"/mail/c.mbox", "/mail/a.mbx", "/mail/b.mbx"}, {"/mail/Inbox.mbx"}};
  w.click("cmdAdd");
  QCOMPARE(w.desktop.fileFilters, QStringList{"Quillon Mailboxes (*.mbx *.mbox)"});
  QCOMPARE(w.rows(), Native(QStringList{"/mail/Inbox.mbx"}));
  QCOMPARE(w.text("lblCount1"), QStringLiteral("1 files"));
  QVERIFY(w.enabled("CmdConvert"));

  w.click("cmdAdd");
  w.click("cmdAdd");  // the same file again is listed again
  QCOMPARE(w.rows(), Native(QStringList{"/mail/Inbox.mbx", "/mail/c.mbox", "/mail/a.mbx",
                                        "/mail/b.mbx", "/mail/Inbox.mbx"}));
  QCOMPARE(w.text("lblCount1"), QStringLiteral("5 files"));
  QCOMPARE(w.control<QTableWidget>("grdFiles1")->currentRow(), 4);
  QCOMPARE(w.frm->windowScreen().mailboxRows().size(), 5u);
  QVERIFY(w.desktop.boxes.empty());
}

void MailboxListTest::cancelledDialogsChangeNothing() {
  Window w;
  w.desktop.files = {{}};
  w.desktop.folders = {QString()};
  w.click("cmdAdd");
  w.click("CmdAddFolder");
  QVERIFY(w.frm->list().isEmpty());
  QVERIFY(!w.enabled("CmdConvert"));
  QCOMPARE(w.desktop.browseTitles, QStringList{"Choose Source Folder..."});

  w.desktop.files = {{"/mail/a.mbx"}, {}};
  w.desktop.folders = {QString()};
  w.click("cmdAdd");
  w.click("cmdAdd");
  w.click("CmdAddFolder");
  QCOMPARE(w.rows(), Native(QStringList{"/mail/a.mbx"}));
  QVERIFY(w.enabled("CmdConvert"));
  QVERIFY(w.desktop.boxes.empty());
  QCOMPARE(w.desktop.unscripted, 0);
}

void MailboxListTest::addsTheMailboxesOfAFolderTree() {
  qc::test::TempDir tree;
  const std::string root = tree.path().string();
  qc::test::WriteFile(root + "/Inbox.MBX", "x");
  qc::test::WriteFile(root + "/notes.txt", "x");
  qc::test::WriteFile(root + "/old/Old.mbox", "x");
  qc::test::WriteFile(root + "/old/deeper/Archive.mbox.bak", "x");

  Window w;
  w.desktop.files = {{"/mail/first.mbx"}};
  w.click("cmdAdd");
  w.desktop.folders = {Q(root)};
  w.click("CmdAddFolder");

  QCOMPARE(w.rows(), Native(QStringList{"/mail/first.mbx", Walked(root, "Inbox.MBX"),
                                        Walked(root, "old/Old.mbox")}));
  QCOMPARE(w.text("lblCount1"), QStringLiteral("3 files"));
  QCOMPARE(w.desktop.boxes.size(), 1u);
  QCOMPARE(w.desktop.boxes[0].text, QStringLiteral("2 Files Added to List."));
  QCOMPARE(w.desktop.boxes[0].style, MsgStyle::Ok);
  QCOMPARE(w.desktop.boxes[0].title, QStringLiteral("Quillon Converter"));
  QVERIFY(w.enabled("CmdConvert"));
  QVERIFY(w.enabled("cmdAdd") && w.enabled("CmdAddFolder") && w.enabled("cmdClear1"));
  QVERIFY(!QApplication::overrideCursor());
}

void MailboxListTest::aFolderWithoutMailboxesDisablesConvert() {
  qc::test::TempDir tree;
  qc::test::WriteFile(tree / "a/notes.txt", "x");
  Window w;
  w.desktop.files = {{"/mail/first.mbx"}};
  w.click("cmdAdd");
  w.desktop.folders = {Q(tree.path().string())};
  w.click("CmdAddFolder");
  QCOMPARE(w.desktop.boxTexts(), QStringList{"0 Files Added to List."});
  QCOMPARE(w.rows(), Native(QStringList{"/mail/first.mbx"}));
  QVERIFY(!w.enabled("CmdConvert"));  // this folder gave nothing, whatever the list holds
}

void MailboxListTest::aFailedWalkIsReportedAndKeepsTheList() {
#ifdef _WIN32
  // The folder walk reads paths of any length on Windows: no folder of a tree made here is
  // unreadable.
  QSKIP(qc::test::kPosixOnly);
#else
  qc::test::TempDir tree;
  const std::string root = tree.path().string();
  qc::test::WriteFile(root + "/Inbox.mbx", "x");
  TooDeepTree(root);

  // A folder below the start that cannot be read is named; the rest of the tree is added.
  Window w;
  w.desktop.files = {{"/mail/first.mbx"}};
  w.click("cmdAdd");
  w.desktop.folders = {Q(root)};
  w.click("CmdAddFolder");

  QCOMPARE(w.rows(), Native(QStringList{"/mail/first.mbx", Q(root + "/Inbox.mbx")}));
  QCOMPARE(w.desktop.boxes.size(), 2u);
  QCOMPARE(w.desktop.boxes[0].style, MsgStyle::OkExclamation);
  QVERIFY2(w.desktop.boxes[0].text.startsWith("1 folder could not be read") &&
               w.desktop.boxes[0].text.contains(Q(root)),
           qPrintable(w.desktop.boxes[0].text));
  QCOMPARE(w.desktop.boxes[1].text, QStringLiteral("1 Files Added to List."));
  QVERIFY(!QApplication::overrideCursor());
  QVERIFY(w.enabled("CmdConvert"));
  QVERIFY(w.enabled("cmdAdd") && w.enabled("CmdAddFolder") && w.enabled("cmdClear1"));

  // A start folder that cannot be read at all adds nothing and keeps the list as it was.
  w.desktop.boxes.clear();
  std::string deep = root;
  for (int depth = 0; depth < 25; ++depth) deep += "/" + std::string(200, 'd');
  w.desktop.folders = {Q(deep)};
  w.click("CmdAddFolder");
  QCOMPARE(w.rows(), Native(QStringList{"/mail/first.mbx", Q(root + "/Inbox.mbx")}));
  QCOMPARE(w.desktop.boxes.size(), 1u);
  QCOMPARE(w.desktop.boxes[0].style, MsgStyle::OkExclamation);
  QVERIFY(!QApplication::overrideCursor());
  QVERIFY(w.enabled("CmdConvert"));

  const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
  RemoveDeepTree(fd, std::string(200, 'd'));
  ::close(fd);
#endif
}

void MailboxListTest::clearAsksOnlyWhenThereIsSomethingToClear() {
  Window w;
  w.click("cmdClear1");
  QVERIFY(w.desktop.boxes.empty());

  w.desktop.files = {{"/mail/a.mbx", "/mail/b.mbx"}, {"/mail/c.mbx"}};
  w.click("cmdAdd");
  w.desktop.answers = {MsgButton::No, MsgButton::Yes};
  w.click("cmdClear1");
  QCOMPARE(w.desktop.boxes.size(), 1u);
  QCOMPARE(w.desktop.boxes[0].text,
           QStringLiteral("Do you want to clear all the files in the list\r\n Proceed?"));
  QCOMPARE(w.desktop.boxes[0].style, MsgStyle::YesNoQuestion);
  QCOMPARE(w.rows().size(), 2);

  w.click("cmdClear1");
  QVERIFY(w.frm->list().isEmpty());
  QCOMPARE(w.control<QTableWidget>("grdFiles1")->rowCount(), 1);
  QCOMPARE(w.text("lblCount1"), QStringLiteral("0 files"));
  QVERIFY(w.enabled("CmdConvert"));  // clearing leaves Convert as it was
  QVERIFY(w.frm->windowScreen().mailboxRows().empty());

  w.click("cmdAdd");
  QCOMPARE(w.rows(), Native(QStringList{"/mail/c.mbx"}));
  QCOMPARE(w.text("lblCount1"), QStringLiteral("1 files"));
}

QTEST_MAIN(MailboxListTest)
#include "mailbox_list_test.moc"
