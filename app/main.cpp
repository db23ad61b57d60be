// quillon-converter: the desktop window of Quillon Converter.
#include <QApplication>
#include <csignal>
#include <cstring>

#include "app/frm_step1.h"
#include "app/program_files.h"
#include "app/qt_desktop.h"
#include "util/program_version.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>

namespace {

// A window program has no console of its own: started from one, it answers there.
void UseParentConsole() {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;  // redirected to a file or pipe
  if (::AttachConsole(ATTACH_PARENT_PROCESS)) std::freopen("CONOUT$", "w", stdout);
}

}  // namespace
#endif

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
#ifdef _WIN32
    UseParentConsole();
#endif
    return qc::PrintVersion("quillon-converter");
  }
#ifdef SIGXFSZ
  // A file-size limit must end in a write error the run reports, not kill the program.
  std::signal(SIGXFSZ, SIG_IGN);
#endif

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon Converter"));
  QApplication::setApplicationVersion(QStringLiteral(QC_VERSION));
  // Lets a Wayland desktop match the window with its desktop entry (and its icon).
  QGuiApplication::setDesktopFileName(QStringLiteral(QC_APP_ID));

  qc::app::QtDesktop desktop;
  qc::app::FrmStep1 window(desktop, qc::app::FindManual(QCoreApplication::applicationDirPath()));
  QObject::connect(&window, &qc::app::FrmStep1::ended, &app, &QCoreApplication::quit);
  window.show();
  window.centre();
  return QApplication::exec();
}
