// The program's own artwork, drawn as SVG and rendered at the size the window shows it.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace qc::app {

// `name` is a file of the artwork resource, such as "banner.svg".
QPixmap RenderArtwork(const QString& name, QSize size);
QIcon WindowIcon();

}  // namespace qc::app
