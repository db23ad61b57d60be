#include "app/artwork.h"

#include <QGuiApplication>
#include <QPainter>

#include <QDir>
#include <QRegularExpression>

#ifdef QC_ARTWORK_SVG
#include <QSvgRenderer>
#endif

namespace qc::app {

namespace {

#ifndef QC_ARTWORK_SVG
QImage NearestRaster(const QString& name, QSize pixels) {
  const QDir folder(QStringLiteral(":/artwork/raster"));
  const QString chosen = ChooseRaster(folder.entryList(QDir::Files), name, pixels);
  return chosen.isEmpty() ? QImage() : QImage(folder.filePath(chosen));
}
#endif

}  // namespace

QString ChooseRaster(const QStringList& files, const QString& name, QSize pixels) {
  const QString base = name.section(QLatin1Char('.'), 0, 0);
  const QRegularExpression pattern(QStringLiteral("^") + QRegularExpression::escape(base) +
                                   QStringLiteral("-(\\d+)x(\\d+)\\.png$"));
  QString fitting;  // the smallest at least as wide as asked
  QString largest;
  int fittingWidth = 0;
  int largestWidth = 0;
  for (const QString& file : files) {
    const auto match = pattern.match(file);
    if (!match.hasMatch()) continue;
    const int width = match.captured(1).toInt();
    if (width >= pixels.width() && (fittingWidth == 0 || width < fittingWidth)) {
      fitting = file;
      fittingWidth = width;
    }
    if (width > largestWidth) {
      largest = file;
      largestWidth = width;
    }
  }
  return fitting.isEmpty() ? largest : fitting;
}

QString RasterName(const QString& name, QSize pixels) {
  return QStringLiteral("%1-%2x%3.png")
      .arg(name.section(QLatin1Char('.'), 0, 0))
      .arg(pixels.width())
      .arg(pixels.height());
}

#ifdef QC_ARTWORK_SVG
QImage RenderArtworkImage(const QString& name, QSize pixels) {
  QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QSvgRenderer renderer(QStringLiteral(":/artwork/") + name);
  QPainter painter(&image);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
  painter.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}
#endif

QPixmap RenderArtwork(const QString& name, QSize size) {
  // Rendered for the screen's pixel density so the artwork stays sharp when scaled.
  const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
  const QSize pixels = (QSizeF(size) * ratio).toSize();
#ifdef QC_ARTWORK_SVG
  QPixmap pixmap = QPixmap::fromImage(RenderArtworkImage(name, pixels));
#else
  QImage raster = NearestRaster(name, pixels);
  if (raster.size() != pixels && !raster.isNull()) {
    raster = raster.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  QPixmap pixmap = QPixmap::fromImage(raster);
#endif
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

QIcon WindowIcon() {
  QIcon icon;
  for (int side : {16, 32, 48, 64, 128}) {
    icon.addPixmap(RenderArtwork(QStringLiteral("window-icon.svg"), QSize(side, side)));
  }
  return icon;
}

}  // namespace qc::app
