#include "worker/imageprep.h"

#include <QBuffer>
#include <QDebug>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QImageWriter>
#include <QRect>
#include <QTransform>

namespace imageprep {

namespace {

// What a picture of MaxPixels needs when decoded in full at 4 bytes a pixel.
constexpr int AllocationLimitMb = int(MaxPixels * 4 / (1024 * 1024));

// Qt refuses images over 128 MB by default (about 33 MP at 4 bytes a pixel).
// The limit is process-wide in Qt 6, so it is only ever raised here, never
// lowered, and only written when it is actually below what we need.
void raiseAllocationLimit()
{
    const int current = QImageReader::allocationLimit();
    if (current != 0 && current < AllocationLimitMb)
        QImageReader::setAllocationLimit(AllocationLimitMb);
}

bool isVectorFormat(const QByteArray& format)
{
    return format == "svg" || format == "svgz";
}

bool turnsSideways(QImageIOHandler::Transformations t)
{
    return t.testFlag(QImageIOHandler::TransformationRotate90);
}

// Applies the orientation stored with the picture, the same way QImageReader's
// auto-transform does: mirror and flip first, then a quarter turn clockwise.
QImage upright(QImage image, QImageIOHandler::Transformations t)
{
    if (image.isNull() || t == QImageIOHandler::TransformationNone)
        return image;
    const bool mirror = t.testFlag(QImageIOHandler::TransformationMirror);
    const bool flip = t.testFlag(QImageIOHandler::TransformationFlip);
    if (mirror || flip)
        image = std::move(image).mirrored(mirror, flip);
    if (turnsSideways(t))
        image = image.transformed(QTransform().rotate(90));
    return image;
}

// A picture file opened for reading, header parsed, nothing decoded yet.
// Orientation is applied by us after scaling (auto-transform stays off): a
// quarter turn of the small result costs a fraction of turning the decoded one
// and needs no second full-size buffer.
class Source
{
public:
    explicit Source(const QString& path) : path(path), reader(path)
    {
        raiseAllocationLimit();
        reader.setAutoTransform(false);
        format = reader.format();
        stored = reader.size();
        if (reader.supportsOption(QImageIOHandler::ImageTransformation))
            transform = reader.transformation();
    }

    bool known() const { return stored.isValid() && !stored.isEmpty(); }
    bool vector() const { return isVectorFormat(format); }
    QSize uprightSize() const { return turnsSideways(transform) ? stored.transposed() : stored; }
    QSize toStored(const QSize& uprightSize) const
    {
        return turnsSideways(transform) ? uprightSize.transposed() : uprightSize;
    }

    // Decodes the picture in its stored orientation. `wanted` (stored
    // orientation) is the size the caller will scale to; an invalid size means
    // the full picture. `oversample` is how many times `wanted` a reduced
    // decode must still give in each direction. Null when the picture cannot
    // be read or is too large.
    QImage decode(const QSize& wanted, int oversample)
    {
        if (!known()) {
            // The format cannot tell its size up front; the allocation limit
            // still stops anything absurd. From here on the size is known.
            QImage image = reader.read();
            if (pixels(image.size()) > MaxPixels)
                return QImage();
            stored = image.size();
            return image;
        }
        if (vector()) {
            // Render straight at the wanted size.
            const QSize size = wanted.isValid() ? wanted : stored;
            if (pixels(size) > MaxPixels)
                return QImage();
            if (size != stored)
                reader.setScaledSize(size);
            return reader.read();
        }
        if (pixels(stored) > MaxPixels)
            return QImage();
        if (format == "jpeg") {
            readIntoMemory();
            if (wanted.isValid())
                reduceJpeg(QSize(qMax(wanted.width(), 1) * oversample,
                                 qMax(wanted.height(), 1) * oversample));
        }
        return reader.read();
    }

    QImageIOHandler::Transformations transform = QImageIOHandler::TransformationNone;

private:
    static qint64 pixels(const QSize& s) { return qint64(s.width()) * qint64(s.height()); }

    // libjpeg can decode at 1/2, 1/4 or 1/8 of the size for a fraction of the
    // work. Pick the strongest reduction that still gives `atLeast`. Qt's
    // handler treats any other requested size by decoding at the next finer
    // libjpeg scale and rescaling its result, so we ask for exactly the size
    // libjpeg produces. Qt only keeps the reduction exact (no rescale) when
    // the clip rectangle divides evenly, so when the picture is not a
    // multiple of the reduction the last (less than one reduced) pixel
    // column and row are left out.
    void reduceJpeg(const QSize& atLeast)
    {
        int denom = 8;
        while (denom > 1 && (stored.width() / denom < atLeast.width() ||
                             stored.height() / denom < atLeast.height()))
            denom /= 2;
        if (denom == 1)
            return;
        const QSize reduced(stored.width() / denom, stored.height() / denom);
        reader.setClipRect(QRect(0, 0, reduced.width() * denom, reduced.height() * denom));
        reader.setScaledSize(reduced);
    }

