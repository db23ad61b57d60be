// quillon-converter: the desktop window of Quillon Converter.
#include <QApplication>
#include <csignal>

#include "app/frm_step1.h"
#include "app/qt_desktop.h"

int main(int argc, char** argv) {
  // A file-size limit must end in a write error the run reports, not kill the program.
  std::signal(SIGXFSZ, SIG_IGN);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon Converter"));

  qc::app::QtDesktop desktop;
  qc::app::FrmStep1 window(desktop,
                           QCoreApplication::applicationDirPath() + QStringLiteral("/manual.html"));
  QObject::connect(&window, &qc::app::FrmStep1::ended, &app, &QCoreApplication::quit);
  window.show();
  window.centre();
  return QApplication::exec();
}
