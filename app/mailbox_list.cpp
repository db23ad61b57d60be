#include "app/mailbox_list.h"

#include <QFile>
#include <QLabel>
#include <QTableWidget>

namespace qc::app {

std::string NativePath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

QString DisplayPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

MailboxList::MailboxList(QTableWidget& grid, QLabel& count) : grid_(grid), count_(count) {
  ResetFileList();
}

void MailboxList::AddFileToList(const QString& path) {
  int target = 0;
  if (!isEmpty()) {
    target = grid_.rowCount();
    grid_.insertRow(target);
  }
  setCell(target, path);
  grid_.setCurrentCell(target, 0);
  count_.setText(QString::number(grid_.rowCount()) + QStringLiteral(" files"));
}

void MailboxList::ResetFileList() {
  grid_.clearContents();
  grid_.setRowCount(1);
  setCell(0, QString());
  count_.setText(QStringLiteral("0 files"));
}

bool MailboxList::isEmpty() const {
  return grid_.rowCount() == 1 && row(0).isEmpty();
}

int MailboxList::rowCount() const {
  return grid_.rowCount();
}

QString MailboxList::row(int i) const {
  const QTableWidgetItem* cell = grid_.item(i, 0);
  return cell ? cell->text() : QString();
}

std::vector<std::string> MailboxList::rows() const {
  std::vector<std::string> paths;
  if (isEmpty()) return paths;
  for (int i = 0; i < grid_.rowCount(); ++i) paths.push_back(NativePath(row(i)));
  return paths;
}

void MailboxList::selectRow(int i) {
  grid_.setCurrentCell(i, 0);
}

void MailboxList::setCell(int i, const QString& text) {
  auto* cell = new QTableWidgetItem(text);
  cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  grid_.setItem(i, 0, cell);
}

}  // namespace qc::app