    // Qt's JPEG handler feeds libjpeg straight from a QBuffer's bytes, but
    // from any other device in 4 KB reads; for a photo the one read of the
    // whole file saves several percent of a reduced decode. Large files
    // (beyond about 40 MP) are streamed, so that their bytes do not add to the
    // peak memory.
    void readIntoMemory()
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > MaxInMemoryBytes)
            return;
        bytes = file.readAll();
        if (bytes.size() != file.size())
            return;
        buffer.setBuffer(&bytes);
        if (!buffer.open(QIODevice::ReadOnly))
            return;
        reader.setDevice(&buffer);
        reader.setFormat(format);
    }

    static constexpr qint64 MaxInMemoryBytes = 16 * 1024 * 1024;

    QString path;
    QByteArray bytes;
    QBuffer buffer;
    QImageReader reader;
    QByteArray format;
    QSize stored;
};

// Encodes `image` as JPEG at the toolkit's default quality into *out.
bool writeJpeg(const QImage& image, QByteArray* out)
{
    if (!out)
        return false;
    QBuffer buffer(out);
    if (!buffer.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&buffer, "JPG");
    writer.setQuality(-1);
    const bool ok = writer.write(image);
    buffer.close();
    return ok;
}

bool encode(const QImage& image, QByteArray* out)
{
    if (writeJpeg(image, out))
        return true;
    qDebug() << "img could not be converted";
    return false;
}

bool exceeds(const QSize& size, int maxwidth, int maxheight)
{
    return size.width() > maxwidth || size.height() > maxheight;
}

} // namespace

QSize fitWithin(const QSize& size, const QSize& box)
{
    if (box.isEmpty())
        return QSize();
    const QSize fitted = size.scaled(box, Qt::KeepAspectRatio);
    return QSize(qMax(fitted.width(), 1), qMax(fitted.height(), 1));
}

bool resizeImage(const QString& path, QByteArray* out, int maxwidth, int maxheight)
{
    qDebug() << "resizeImage";
    Source source(path);
    bool scale = false;
    QSize target; // stored orientation
    const auto plan = [&] {
        scale = exceeds(source.uprightSize(), maxwidth, maxheight);
        if (scale)
            target = source.toStored(fitWithin(source.uprightSize(), QSize(maxwidth, maxheight)));
    };
    const bool knownAhead = source.known();
    if (knownAhead)
        plan();

    // Limits of 0 or less leave nothing to scale to; the picture is still read
    // (at the smallest size) so that an unreadable file is reported as such.
    QImage image = source.decode(scale ? target.expandedTo(QSize(1, 1)) : QSize(), 2);
    if (image.isNull()) {
        qDebug() << path << ": image size" << 0;
        return false;
    }
    if (!knownAhead)
        plan();
    if (scale) {
        image = target.isEmpty()
                    ? QImage()
                    : image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return encode(upright(std::move(image), source.transform), out);
}

bool resizeImageFromQImage(const QImage* image, QByteArray* out, int maxwidth, int maxheight)
{
    qDebug() << "resizeImageFromQImage";
    QImage copy = image ? *image : QImage();
    if (copy.width() == 0) {
        qDebug() << ": image size" << copy.width();
        return false;
    }
    if (exceeds(copy.size(), maxwidth, maxheight))
        copy = copy.scaled(maxwidth, maxheight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return encode(copy, out);
}

bool saveImage(const QImage* image, QByteArray* out)
{
    qDebug() << "saveImage";
    return encode(image ? *image : QImage(), out);
}

QImage thumbnail(const QString& path, const QSize& box)
{
    if (box.isEmpty())
        return QImage();
    Source source(path);
    const bool knownAhead = source.known();
    QSize target; // stored orientation
    if (knownAhead)
        target = source.toStored(fitWithin(source.uprightSize(), box));
    QImage image = source.decode(target, 1);
    if (image.isNull())
        return QImage();
    if (!knownAhead)
        target = source.toStored(fitWithin(source.uprightSize(), box));
    return upright(image.scaled(target, Qt::IgnoreAspectRatio, Qt::FastTransformation),
                   source.transform);
}

QImage thumbnail(const QImage& image, const QSize& box)
{
    if (image.isNull())
        return QImage();
    return image.scaled(box, Qt::KeepAspectRatio, Qt::FastTransformation);
}

} // namespace imageprep
