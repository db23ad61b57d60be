// Convert through the window, with the engine's real run on real files.
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/tests/window_fixture.h"
#include "convert/mailbox_paths.h"
#include "convert/tests/test_files.h"

using namespace qc::app;
using namespace qc::app::test;
using qc::MsgStyle;
namespace fs = std::filesystem;

namespace {

const QString kSuccess = QStringLiteral(
    "Your messages from Quillon Mailboxes has been successfully exported.\r\n"
    "***************************************************************************\r\n");

std::string Message(int mailbox, int n, std::size_t bodyBytes = 40) {
  return "From ???@??? Mon Jan  1 00:00:00 2024\r\nSubject: " + std::to_string(mailbox) + "-" +
         std::to_string(n) + "\r\n\r\n" + std::string(bodyBytes, static_cast<char>('a' + n % 26)) +
         "\r\n";
}

// A mailbox of `count` messages; returns the messages as they are written into it.
std::vector<std::string> MakeMailbox(const std::string& path, int mailbox, int count,
                                     std::size_t bodyBytes = 40) {
  std::vector<std::string> messages;
  std::string bytes;
  for (int n = 0; n < count; ++n) {
    messages.push_back(Message(mailbox, n, bodyBytes));
    bytes += messages.back();
  }
  qc::test::WriteFile(path, bytes);
  return messages;
}

std::string OutputFolderOf(const std::string& mailbox, const std::string& target) {
  return qc::DeriveMailboxPaths(mailbox, target + "/").MailboxOutputFolder;
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

class ConvertTest : public QObject {
  Q_OBJECT

 private slots:
  void refusesWithoutAForm();
  void aCancelledBrowserKeepsTheChoice();
  void convertsTwoMailboxesIntoEml();
  void aFailingMailboxIsCountedNotReportedAsSuccess();
  void convertsIntoOutlookDataFilesAndMsgFiles();
  void closingDuringAStoreLeavesNoStore();
  void theFileReaderWindowPresentsTheFinder();
  void closingDuringARunEndsItWithNoHalfWrittenFile();
};

void ConvertTest::refusesWithoutAForm() {
  Window w;
  w.desktop.files = {{"/mail/a.mbx"}};
  w.click("cmdAdd");
  w.click("CmdConvert");
  QCOMPARE(w.desktop.boxTexts(), QStringList{"Please select a option to convert file(s)."});
  QCOMPARE(w.desktop.boxes[0].style, MsgStyle::OkInformation);
  QVERIFY(w.desktop.browseTitles.isEmpty());
  QVERIFY(w.enabled("CmdConvert"));
}

void ConvertTest::aCancelledBrowserKeepsTheChoice() {
  Window w;
  w.desktop.files = {{"/mail/a.mbx"}};
  w.click("cmdAdd");
  w.click("OptEMLX");
  w.desktop.folders = {QString()};
  w.click("CmdConvert");
  QCOMPARE(w.desktop.browseTitles, QStringList{"Choose Folder to Save..."});
  QVERIFY(w.desktop.boxes.empty());
  QVERIFY(w.enabled("CmdConvert"));
  QVERIFY(w.control<QRadioButton>("OptEMLX")->isChecked());
  QVERIFY(w.enabled("cmdAdd") && w.enabled("OptEML"));
}

void ConvertTest::convertsTwoMailboxesIntoEml() {
  qc::test::TempDir dir;
  const std::string first = dir / "mail/Inbox.mbx";
  const std::string second = dir / "mail/Sent.mbox";
  const auto inbox = MakeMailbox(first, 1, 3);
  const auto sent = MakeMailbox(second, 2, 2);
  const std::string out = dir / "out";

  Window w;
  w.desktop.files = {{Q(first), Q(second)}};
  w.click("cmdAdd");
  w.click("OptEML");
  w.desktop.folders = {Q(out)};
  bool lockedDuringTheRun = false;
  w.desktop.whileBoxShown = [&](const Box&) {
    lockedDuringTheRun = !w.enabled("cmdAdd") && !w.enabled("CmdAddFolder") &&
                         !w.enabled("cmdClear1") && !w.enabled("OptEML") && !w.enabled("OptMSG") &&
                         !w.enabled("CmdConvert") && w.enabled("cmdEnd");
  };
  w.click("CmdConvert");

  QCOMPARE(w.desktop.boxTexts(), QStringList{kSuccess});
  QCOMPARE(w.desktop.boxes[0].style, MsgStyle::OkInformation);
  QCOMPARE(w.desktop.boxes[0].title, QStringLiteral("Quillon Converter"));
  QVERIFY(lockedDuringTheRun);
  for (std::size_t j = 0; j < inbox.size(); ++j) {
    QCOMPARE(
        qc::test::ReadFile(OutputFolderOf(first, out) + "/email-" + std::to_string(j) + ".eml"),
        inbox[j] + "\r\n");
  }
  for (std::size_t j = 0; j < sent.size(); ++j) {
    QCOMPARE(
        qc::test::ReadFile(OutputFolderOf(second, out) + "/email-" + std::to_string(j) + ".eml"),
        sent[j] + "\r\n");
  }

  QCOMPARE(w.text("LblProgessCurrent"), QStringLiteral("Mailbox 2 (of 2) "));
  QCOMPARE(w.text("LblIMMFile"), QStringLiteral("Sent.mbox"));
  QCOMPARE(w.text("LblEmlsFound"), QStringLiteral("2 Messages"));
  QCOMPARE(w.text("LblProgress"), QStringLiteral("Saved 2 Message(s)"));
  QCOMPARE(w.text("LblHappening"), QStringLiteral("Saving email messages..."));
  QCOMPARE(w.bar("ProgressBar1"), 100);
  QCOMPARE(w.bar("ProgressBar2"), 50);  // the last find: Sent.mbox's second of two equal messages
  QCOMPARE(w.control<QTableWidget>("grdFiles1")->currentRow(), 1);
  for (const char* option : {"OptEML", "OptEMLX", "OptPST", "OptMSG"}) {
    QVERIFY(!w.control<QRadioButton>(option)->isChecked());
    QVERIFY(w.enabled(option));
  }
  QVERIFY(w.enabled("CmdConvert") && w.enabled("cmdAdd") && w.enabled("CmdAddFolder") &&
          w.enabled("cmdClear1"));
  QCOMPARE(w.frm->lastRun().messagesWritten, 5);
}

void ConvertTest::aFailingMailboxIsCountedNotReportedAsSuccess() {
  qc::test::TempDir dir;
  const std::string good = dir / "Good.mbx";
  MakeMailbox(good, 1, 2);
  Window w;
  w.desktop.files = {{Q(dir / "Missing.mbx"), Q(good)}};
  w.click("cmdAdd");
  w.click("OptEMLX");
  w.desktop.folders = {Q(dir / "out")};
  w.click("CmdConvert");

  QVERIFY(!w.desktop.boxes.empty());
  const Box& last = w.desktop.boxes.back();
  QCOMPARE(last.style, MsgStyle::OkExclamation);
  QVERIFY2(last.text.contains(QStringLiteral("2 messages were written")), qPrintable(last.text));
  QVERIFY2(last.text.contains(QStringLiteral("1 mailbox could not be read")),
           qPrintable(last.text));
  QVERIFY2(last.text.contains(Q(dir / "Missing.mbx")), qPrintable(last.text));
  for (const Box& box : w.desktop.boxes)
    QVERIFY(!box.text.contains(QStringLiteral("successfully")));
  QVERIFY(fs::exists(OutputFolderOf(good, dir / "out") + "/email-1.emlx"));
  QVERIFY(w.enabled("CmdConvert"));
}

void ConvertTest::convertsIntoOutlookDataFilesAndMsgFiles() {
  qc::test::TempDir dir;
  const std::string inbox = dir / "Inbox.mbox";
  MakeMailbox(inbox, 1, 3);
  Window w;
  w.desktop.files = {{Q(inbox)}};
  w.click("cmdAdd");
  w.click("OptPST");
  w.desktop.folders = {Q(dir / "pst")};
  w.click("CmdConvert");
  QCOMPARE(w.desktop.boxes.size(), 1u);
  QCOMPARE(w.desktop.boxes[0].text,
           QStringLiteral("Your messages from Quillon Mailboxes has been successfully exported to "
                          "Outlook (.pst) file.\r\n") +
               QString(75, '*') +
               QStringLiteral("\r\nStart Outlook and open converted pst file by clicking File -> "
                              "Open -> Outlook Data File. And it all done !"));
  QVERIFY(fs::is_regular_file(dir / "pst/Inbox.pst"));
  QVERIFY(fs::is_empty(OutputFolderOf(inbox, dir / "pst")));
  QCOMPARE(w.text("LblProgress"), QStringLiteral("Saved 3 Message(s)"));

  w.desktop.boxes.clear();
  w.click("OptMSG");
  w.desktop.folders = {Q(dir / "msg")};
  w.click("CmdConvert");
  QCOMPARE(w.desktop.boxes.size(), 1u);
  QCOMPARE(w.desktop.boxes[0].text, kSuccess);
  for (int j = 0; j < 3; ++j) {
    QVERIFY(fs::is_regular_file(OutputFolderOf(inbox, dir / "msg") + "/Email-" + std::to_string(j) +
                                ".msg"));
  }
  int stores = 0;
  for (const auto& entry : fs::directory_iterator(dir / "msg"))
    stores += Q(entry.path().filename().string()).startsWith(QStringLiteral("Temp"));
  QCOMPARE(stores, 1);

  // A run that fails at once (the data file cannot be made where a file stands in the way)
  // shows none of the finished run's figures.
  qc::test::WriteFile(dir / "blocked", "a file, not a folder");
  w.desktop.boxes.clear();
  w.click("OptPST");
  w.desktop.folders = {Q(dir / "blocked")};
  w.click("CmdConvert");
  QCOMPARE(w.desktop.boxes.size(), 1u);
  QCOMPARE(w.desktop.boxes[0].title, QStringLiteral("Outlook Error"));
  QCOMPARE(w.text("LblProgress"), QStringLiteral("Saving :"));
  QCOMPARE(w.text("LblEmlsFound"), QString());
  QCOMPARE(w.text("LblByteUpdate"), QString());
  QCOMPARE(w.bar("ProgressBar1"), 0);
  QCOMPARE(w.bar("ProgressBar2"), 0);
}

void ConvertTest::closingDuringAStoreLeavesNoStore() {
  qc::test::TempDir dir;
  const std::string mailbox = dir / "Big.mbx";
  MakeMailbox(mailbox, 1, 20000, 1000);
  Window w;
  w.desktop.files = {{Q(mailbox)}};
  w.click("cmdAdd");
  w.click("OptPST");
  w.desktop.folders = {Q(dir / "out")};
  w.frm->show();
  QTimer closer;
  closer.setInterval(1);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (w.text("LblProgress").startsWith(QStringLiteral("Saved 1"))) {
      closer.stop();
      w.frm->close();
    }
  });
  closer.start();
  w.click("CmdConvert");
  QCOMPARE(w.frm->lastRun().outcome, qc::RunReport::Outcome::Interrupted);
  QVERIFY(w.desktop.boxes.empty());
  for (const auto& entry : fs::directory_iterator(dir / "out"))
    QVERIFY2(entry.is_directory(), entry.path().string().c_str());  // no store, no temp file
}

