// The program's artwork: the .ico writer against its reader and against Windows' layout; the
// choice of a raster; and the files made by scripts/artwork for the builds without SVG (the
// Windows icon, the rasters), which must be the artwork's of today.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTest>
#include <QtEndian>

#include "app/artwork.h"
#include "app/icon_file.h"

using namespace qc::app;

namespace {

QImage Square(int side, QColor colour) {
  QImage image(side, side, QImage::Format_ARGB32);
  image.fill(colour);
  return image;
}

// How far apart two images of one size are: the largest difference of any channel.
int Distance(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_ARGB32);
  const QImage y = b.convertToFormat(QImage::Format_ARGB32);
  int worst = 0;
  for (int row = 0; row < x.height(); ++row) {
    for (int col = 0; col < x.width(); ++col) {
      const QRgb p = x.pixel(col, row);
      const QRgb q = y.pixel(col, row);
      worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                        std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
    }
  }
  return worst;
}

}  // namespace

const QString kResources = QStringLiteral(QC_SOURCE_DIR "/app/resources/");

class ArtworkTest : public QObject {
  Q_OBJECT

 private slots:
  void roundTripKeepsOrderSizesAndPixels();
  void directoryIsWindowsLayout();
  void damagedFilesAreRefused_data();
  void damagedFilesAreRefused();
  void rasterChosenForTheScreen_data();
  void rasterChosenForTheScreen();
  void everyUseHasItsRasters();
  void windowShowsArtworkAtItsSize();
#ifdef QC_ARTWORK_SVG
  void renderedIconIsOpaqueArtwork();
  void embeddedIconMatchesTheArtwork();
  void rastersMatchTheArtwork();
#endif
};

void ArtworkTest::roundTripKeepsOrderSizesAndPixels() {
  const QList<QImage> images{Square(16, Qt::red), Square(256, QColor(0, 128, 255, 128)),
                             Square(48, Qt::green)};
  const auto read = ReadIconFile(IconFile(images));
  QVERIFY(read.has_value());
  QCOMPARE(read->size(), 3);
  for (int i = 0; i < 3; ++i) {
    QCOMPARE(read->at(i).size(), images[i].size());
    QCOMPARE(Distance(read->at(i), images[i]), 0);
  }
}

// Field by field: ICONDIR, then the ICONDIRENTRY of a 256-pixel image (its side written as 0),
// then the PNG right after the directory.
void ArtworkTest::directoryIsWindowsLayout() {
  const QByteArray file = IconFile({Square(256, Qt::blue)});
  const auto u32 = [&](int at) {
    quint32 value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uchar>(file.at(at + i));
    return value;
  };
  const auto u16 = [&](int at) { return static_cast<quint16>(u32(at) & 0xffff); };
  QCOMPARE(u16(0), 0);  // reserved
  QCOMPARE(u16(2), 1);  // icon
  QCOMPARE(u16(4), 1);  // one image
  QCOMPARE(file[6], '\0');
  QCOMPARE(file[7], '\0');
  QCOMPARE(u16(10), 1);   // planes
  QCOMPARE(u16(12), 32);  // bits per pixel
  QCOMPARE(u32(14), static_cast<quint32>(file.size() - 22));
  QCOMPARE(u32(18), 22u);
  QCOMPARE(file.mid(22, 8), QByteArray("\x89PNG\r\n\x1a\n"));
}

void ArtworkTest::damagedFilesAreRefused_data() {
  QTest::addColumn<QByteArray>("bytes");
  const QByteArray good = IconFile({Square(16, Qt::red), Square(32, Qt::red)});
  QByteArray cursor = good;
  cursor[2] = 2;
  QByteArray beyondEnd = good;
  qToLittleEndian<quint32>(static_cast<quint32>(good.size()), beyondEnd.data() + 6 + 12);
  QByteArray wrongSide = good;
  wrongSide[6] = 17;
  wrongSide[7] = 17;
  QByteArray noImages = good.left(6);
  noImages[4] = 0;
  QTest::newRow("empty") << QByteArray();
  QTest::newRow("a cursor") << cursor;
  QTest::newRow("no images") << noImages;
  QTest::newRow("cut in the directory") << good.left(20);
  QTest::newRow("cut in an image") << good.left(good.size() - 10);
  QTest::newRow("image beyond the end") << beyondEnd;
  QTest::newRow("side not the image's") << wrongSide;
}

void ArtworkTest::damagedFilesAreRefused() {
  QFETCH(QByteArray, bytes);
  QVERIFY(!ReadIconFile(bytes).has_value());
}

