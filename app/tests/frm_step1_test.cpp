// The window as it opens, Help, Exit and closing.
#include <QGroupBox>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include "app/tests/window_fixture.h"
#include "app/twips.h"

using namespace qc::app;
using namespace qc::app::test;

class FrmStep1Test : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTheDesignedControls_data();
  void opensWithTheDesignedControls();
  void opensEmptyFixedAndWaitingForMailboxes();
  void helpOpensTheManualQuietly();
  void exitAsksAndOnlyYesEnds();
  void closeEndsWithoutAQuestion();
};

void FrmStep1Test::opensWithTheDesignedControls_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QRect>("twips");
  const auto row = [](const char* name, const char* caption, QRect twips) {
    QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption) << twips;
  };
  row("cmdAdd", "Select (.mbx) file(s)...", QRect(240, 1440, 2535, 375));
  row("CmdAddFolder", "Select folder having (.mbx) file(s)...", QRect(3000, 1440, 3375, 375));
  row("cmdClear1", "Clear file(s)...", QRect(7440, 1440, 1335, 375));
  row("lblCount1", "0 files", QRect(270, 1920, 8535, 255));
  row("grdFiles1", "", QRect(240, 2160, 8535, 1575));
  row("Frame1", " I want to convert mbox mailbox messages to", QRect(240, 3840, 8535, 1335));
  row("OptEML",
      "(.eml) files          -     (Supported by Outlook Express, Windows Mail, Windows Live "
      "Mail)",
      QRect(0, 0, 8055, 255));
  row("OptEMLX", "(.emlx) files        -     (Supported by Mac OS X ) Tiger Mail ",
      QRect(0, 240, 8295, 255));
  row("OptPST", "(.pst) files          -     (Supported by MS Outlook)", QRect(0, 480, 8055, 255));
  row("OptMSG",
      "(.msg) files         -     (Supported by MS Outlook, Document Management Software, Forensic "
      "Tools)",
      QRect(0, 720, 8055, 255));
  row("Label4", "Converting Messages...", QRect(240, 5235, 1815, 255));
  row("LblHappening", "", QRect(2040, 5235, 6735, 255));
  row("LblProgessCurrent", "Mailbox  0 (of 0)", QRect(600, 5520, 8175, 255));
  row("Label1", "Reading          :", QRect(600, 5760, 1335, 255));
  row("LblIMMFile", "", QRect(1920, 5760, 6855, 255));
  row("ProgressBar2", "", QRect(600, 6000, 8175, 255));
  row("Label2", "Emails Found :", QRect(600, 6285, 1335, 255));
  row("LblEmlsFound", "", QRect(1920, 6285, 6855, 255));
  row("LblByteUpdate", "", QRect(960, 6480, 7815, 255));
  row("Image3", "", QRect(600, 6735, 240, 240));
  row("LblProgress", "Saving :", QRect(960, 6735, 7815, 255));
  row("ProgressBar1", "", QRect(600, 7080, 8175, 255));
  row("CmdConvert", "Convert", QRect(3120, 7680, 2775, 435));
  row("Shape1", "", QRect(0, 8280, 9015, 855));
  row("Picture3", "", QRect(240, 8400, 8655, 495));
  row("CmdHelp", "&Help Manual", QRect(0, 0, 1695, 375));
  row("cmdEnd", "E&xit", QRect(0 + 7200, 0, 1335, 375));
}

void FrmStep1Test::opensWithTheDesignedControls() {
  QFETCH(QString, name);
  QFETCH(QString, caption);
  QFETCH(QRect, twips);
  Window w;
  QWidget* control = w.frm->findChild<QWidget*>(name);
  QVERIFY2(control, qPrintable(name));
  QCOMPARE(control->geometry(), Twips(twips.x(), twips.y(), twips.width(), twips.height()));
  QString shown;
  if (auto* label = qobject_cast<QLabel*>(control)) shown = label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) shown = button->text();
  if (auto* frame = qobject_cast<QGroupBox*>(control)) shown = frame->title();
  QCOMPARE(shown, caption);
}