void ConvertTest::theFileReaderWindowPresentsTheFinder() {
  qc::test::TempDir dir;
  const std::string mailbox = dir / "Inbox.mbx";
  MakeMailbox(mailbox, 1, 2);
  Window w;
  w.desktop.files = {{Q(mailbox)}};
  w.click("cmdAdd");
  w.click("OptEML");
  w.desktop.folders = {Q(dir / "out")};
  w.click("CmdConvert");

  // Created by the run's first search, never shown.
  QVERIFY(w.frm->fileReader().created());
  FileReaderWindow& reader = w.frm->fileReader().window();
  QVERIFY(!reader.isVisible());
  QCOMPARE(reader.windowTitle(), QStringLiteral("File Reader"));
  reader.refreshFields();
  QCOMPARE(reader.Text1->text(), Q(mailbox));
  QCOMPARE(reader.Text2->text(), QStringLiteral("From ???@???"));
  QVERIFY(!reader.Check1->isChecked());
  const QStringList log = w.frm->fileReader().surface().lines();
  QVERIFY2(log.contains(QStringLiteral("[EOF]")), qPrintable(log.join('|')));
  QVERIFY(log.first().startsWith(QStringLiteral("FILE SIZE : ")));
  QCOMPARE(log.at(1), QString());  // the size line carries its own line break

  const std::size_t boxesBefore = w.desktop.boxes.size();
  const int beepsBefore = w.desktop.beeps;
  reader.Command1->click();  // "Open" does nothing
  QCOMPARE(w.desktop.boxes.size(), boxesBefore);
  reader.Command4->click();  // no file open: a beep and nothing else
  QCOMPARE(w.desktop.boxes.size(), boxesBefore);
  QCOMPARE(w.desktop.beeps, beepsBefore + 1);
  reader.Text1->clear();
  reader.Command3->click();
  QCOMPARE(w.desktop.boxes.back().text, QStringLiteral("Enter name of the file to be searched..."));
  QCOMPARE(w.desktop.beeps, beepsBefore + 2);
}