void ArtworkTest::rasterChosenForTheScreen_data() {
  QTest::addColumn<int>("width");
  QTest::addColumn<QString>("chosen");
  QTest::newRow("exact") << 32 << "window-icon-32x32.png";
  QTest::newRow("between: the larger") << 40 << "window-icon-64x64.png";
  QTest::newRow("smaller than all") << 8 << "window-icon-16x16.png";
  QTest::newRow("larger than all: the largest") << 300 << "window-icon-256x256.png";
}

void ArtworkTest::rasterChosenForTheScreen() {
  QFETCH(int, width);
  QFETCH(QString, chosen);
  // Another artwork's files and names that only begin alike never answer.
  const QStringList files{"window-icon-256x256.png",   "window-icon-16x16.png",
                          "window-icon-64x64.png",     "window-icon-32x32.png",
                          "banner-600x85.png",         "window-icon-extra-48x48.png",
                          "window-icon-48x48.png.orig"};
  QCOMPARE(ChooseRaster(files, QStringLiteral("window-icon.svg"), QSize(width, width)), chosen);
  QCOMPARE(ChooseRaster({"banner-600x85.png"}, QStringLiteral("saving.svg"), QSize(16, 16)),
           QString());
}

// scripts/artwork made a raster for each use of the artwork at 1x and 2x.
void ArtworkTest::everyUseHasItsRasters() {
  for (const ArtworkUse& use : kArtworkUses) {
    for (int scale : {1, 2}) {
      const QString file = RasterName(QString::fromLatin1(use.name), use.size * scale);
      QVERIFY2(QFile::exists(kResources + QStringLiteral("raster/") + file),
               qPrintable(file + QStringLiteral(" is missing: run scripts/artwork")));
    }
  }
}

// What the window draws, from SVG or from the rasters, has the size it is shown at.
void ArtworkTest::windowShowsArtworkAtItsSize() {
  for (const ArtworkUse& use : kArtworkUses) {
    const QPixmap pixmap = RenderArtwork(QString::fromLatin1(use.name), use.size);
    QVERIFY2(!pixmap.isNull(), use.name);
    QCOMPARE(pixmap.deviceIndependentSize().toSize(), use.size);
    const QImage image = pixmap.toImage();
    QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
  }
  QVERIFY(!WindowIcon().isNull());
}

#ifdef QC_ARTWORK_SVG
// The artwork fills its square: corners clear (rounded), the middle drawn.
void ArtworkTest::renderedIconIsOpaqueArtwork() {
  for (int side : kThemeIconSides) {
    const QImage icon = RenderArtworkImage(QStringLiteral("window-icon.svg"), QSize(side, side));
    QCOMPARE(icon.size(), QSize(side, side));
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(side / 2, side / 2)), 255);
  }
}

// The Windows build cannot run the renderer, so it takes the .ico made by scripts/artwork;
// after a change of the artwork that file must be made again.
void ArtworkTest::embeddedIconMatchesTheArtwork() {
  QFile file(kResources + QStringLiteral("quillon-converter.ico"));
  QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
  const auto images = ReadIconFile(file.readAll());
  QVERIFY(images.has_value());
  QCOMPARE(images->size(), static_cast<qsizetype>(std::size(kWindowsIconSides)));
  for (qsizetype i = 0; i < images->size(); ++i) {
    const int side = kWindowsIconSides[i];
    QCOMPARE(images->at(i).width(), side);
    // A few steps of colour allow for another Qt's anti-aliasing; a changed drawing is far more.
    const QImage now = RenderArtworkImage(QStringLiteral("window-icon.svg"), QSize(side, side));
    QVERIFY2(Distance(images->at(i), now) <= 8,
             "app/resources/quillon-converter.ico is not the artwork's: run scripts/artwork");
  }
}

void ArtworkTest::rastersMatchTheArtwork() {
  const QDir folder(kResources + QStringLiteral("raster"));
  const QStringList files = folder.entryList({QStringLiteral("*.png")}, QDir::Files);
  QVERIFY(!files.isEmpty());
  for (const QString& file : files) {
    const QImage raster(folder.filePath(file));
    QVERIFY2(!raster.isNull(), qPrintable(file));
    const QString name = file.section(QLatin1Char('-'), 0, -2) + QStringLiteral(".svg");
    QVERIFY2(QFile::exists(kResources + name), qPrintable(file + " belongs to no artwork"));
    QVERIFY2(Distance(raster, RenderArtworkImage(name, raster.size())) <= 8,
             qPrintable(file + QStringLiteral(" is not the artwork's: run scripts/artwork")));
  }
}
#endif

QTEST_MAIN(ArtworkTest)
#include "artwork_test.moc"