void FrmStep1Test::opensEmptyFixedAndWaitingForMailboxes() {
  Window w;
  w.frm->show();
  QVERIFY(QTest::qWaitForWindowExposed(w.frm.get()));

  QCOMPARE(w.frm->windowTitle(), QStringLiteral("Brantwell Quillon Converter v1.0"));
  QCOMPARE(w.frm->size(), QSize(Px(8985), Px(8895)));
  QCOMPARE(w.frm->minimumSize(), w.frm->maximumSize());
  QVERIFY(!(w.frm->windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(w.frm->windowFlags() & Qt::WindowMinimizeButtonHint);
  QVERIFY(!w.frm->windowIcon().isNull());
  QVERIFY(!w.control<QLabel>("Image2")->pixmap().isNull());
  QCOMPARE(w.control<QLabel>("Image2")->pixmap().deviceIndependentSize(), QSizeF(600, 85));
  QCOMPARE(w.frm->palette().color(QPalette::Window), QColor(163, 210, 254));
  QCOMPARE(w.control("OptMSG")->palette().color(QPalette::Window), QColor(255, 231, 176));
  QCOMPARE(w.control("LblHappening")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  QCOMPARE(w.control("LblByteUpdate")->palette().color(QPalette::WindowText), QColor(128, 0, 0));
  QVERIFY(w.control("Label1")->font().bold());
  QCOMPARE(w.control("Label2")->palette().color(QPalette::WindowText), QColor(0, 64, 64));
  QCOMPARE(w.frm->font().pointSizeF(), 8.25);

  QCOMPARE(w.frm->focusWidget(), w.control("cmdAdd"));
  QVERIFY(!w.enabled("CmdConvert"));
  for (const char* option : {"OptEML", "OptEMLX", "OptPST", "OptMSG"}) {
    QVERIFY(!w.control<QRadioButton>(option)->isChecked());
  }
  QCOMPARE(w.text("lblCount1"), QStringLiteral("0 files"));
  QCOMPARE(w.text("LblProgessCurrent"), QStringLiteral("Mailbox  0 (of 0)"));
  QCOMPARE(w.text("LblProgress"), QStringLiteral("Saving :"));
  for (const char* empty : {"LblHappening", "LblIMMFile", "LblEmlsFound", "LblByteUpdate"}) {
    QVERIFY2(w.text(empty).isEmpty(), empty);
  }
  QCOMPARE(w.bar("ProgressBar1"), 0);
  QCOMPARE(w.bar("ProgressBar2"), 0);
  QCOMPARE(w.control<QProgressBar>("ProgressBar1")->maximum(), 100);

  auto* grid = w.control<QTableWidget>("grdFiles1");
  QCOMPARE(grid->rowCount(), 1);
  QCOMPARE(grid->columnCount(), 1);
  QCOMPARE(grid->columnWidth(0), Px(15000));
  QVERIFY(grid->horizontalHeader()->isHidden());
  QVERIFY(grid->verticalHeader()->isHidden());
  QVERIFY(w.frm->list().isEmpty());
  QCOMPARE(w.frm->findChild<QObject*>(QStringLiteral("cdlgFile"))->property("filter").toString(),
           QStringLiteral("Quillon Mailboxes (*.mbx *.mbox)"));
  QVERIFY(!w.frm->fileReader().created());
}

void FrmStep1Test::helpOpensTheManualQuietly() {
  Window w;
  w.click("CmdHelp");
  QCOMPARE(w.desktop.opened, QStringList{kManual});
  QVERIFY(w.desktop.boxes.empty());

  // Nothing to open: no request, no message.
  ScriptedDesktop quiet;
  FrmStep1 noManual(quiet, QString());
  noManual.CmdHelp_Click();
  QVERIFY(quiet.opened.isEmpty());
  QVERIFY(quiet.boxes.empty());
}

void FrmStep1Test::exitAsksAndOnlyYesEnds() {
  Window w;
  w.frm->show();
  QSignalSpy ended(w.frm.get(), &FrmStep1::ended);

  w.desktop.answers = {qc::MsgButton::No};
  w.click("cmdEnd");
  QCOMPARE(w.desktop.boxes.size(), 1u);
  QCOMPARE(w.desktop.boxes[0].text, QStringLiteral("Are you sure you want to exit now?"));
  QCOMPARE(w.desktop.boxes[0].style, qc::MsgStyle::YesNoQuestion);
  QCOMPARE(w.desktop.boxes[0].title, QStringLiteral("Quillon Converter"));
  QVERIFY(w.frm->isVisible());
  QCOMPARE(ended.count(), 0);

  w.desktop.answers = {qc::MsgButton::Yes};
  w.click("cmdEnd");
  QVERIFY(!w.frm->isVisible());
  QCOMPARE(ended.count(), 1);
  QCOMPARE(w.desktop.unscripted, 0);
}

void FrmStep1Test::closeEndsWithoutAQuestion() {
  Window w;
  w.frm->show();
  QSignalSpy ended(w.frm.get(), &FrmStep1::ended);
  QVERIFY(w.frm->close());
  QCOMPARE(ended.count(), 1);
  QVERIFY(w.desktop.boxes.empty());
}

QTEST_MAIN(FrmStep1Test)
#include "frm_step1_test.moc"
