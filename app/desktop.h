// Everything the window asks of a person or of the desktop outside itself: message boxes, the
// open-file dialog, the folder browser, opening a document, the beep. The program answers with
// real dialogs; the tests answer from a script, so no test waits for a person.
#pragma once

#include <QString>
#include <QStringList>

#include "util/ui.h"

class QWidget;

namespace qc::app {

class Desktop {
 public:
  virtual ~Desktop() = default;

  // `text` separates lines with "\r\n" (or a bare "\r"), as the core writes them.
  virtual MsgButton messageBox(QWidget* owner, const QString& text, MsgStyle style,
                               const QString& title) = 0;
  // The files picked, in the dialog's order; empty when cancelled.
  virtual QStringList openFiles(QWidget* owner, const QString& filter) = 0;
  // The folder picked, or empty text when cancelled.
  virtual QString browseForFolder(QWidget* owner, const QString& title) = 0;
  // Silent when nothing can open the target.
  virtual void openDocument(const QString& target) = 0;
  virtual void beep() = 0;
};

}  // namespace qc::app
