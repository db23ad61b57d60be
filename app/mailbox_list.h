// The mailbox list: paths in the one column of grdFiles1, their count in lblCount1. The grid
// always keeps at least one row; the empty list is one row with empty text.
#pragma once

#include <QString>
#include <string>
#include <vector>

class QLabel;
class QTableWidget;

namespace qc::app {

class MailboxList {
 public:
  MailboxList(QTableWidget& grid, QLabel& count);

  void AddFileToList(const QString& path);
  void ResetFileList();

  bool isEmpty() const;
  int rowCount() const;
  QString row(int i) const;
  // The entries as native paths, for the conversion; the empty list gives none.
  std::vector<std::string> rows() const;
  void selectRow(int i);

 private:
  void setCell(int i, const QString& text);

  QTableWidget& grid_;
  QLabel& count_;
};

// Native path text <-> the text a widget shows.
std::string NativePath(const QString& path);
QString DisplayPath(const std::string& path);

}  // namespace qc::app
