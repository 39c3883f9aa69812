#include "support/pictures.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>

#include <exiv2/exiv2.hpp>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

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

const QRgb Quadrants[4] = {0xffdc1e1e, 0xff1ec81e, 0xff1e1edc, 0xfff0f0f0};

QImage quadrants(const QSize& size, const QRgb* colours)
{
    QImage corners(2, 2, QImage::Format_RGB32);
    for (int i = 0; i < 4; ++i)
        corners.setPixel(i % 2, i / 2, colours[i]);
    return corners.scaled(size);
}

QImage stripes(const QSize& size)
{
    const QByteArray pixels = QByteArray("\0\xff", 2).repeated(size.width() * size.height() / 2);
    return QImage(reinterpret_cast<const uchar*>(pixels.constData()), size.width(), size.height(),
                  size.width(), QImage::Format_Grayscale8)
        .convertToFormat(QImage::Format_RGB32);
}

double difference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    qint64 sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < 3 * x.width(); ++i)
            sum += qAbs(x.constScanLine(row)[i] - y.constScanLine(row)[i]);
    return double(sum) / (3.0 * x.width() * x.height());
}

bool write(const QImage& image, const QString& path)
{
    return path.endsWith(".gif") ? writeFile(path, gif(image)) : image.save(path);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray jpeg(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

QByteArray cmykJpeg(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* memory = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &memory, &size);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    // Inverted, as Adobe's programs store CMYK: no black, ink = 255 - value.
    std::vector<JSAMPLE> line(size_t(rgb.width()) * 4);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* in = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            std::copy(in + 3 * x, in + 3 * x + 3, &line[size_t(x) * 4]);
            line[size_t(x) * 4 + 3] = 255;
        }
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char*>(memory), qsizetype(size));
    std::free(memory);
    return bytes;
}

namespace {
QByteArray bigEndian(quint32 value, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xff));
    return out;
}
QByteArray littleEndian16(int value)
{
    return QByteArray(1, char(value & 0xff)) + char((value >> 8) & 0xff);
}
} // namespace

QByteArray gif(const QImage& image, const QSize& screen)
{
    const QSize s = screen.isValid() ? screen : image.size();
    QList<QRgb> palette;
    QByteArray codes;
    // 7-bit colour indices with a clear code before every 125 of them keep the
    // LZW codes at 8 bits, one a byte: no compression, and no encoder needed.
    for (int i = 0; i < image.width() * image.height(); ++i) {
        const QRgb colour = image.pixel(i % image.width(), i / image.width());
        if (!palette.contains(colour))
            palette.append(colour);
        codes += QByteArray(i % 125 ? 0 : 1, char(0x80)) + char(palette.indexOf(colour));
    }
    codes += char(0x81);
    QByteArray out = "GIF89a" + littleEndian16(s.width()) + littleEndian16(s.height()) + "\xf6";
    out += QByteArray(2, '\0');
    for (int i = 0; i < 128; ++i)
        out += bigEndian(palette.value(i) & 0xffffff, 3);
    out += "," + QByteArray(4, '\0') + littleEndian16(image.width()) +
           littleEndian16(image.height()) + QByteArray("\0\x07", 2);
    for (int i = 0; i < codes.size(); i += 255)
        out += char(qMin<qsizetype>(255, codes.size() - i)) + codes.mid(i, 255);
    return out + QByteArray("\0;", 2);
}

QByteArray svg(const QSize& size)
{
    return QString("<svg xmlns='http://www.w3.org/2000/svg' width='%1' height='%2' viewBox='0 0 "
                   "2 2' preserveAspectRatio='none'><rect width='1' height='1' fill='#dc1e1e'/>"
                   "<rect x='1' width='1' height='1' fill='#1ec81e'/><rect y='1' width='1' "
                   "height='1' fill='#1e1edc'/><rect x='1' y='1' width='1' height='1' "
                   "fill='#f0f0f0'/></svg>")
        .arg(size.width())
        .arg(size.height())
        .toUtf8();
}

QByteArray pngHeader(int w, int h)
{
    const auto chunk = [&](const QByteArray& type, const QByteArray& data) {
        quint32 crc = 0xffffffffu;
        for (char ch : type + data)
            for (int k = (crc ^= quint8(ch), 0); k < 8; ++k)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        return bigEndian(data.size(), 4) + type + data + bigEndian(~crc, 4);
    };
    return QByteArray("\x89PNG\r\n\x1a\n") +
           chunk("IHDR", bigEndian(w, 4) + bigEndian(h, 4) + QByteArray("\x08\x02\0\0\0", 5)) +
           chunk("IDAT", qCompress(QByteArray(1 + 3 * w, '\0')).mid(4)) + chunk("IEND", {});
}

QByteArray withMetadata(const QByteArray& file, const QStringList& tags,
                        const QByteArray& thumbnail)
{
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(file.constData()),
                                           long(file.size()));
    image->readMetadata(); // keeps the colour profile
    Exiv2::ExifData exif;
    for (const QString& tag : tags) {
        const std::string key = tag.section('=', 0, 0).toStdString();
        const std::string value = tag.section('=', 1).toStdString();
        if (key == "Comment")
            image->setComment(value);
        else if (key.rfind("Xmp.", 0) == 0)
            image->xmpData()[key] = value;
        else
            exif[key] = value;
    }
    if (!thumbnail.isEmpty())
        Exiv2::ExifThumb(exif).setJpegThumbnail(
            reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()), long(thumbnail.size()));
    image->setExifData(exif);
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.open();
    Exiv2::DataBuf data = io.read(long(io.size()));
    return QByteArray(reinterpret_cast<const char*>(data.pData_), int(data.size_));
}

QStringList exifTags(const QByteArray& jpeg)
{
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()),
                                           long(jpeg.size()));
    image->readMetadata();
    QStringList tags;
    for (const Exiv2::Exifdatum& d : image->exifData())
        tags << QString::fromStdString(d.key() + "=" + d.toString());
    tags.sort();
    return tags;
}

} // namespace pictures
