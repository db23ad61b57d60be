// A fresh main window over a scripted desktop, with helpers to reach its controls by name.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <memory>
#include <string>

#include "app/frm_step1.h"
#include "app/tests/scripted_desktop.h"

namespace qc::app::test {

inline const QString kManual = QStringLiteral("/opt/quillon/manual.html");

struct Window {
  ScriptedDesktop desktop;
  std::unique_ptr<FrmStep1> frm = std::make_unique<FrmStep1>(desktop, kManual);

  template <class W = QWidget>
  W* control(const char* name) const {
    return frm->findChild<W*>(QString::fromLatin1(name));
  }
  QString text(const char* name) const { return control<QLabel>(name)->text(); }
  int bar(const char* name) const { return control<QProgressBar>(name)->value(); }
  bool enabled(const char* name) const { return control(name)->isEnabled(); }
  void click(const char* name) { control<QAbstractButton>(name)->click(); }
  QStringList rows() const {
    QStringList out;
    for (int i = 0; i < frm->list().rowCount(); ++i) out << frm->list().row(i);
    return out;
  }
};

}  // namespace qc::app::test
