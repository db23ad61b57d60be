// Renders the program's icon from the window's artwork: OUTPUT/hicolor/<n>x<n>/apps/NAME.png at
// every size of the icon theme, and OUTPUT/NAME.ico for Windows.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "app/icon_file.h"

int main(int argc, char** argv) {
  // Nothing is shown: no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT NAME\n", argv[0]);
    return 1;
  }
  const QDir output(QString::fromLocal8Bit(argv[1]));
  const QString name = QString::fromLocal8Bit(argv[2]);
  const auto fail = [](const QString& path) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(QDir::toNativeSeparators(path)));
    return 1;
  };
  for (int side : qc::app::kThemeIconSides) {
    const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(side);
    const QString path = output.filePath(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    if (!output.mkpath(folder) || !qc::app::RenderProgramIcon(side).save(path, "PNG")) {
      return fail(path);
    }
  }
  QList<QImage> images;
  for (int side : qc::app::kWindowsIconSides) images.append(qc::app::RenderProgramIcon(side));
  QFile ico(output.filePath(name + QStringLiteral(".ico")));
  const QByteArray bytes = qc::app::IconFile(images);
  if (!ico.open(QIODevice::WriteOnly) || ico.write(bytes) != bytes.size() || !ico.flush()) {
    return fail(ico.fileName());
  }
  return 0;
}
