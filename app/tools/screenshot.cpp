// Renders the main window as it opens into a PNG, without a display (QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/frm_step1.h"
#include "app/qt_desktop.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 1;
  }
  qc::app::QtDesktop desktop;
  qc::app::FrmStep1 window(desktop, QString());
  window.show();
  QApplication::processEvents();
  if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
