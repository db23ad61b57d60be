#include "app/artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

namespace qc::app {

QPixmap RenderArtwork(const QString& name, QSize size) {
  // Rendered for the screen's pixel density so the artwork stays sharp when scaled.
  const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(QStringLiteral(":/artwork/") + name);
  QPainter painter(&pixmap);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
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
