#include "app/qt_desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace qc::app {

namespace {

QMessageBox::Icon IconOf(MsgStyle style) {
  switch (style) {
    case MsgStyle::YesNoQuestion:
      return QMessageBox::Question;
    case MsgStyle::OkExclamation:
      return QMessageBox::Warning;
    case MsgStyle::OkInformation:
      return QMessageBox::Information;
    case MsgStyle::Ok:
      break;
  }
  return QMessageBox::NoIcon;
}

// The core breaks lines with CR LF or a lone CR; QMessageBox wants LF.
QString DisplayText(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace

MsgButton QtDesktop::messageBox(QWidget* owner, const QString& text, MsgStyle style,
                                const QString& title) {
  const bool question = style == MsgStyle::YesNoQuestion;
  QMessageBox box(IconOf(style), title, DisplayText(text),
                  question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
  if (question) box.setDefaultButton(QMessageBox::Yes);
  const int answer = box.exec();
  if (!question) return MsgButton::Ok;
  return answer == QMessageBox::Yes ? MsgButton::Yes : MsgButton::No;
}

QStringList QtDesktop::openFiles(QWidget* owner, const QString& filter) {
  return QFileDialog::getOpenFileNames(owner, QString(), QString(), filter);
}

QString QtDesktop::browseForFolder(QWidget* owner, const QString& title) {
  return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

void QtDesktop::openDocument(const QString& target) {
  if (target.isEmpty()) return;
  const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl(target);
  QDesktopServices::openUrl(url);
}

void QtDesktop::beep() {
  QApplication::beep();
}

}  // namespace qc::app
