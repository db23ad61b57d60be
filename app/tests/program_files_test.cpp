// The window finds its manual where each kind of installation puts it.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/program_files.h"

using qc::app::FindManual;

namespace {

void Touch(const QString& path) {
  QVERIFY(QDir().mkpath(QFileInfo(path).path()));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
}

}  // namespace

class ProgramFilesTest : public QObject {
  Q_OBJECT

 private slots:
  void manualBesideTheProgram();
  void manualOfALinuxInstallation();
  void besideWinsOverTheDataFolder();
  void noManualNamesTheFileBesideTheProgram();
};

// A Windows installation and the build folder.
void ProgramFilesTest::manualBesideTheProgram() {
  QTemporaryDir root;
  const QString bin = root.filePath(QStringLiteral("Quillon Converter"));
  Touch(bin + QStringLiteral("/manual.html"));
  QCOMPARE(FindManual(bin), bin + QStringLiteral("/manual.html"));
}

// /usr/bin/quillon-converter and /usr/share/quillon-converter/manual.html.
void ProgramFilesTest::manualOfALinuxInstallation() {
  QTemporaryDir root;
  const QString usr = root.filePath(QStringLiteral("usr"));
  QVERIFY(QDir().mkpath(usr + QStringLiteral("/bin")));
  const QString manual = usr + QStringLiteral("/share/quillon-converter/manual.html");
  Touch(manual);
  QCOMPARE(FindManual(usr + QStringLiteral("/bin")), manual);
}

void ProgramFilesTest::besideWinsOverTheDataFolder() {
  QTemporaryDir root;
  const QString usr = root.filePath(QStringLiteral("usr"));
  Touch(usr + QStringLiteral("/share/quillon-converter/manual.html"));
  Touch(usr + QStringLiteral("/bin/manual.html"));
  QCOMPARE(FindManual(usr + QStringLiteral("/bin")), usr + QStringLiteral("/bin/manual.html"));
}

// A folder of that name is no manual; Help then names the file it missed, beside the program.
void ProgramFilesTest::noManualNamesTheFileBesideTheProgram() {
  QTemporaryDir root;
  const QString usr = root.filePath(QStringLiteral("usr"));
  QVERIFY(QDir().mkpath(usr + QStringLiteral("/share/quillon-converter/manual.html")));
  QVERIFY(QDir().mkpath(usr + QStringLiteral("/bin")));
  QCOMPARE(FindManual(usr + QStringLiteral("/bin")), usr + QStringLiteral("/bin/manual.html"));
}

QTEST_GUILESS_MAIN(ProgramFilesTest)
#include "program_files_test.moc"
