#include "support/pictures.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>

namespace pictures {

QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, Qt::darkBlue);
    gradient.setColorAt(1, Qt::yellow);
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::red);
    for (int x = 0; x < width; x += 17)
        painter.drawLine(x, 0, width - x, height);
    return image;
}

bool write(const QImage& image, const QString& path)
{
    return image.save(path);
}

namespace {
QByteArray bigEndian(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xff));
    return out;
}
} // namespace

QByteArray withOrientation(const QByteArray& jpeg, int orientation)
{
    // TIFF header (big-endian), one IFD with the single Orientation entry.
    const QByteArray exif = QByteArray("Exif\0\0MM\0\x2a", 10) + bigEndian(8, 4) + bigEndian(1, 2) +
                            bigEndian(0x0112, 2) + bigEndian(3, 2) + bigEndian(1, 4) +
                            bigEndian(quint32(orientation), 2) + bigEndian(0, 2) + bigEndian(0, 4);
    return jpeg.left(2) + "\xFF\xE1" + bigEndian(quint32(exif.size() + 2), 2) + exif + jpeg.mid(2);
}

QByteArray jpeg(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

} // namespace pictures
