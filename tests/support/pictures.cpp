#include "support/pictures.h"

#include <QBuffer>
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

QByteArray withOrientation(const QByteArray& jpeg, int orientation)
{
    // An APP1 segment: "Exif", a big-endian TIFF header and one IFD holding
    // the single Orientation entry (tag 0x0112, SHORT, count 1).
    QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0\0\0\0\0", 32);
    exif[25] = char(orientation);
    return jpeg.left(2) + "\xFF\xE1" + char(0) + char(exif.size() + 2) + exif + jpeg.mid(2);
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