void ConvertTest::closingDuringARunEndsItWithNoHalfWrittenFile() {
  qc::test::TempDir dir;
  const std::string mailbox = dir / "Big.mbx";
  const int count = 20000;
  const auto messages = MakeMailbox(mailbox, 1, count, 1000);
  const std::string out = dir / "out";
  const std::string folder = OutputFolderOf(mailbox, out);

  Window w;
  w.desktop.files = {{Q(mailbox)}};
  w.click("cmdAdd");
  w.click("OptEML");
  w.desktop.folders = {Q(out)};
  w.frm->show();
  QSignalSpy ended(w.frm.get(), &FrmStep1::ended);

  // Close as a person would, once the run has begun writing messages.
  QTimer closer;
  closer.setInterval(1);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    std::error_code ec;
    if (fs::exists(folder + "/email-0.eml", ec)) {
      closer.stop();
      w.frm->close();
    }
  });
  closer.start();
  w.click("CmdConvert");

  QCOMPARE(ended.count(), 1);
  QVERIFY(w.desktop.boxes.empty());
  QCOMPARE(w.frm->lastRun().outcome, qc::RunReport::Outcome::Interrupted);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    // Only finished message files, email-<j>.eml, may stand in the folder, those counted.
    const QString shown = Q(name);
    QVERIFY2(shown.startsWith(QStringLiteral("email-")) && shown.endsWith(QStringLiteral(".eml")),
             name.c_str());
    bool number = false;
    const int j = shown.mid(6, shown.size() - 10).toInt(&number);
    QVERIFY2(number && j >= 0 && j < w.frm->lastRun().messagesWritten, name.c_str());
    QVERIFY2(qc::test::ReadFile(entry.path().string()) == messages[j] + "\r\n", name.c_str());
    ++files;
  }
  // Exactly the files the run counted: none that a worker finished ahead of it.
  QCOMPARE(files, static_cast<int>(w.frm->lastRun().messagesWritten));
  QVERIFY(files < count);
}

QTEST_MAIN(ConvertTest)
#include "convert_test.moc"
