// The program's own artwork, drawn as SVG (app/resources) and shown at the size the window
// gives it. Where Qt comes without its SVG module (the Windows build's Qt), the window shows
// PNG renderings of the same files made by scripts/artwork (app/resources/raster).
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

namespace qc::app {

// `name` is a file of the artwork resource, such as "banner.svg"; `size` is in logical pixels.
QPixmap RenderArtwork(const QString& name, QSize size);
QIcon WindowIcon();

#ifdef QC_ARTWORK_SVG
// The artwork `name` rendered from its SVG at exactly `pixels`, for the icon files and the
// rasters.
QImage RenderArtworkImage(const QString& name, QSize pixels);
#endif

// The raster file names of the artwork `name` at `pixels`: "banner.svg" at 600 x 85 gives
// "banner-600x85.png".
QString RasterName(const QString& name, QSize pixels);

// Of the raster `files` of the artwork `name`, the one to show at `pixels`: the smallest at
// least that wide, else the largest (a screen between two scales gets the larger rendering made
// smaller, which keeps it sharp); empty when there is none.
QString ChooseRaster(const QStringList& files, const QString& name, QSize pixels);

// What the window shows each artwork at (logical pixels); the rasters hold each at 1x and 2x.
struct ArtworkUse {
  const char* name;
  QSize size;
};
inline const ArtworkUse kArtworkUses[] = {
    {"banner.svg", QSize(600, 85)},       {"saving.svg", QSize(16, 16)},
    {"window-icon.svg", QSize(16, 16)},   {"window-icon.svg", QSize(32, 32)},
    {"window-icon.svg", QSize(48, 48)},   {"window-icon.svg", QSize(64, 64)},
    {"window-icon.svg", QSize(128, 128)},
};

}  // namespace qc::app
