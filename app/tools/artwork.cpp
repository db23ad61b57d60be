// Renders the program's artwork from its SVG files:
//   artwork icons OUTPUT NAME   OUTPUT/hicolor/<n>x<n>/apps/NAME.png at every size of the icon
//                               theme, and OUTPUT/NAME.ico for Windows
//   artwork rasters OUTPUT      OUTPUT/<artwork>-<w>x<h>.png: what the window shows, at 1x and
//                               2x, for a Qt without its SVG module
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "app/artwork.h"
#include "app/icon_file.h"

namespace {

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(QDir::toNativeSeparators(path)));
  return false;
}

QImage Icon(int side) {
  return qc::app::RenderArtworkImage(QStringLiteral("window-icon.svg"), QSize(side, side));
}

int Icons(const QDir& output, const QString& name) {
  for (int side : qc::app::kThemeIconSides) {
    const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(side);
    if (!output.mkpath(folder)) return 1;
    if (!Save(Icon(side), output.filePath(folder + QLatin1Char('/') + name + ".png"))) return 1;
  }
  QList<QImage> images;
  for (int side : qc::app::kWindowsIconSides) images.append(Icon(side));
  QFile ico(output.filePath(name + QStringLiteral(".ico")));
  const QByteArray bytes = qc::app::IconFile(images);
  if (!ico.open(QIODevice::WriteOnly) || ico.write(bytes) != bytes.size() || !ico.flush()) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(QDir::toNativeSeparators(ico.fileName())));
    return 1;
  }
  return 0;
}

int Rasters(const QDir& output) {
  if (!output.mkpath(QStringLiteral("."))) return 1;
  for (const qc::app::ArtworkUse& use : qc::app::kArtworkUses) {
    const QString name = QString::fromLatin1(use.name);
    for (int scale : {1, 2}) {
      const QSize pixels = use.size * scale;
      const QImage image = qc::app::RenderArtworkImage(name, pixels);
      if (!Save(image, output.filePath(qc::app::RasterName(name, pixels)))) return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Nothing is shown: no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() == 4 && args[1] == QLatin1String("icons")) return Icons(QDir(args[2]), args[3]);
  if (args.size() == 3 && args[1] == QLatin1String("rasters")) return Rasters(QDir(args[2]));
  std::fprintf(stderr, "usage: %s icons OUTPUT NAME | rasters OUTPUT\n", argv[0]);
  return 1;
}
