#include "app/icon_file.h"

#include <QBuffer>
#include <QtEndian>

namespace qc::app {

namespace {

// ICONDIR (6 bytes), then one ICONDIRENTRY (16 bytes) per image, then the images.
constexpr qsizetype kHeaderSize = 6;
constexpr qsizetype kEntrySize = 16;

void Put16(QByteArray& out, int value) {
  char bytes[2];
  qToLittleEndian(static_cast<quint16>(value), bytes);
  out.append(bytes, 2);
}

void Put32(QByteArray& out, qsizetype value) {
  char bytes[4];
  qToLittleEndian(static_cast<quint32>(value), bytes);
  out.append(bytes, 4);
}

// Read byte by byte through at(): the callers have checked the size, which GCC cannot see
// through a pointer (it warns of reading past an empty array's single byte).
qint64 GetLittleEndian(const QByteArray& in, qsizetype at, int bytes) {
  qint64 value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<uchar>(in.at(at + i));
  return value;
}

int Get16(const QByteArray& in, qsizetype at) {
  return static_cast<int>(GetLittleEndian(in, at, 2));
}

qint64 Get32(const QByteArray& in, qsizetype at) {
  return GetLittleEndian(in, at, 4);
}

}  // namespace

QByteArray IconFile(const QList<QImage>& images) {
  QList<QByteArray> pngs;
  for (const QImage& image : images) {
    Q_ASSERT(image.width() == image.height() && image.width() >= 1 && image.width() <= 256);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    pngs.append(png);
  }
  QByteArray out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // an icon, not a cursor
  Put16(out, static_cast<int>(images.size()));
  qsizetype offset = kHeaderSize + kEntrySize * images.size();
  for (qsizetype i = 0; i < images.size(); ++i) {
    const int side = images[i].width();
    // A side of 256 does not fit the byte: 0 stands for it.
    out.append(static_cast<char>(side == 256 ? 0 : side));
    out.append(static_cast<char>(side == 256 ? 0 : side));
    out.append('\0');  // no palette
    out.append('\0');  // reserved
    Put16(out, 1);     // colour planes
    Put16(out, 32);    // bits per pixel
    Put32(out, pngs[i].size());
    Put32(out, offset);
    offset += pngs[i].size();
  }
  for (const QByteArray& png : pngs) out.append(png);
  return out;
}

std::optional<QList<QImage>> ReadIconFile(const QByteArray& bytes) {
  if (bytes.size() < kHeaderSize || Get16(bytes, 0) != 0 || Get16(bytes, 2) != 1) return {};
  const int count = Get16(bytes, 4);
  if (count == 0 || bytes.size() < kHeaderSize + kEntrySize * count) return {};
  QList<QImage> images;
  for (int i = 0; i < count; ++i) {
    const qsizetype entry = kHeaderSize + kEntrySize * i;
    const int width = static_cast<unsigned char>(bytes[entry]);
    const int height = static_cast<unsigned char>(bytes[entry + 1]);
    const qint64 size = Get32(bytes, entry + 8);
    const qint64 offset = Get32(bytes, entry + 12);
    if (offset < kHeaderSize + kEntrySize * count || size <= 0 || offset + size > bytes.size()) {
      return {};
    }
    QImage image = QImage::fromData(
        QByteArrayView(bytes.constData() + offset, static_cast<qsizetype>(size)), "PNG");
    const int side = width == 0 ? 256 : width;
    if (image.isNull() || width != height || image.width() != side || image.height() != side) {
      return {};
    }
    images.append(image);
  }
  return images;
}

}  // namespace qc::app
