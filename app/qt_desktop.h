// The desktop as a person sees it: QMessageBox, QFileDialog, QDesktopServices.
#pragma once

#include "app/desktop.h"

namespace qc::app {

class QtDesktop final : public Desktop {
 public:
  MsgButton messageBox(QWidget* owner, const QString& text, MsgStyle style,
                       const QString& title) override;
  QStringList openFiles(QWidget* owner, const QString& filter) override;
  QString browseForFolder(QWidget* owner, const QString& title) override;
  void openDocument(const QString& target) override;
  void beep() override;
};

}  // namespace qc::app
