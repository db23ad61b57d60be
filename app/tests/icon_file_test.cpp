// The program's icon: the .ico writer against its reader and against Windows' layout, the
// rendering, and the .ico the Windows build embeds, which must be the artwork's of today.
#include <QFile>
#include <QGuiApplication>
#include <QTest>
#include <QtEndian>

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

class IconFileTest : public QObject {
  Q_OBJECT

 private slots:
  void roundTripKeepsOrderSizesAndPixels();
  void directoryIsWindowsLayout();
  void damagedFilesAreRefused_data();
  void damagedFilesAreRefused();
  void renderedIconIsOpaqueArtwork();
  void embeddedIconMatchesTheArtwork();
};

void IconFileTest::roundTripKeepsOrderSizesAndPixels() {
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
void IconFileTest::directoryIsWindowsLayout() {
  const QByteArray file = IconFile({Square(256, Qt::blue)});
  const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(file.constData() + at); };
  const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(file.constData() + at); };
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

void IconFileTest::damagedFilesAreRefused_data() {
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

void IconFileTest::damagedFilesAreRefused() {
  QFETCH(QByteArray, bytes);
  QVERIFY(!ReadIconFile(bytes).has_value());
}

// The artwork fills its square: corners clear (rounded), the middle drawn.
void IconFileTest::renderedIconIsOpaqueArtwork() {
  for (int side : kThemeIconSides) {
    const QImage icon = RenderProgramIcon(side);
    QCOMPARE(icon.size(), QSize(side, side));
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(side / 2, side / 2)), 255);
  }
}

// The Windows build cannot run the renderer, so it takes the .ico made by scripts/icons; after
// a change of the artwork that file must be made again.
void IconFileTest::embeddedIconMatchesTheArtwork() {
  QFile file(QStringLiteral(QC_SOURCE_DIR "/app/resources/quillon-converter.ico"));
  QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
  const auto images = ReadIconFile(file.readAll());
  QVERIFY(images.has_value());
  QCOMPARE(images->size(), static_cast<qsizetype>(std::size(kWindowsIconSides)));
  for (qsizetype i = 0; i < images->size(); ++i) {
    const int side = kWindowsIconSides[i];
    QCOMPARE(images->at(i).width(), side);
    // A few steps of colour allow for another Qt's anti-aliasing; a changed drawing is far more.
    QVERIFY2(Distance(images->at(i), RenderProgramIcon(side)) <= 8,
             "app/resources/quillon-converter.ico is not the artwork's: run scripts/icons");
  }
}

QTEST_MAIN(IconFileTest)
#include "icon_file_test.moc"
