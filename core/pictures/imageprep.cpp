#include "core/pictures/imageprep.h"

#include "core/history/contenthash.h"
#include "core/pictures/jpegdecoder.h"
#include "core/pictures/jpegencoder.h"
#include "core/pictures/metadata.h"
#include "core/pictures/resample.h"

#include <QBuffer>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImageIOHandler>
#include <QImageReader>
#include <QRect>
#include <QTransform>

#include <mutex>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace imageprep {

namespace {

// What a picture of MaxPixels needs when decoded in full at 4 bytes a pixel.
constexpr int AllocationLimitMb = int(MaxPixels * 4 / (1024 * 1024));

// Qt refuses images over 128 MB by default (about 33 MP at 4 bytes a pixel).
// The limit is process-wide in Qt 6, so it is only ever raised here, never
// lowered, and only written when it is actually below what we need.
void raiseAllocationLimit()
{
    static std::mutex mutex; // several preparing threads may get here at once
    const std::lock_guard<std::mutex> lock(mutex);
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

qint64 pixels(const QSize& s)
{
    return qint64(s.width()) * qint64(s.height());
}

bool exceeds(const QSize& size, int maxwidth, int maxheight)
{
    return size.width() > maxwidth || size.height() > maxheight;
}

// How far a reduced decode of a JPEG photo may go: it leaves at least `fine`
// in each direction, and at least `coarse` where it shrinks the picture to a
// quarter or less. An invalid `fine`: no reduction.
struct Reduction
{
    QSize fine;
    QSize coarse;
};

// The fewest eighths of its size a JPEG photo is decoded at that still give
// what `r` asks (jpegdecoder.h). Scales other than halvings only where they
// come out whole: those are the ones bench/quality.sh measured.
int jpegEighths(const QSize& stored, const Reduction& r)
{
    for (int m = 1; m < 8; ++m) {
        const bool whole = (stored.width() * m) % 8 == 0 && (stored.height() * m) % 8 == 0;
        if (!whole && m != 1 && m != 2 && m != 4)
            continue;
        const QSize size = jpegdecoder::scaledSize(stored, m);
        const QSize need = m <= 2 ? r.coarse : r.fine;
        if (size.width() >= need.width() && size.height() >= need.height())
            return m;
    }
    return 8;
}

// For sending: from a decode at least 1.4 times the result, the Lanczos
// filter makes a picture as close to a Lanczos downscale of the full picture
// as one from a decode at twice the size or in full (within a few hundredths
// of a dB, bench/quality.sh), for a fraction of the time and memory. Blocks
// shrunk to 2 x 2 pixels or fewer keep too little of their detail for that:
// those reductions need twice the result.
Reduction forSending(const QSize& target)
{
    const auto times = [&target](int tenths) {
        return QSize((target.width() * tenths + 9) / 10, (target.height() * tenths + 9) / 10);
    };
    return {times(14), times(20)};
}

// A picture file read in pieces, its content hashed (when asked to) as they go by.
class HashedFile : public QIODevice
{
public:
    HashedFile(const QString& path, bool hashing) : file(path), hashing(hashing) {}

    bool open()
    {
        return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly) &&
               QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    // The hash of the whole file, what is left of it read now; empty when it
    // cannot be read to its end.
    QByteArray finish()
    {
        char buffer[64 * 1024];
        qint64 n;
        while ((n = read(buffer, sizeof buffer)) > 0) {
        }
        return n < 0 ? QByteArray() : hash.hex();
    }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        const qint64 n = file.read(data, max);
        if (n > 0 && hashing)
            hash.add(QByteArrayView(data, n));
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QFile file;
    history::ContentHash hash;
    bool hashing;
};

// A picture file opened for reading, header parsed, nothing decoded yet.
// Orientation is applied by us after scaling (auto-transform stays off): a
// quarter turn of the small result costs a fraction of turning the decoded one
// and needs no second full-size buffer.
class Source
{
public:
    // `keepBytes`: every picture file is read whole into memory before it is
    // decoded (up to MaxInMemoryBytes), so that its content can be hashed
    // without reading it again.
    explicit Source(const QString& path, bool keepBytes = false)
        : path(path), reader(path), keepBytes(keepBytes)
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
    // Refused before anything is decoded. Drawings are rendered at the size
    // asked for, so only what they are rendered at counts.
    bool overCeiling() const { return known() && !vector() && pixels(stored) > MaxPixels; }
    QSize uprightSize() const { return turnsSideways(transform) ? stored.transposed() : stored; }
    QSize toStored(const QSize& uprightSize) const
    {
        return turnsSideways(transform) ? uprightSize.transposed() : uprightSize;
    }
    // From here on the picture counts as being of `size` (stored orientation).
    void setStoredSize(const QSize& size) { stored = size; }

    // The size decode() gives for `wanted` and `reduction` when the header is
    // right; invalid when the header does not tell.
    QSize decodedSize(const QSize& wanted, const Reduction& reduction) const
    {
        if (!known())
            return QSize();
        if (vector())
            return wanted.isValid() ? wanted : stored;
        if (format == "jpeg" && reduction.fine.isValid())
            return jpegdecoder::scaledSize(stored, jpegEighths(stored, reduction));
        return stored;
    }

    // The pixel format the decoder gives, as far as the header tells. A
    // handler may answer anything for a header it cannot read.
    QImage::Format decodedFormat() const
    {
        const QImage::Format format = reader.imageFormat();
        return format > QImage::Format_Invalid && format < QImage::NImageFormats
                   ? format
                   : QImage::Format_Invalid;
    }
    // The bytes of the file held in memory while it is decoded.
    qint64 heldBytes() const { return readsIntoMemory() ? QFileInfo(path).size() : 0; }

    // Decodes the picture in its stored orientation into a picture of its
    // own. `wanted` (stored orientation) is the size a drawing is rendered
    // at; an invalid size means the full picture. A JPEG photo is decoded
    // reduced as far as `reduction` allows. Null when the picture cannot be
    // read or is too large.
    QImage decode(const QSize& wanted, const Reduction& reduction)
    {
        const QSize size = decodedSize(wanted, reduction);
        if (overCeiling() || pixels(size) > MaxPixels)
            return QImage();
        if (vector() && size != stored)
            reader.setScaledSize(size);
        if (readsIntoMemory())
            readIntoMemory();
        if (format == "jpeg" && known()) {
            const int eighths = reduction.fine.isValid() ? jpegEighths(stored, reduction) : 8;
            jpegdecoder::Decoded jpeg;
            if (!bytes.isEmpty()) {
                jpeg = jpegdecoder::decode(bytes, eighths);
            } else { // a photo too large to be held in memory is streamed
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly))
                    return QImage();
                jpeg = jpegdecoder::decode(&file, eighths);
            }
            if (!jpeg.unsupported)
                return jpeg.image;
            if (size != stored) // Qt's reader decodes reduced and scales to the size
                reader.setScaledSize(size);
        }
        return reader.read();
    }

    // A JPEG photo decoded a row at a time straight into the Lanczos filter
    // and scaled to `target` (stored orientation), so that the reduced
    // picture is never whole in memory. Null when the picture is not such a
    // photo or cannot be read this way: then decode() it.
    QImage decodeScaled(const QSize& wanted, const Reduction& reduction, const QSize& target)
    {
        if (format != "jpeg" || !known() || !reduction.fine.isValid() || target.isEmpty())
            return QImage();
        const QSize size = decodedSize(wanted, reduction);
        if (overCeiling() || pixels(size) > MaxPixels)
            return QImage();
        // Read in pieces that the decoder and the hash take while they are
        // at hand, rather than whole into memory first.
        HashedFile file(path, keepBytes);
        if (!file.open())
            return QImage();
        jpegdecoder::Rows rows(&file, jpegEighths(stored, reduction));
        if (!rows.started() || rows.size() != size)
            return QImage();
        QImage scaled = resample::lanczos(
            size, [&rows](uchar* line) { return rows.next(line); }, target);
        if (scaled.isNull())
            return QImage();
        rows.describe(&scaled);
        if (rows.grey()) // the rows came as grey in all three channels
            scaled.convertTo(QImage::Format_Grayscale8);
        if (keepBytes) {
            streamedHash = file.finish();
            if (streamedHash.isEmpty()) // the file could not be read to its end
                return QImage();
        }
        return scaled;
    }

    // The hash of the file's content: of the bytes decoded when they were
    // read into memory, else read once more (the system has them cached).
    QByteArray contentHash() const
    {
        if (!streamedHash.isEmpty())
            return streamedHash;
        return bytes.isEmpty() ? history::hashOfFile(path) : history::hashOf(bytes);
    }

    QImageIOHandler::Transformations transform = QImageIOHandler::TransformationNone;

private:
    // A JPEG photo decoded whole is decoded from its bytes read in one go
    // (Qt's reader, for the colour spaces ours leaves to it, would otherwise
    // take them in 4 KB reads). A picture file whose content is hashed is read
    // whole whatever its format, so that the hash costs no second read. Large
    // files (beyond about 40 MP) are streamed, so that their bytes do not add
    // to the peak memory.
    bool readsIntoMemory() const
    {
        return (keepBytes || (format == "jpeg" && known())) &&
               QFileInfo(path).size() <= MaxInMemoryBytes;
    }
    void readIntoMemory()
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > MaxInMemoryBytes)
            return;
        bytes = file.readAll();
        if (bytes.size() != file.size()) {
            bytes.clear();
            return;
        }
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
    bool keepBytes = false;
    QByteArray streamedHash; // of the file read in pieces by decodeScaled()
};

// How a picture file becomes the result: whether it is scaled and to what
// size (stored orientation; empty when the limits leave no room).
struct Plan
{
    bool scale = false;
    QSize target;
};

Plan planFor(const Source& source, const Options& options, bool scale)
{
    Plan plan;
    plan.scale = scale && exceeds(source.uprightSize(), options.maxwidth, options.maxheight);
    if (plan.scale) {
        plan.target = source.toStored(
            fitWithin(source.uprightSize(), QSize(options.maxwidth, options.maxheight)));
    }
    return plan;
}

Prepared failed(Prepared::Failure failure)
{
    Prepared result;
    result.failure = failure;
    return result;
}

// The prepared picture of `image`, upright and at its final size, with what
// it keeps of the picture file `source` (none for an in-memory picture).
// Only what the metadata rule allows leaves here: the encoder writes the
// picture's text (a PNG's comments and XMP, a JPEG's comment) as comment
// segments, and those never go out.
Prepared encode(const QImage& image, const Options& options, const QString& source = QString())
{
    Prepared result;
    if (image.isNull() || !jpegencoder::encode(image, options.quality, &result.bytes)) {
        qDebug() << "img could not be converted";
        return failed(Prepared::EncodeFailed);
    }
    if (!source.isEmpty())
        metadata::carryOver(source, &result.bytes, options.keepLocation);
    if (!metadata::keepOnlyAllowed(&result.bytes)) {
        qDebug() << "img could not be converted";
        return failed(Prepared::EncodeFailed);
    }
    result.size = image.size();
    result.thumbnail = thumbnail(image, QSize(ThumbnailBox, ThumbnailBox));
    return result;
}

Prepared unreadable(const QString& path, Prepared::Failure failure)
{
    qDebug() << path << ": image size" << 0;
    return failed(failure);
}

Prepared overBudget(const QString& path, qint64 needed, qint64 allowed)
{
    Prepared result = unreadable(path, Prepared::TooLarge);
    result.needed = needed;
    result.allowed = allowed;
    return result;
}

qint64 bytesPerPixel(QImage::Format format)
{
    if (format == QImage::Format_Invalid) // the header does not tell: as 8-bit RGBA
        format = QImage::Format_ARGB32;
    return qMax(1, QImage::toPixelFormat(format).bitsPerPixel() / 8);
}

// The pixel format the Lanczos filter works in and gives (resample.h). A
// picture in any other format is first converted, into a copy of its full size.
QImage::Format scalingFormat(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return format;
    case QImage::Format_Invalid: // the header does not tell: as 8-bit RGBA
        return QImage::Format_ARGB32_Premultiplied;
    default:
        return QImage::toPixelFormat(format).alphaUsage() == QPixelFormat::UsesAlpha
                   ? QImage::Format_ARGB32_Premultiplied
                   : QImage::Format_RGB32;
    }
}

// Whether a picture of `format` is turned into the filter's format in its own
// memory (QImage::convertTo does so for 32 bits a pixel and more), so that a
// 16-bit photo needs no second full-size copy on its way to the filter.
bool convertsInPlace(QImage::Format format)
{
    return format != QImage::Format_Invalid && QImage::toPixelFormat(format).bitsPerPixel() >= 32;
}

// Whether the JPEG encoder reads pictures of `format` as they are; it
// converts any other into a copy of up to 4 bytes a pixel.
bool encodedAsIs(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return true;
    default:
        return false;
    }
}

// The most memory preparing `source` takes when it is decoded at `decoded`
// in `format` and carried out by `plan` (see decodeCost). A JPEG photo being
// scaled takes less, decoded a row at a time (Source::decodeScaled); it is
// counted as decoded whole, as one in CMYK is.
qint64 peakBytes(const Source& source, const Plan& plan, const QSize& decoded,
                 QImage::Format format)
{
    const bool scales = plan.scale && !source.vector(); // a drawing is rendered at its size
    const QSize final = scales ? plan.target : decoded;
    const QImage::Format finalFormat = scales ? scalingFormat(format) : format;
    const qint64 finalBytes = pixels(final) * bytesPerPixel(finalFormat);
    // A quarter turn makes a new picture; mirroring works in place. The
    // encoder holds the halved chroma planes and the coefficients of the
    // whole picture (jpegencoder.h): 5 bytes a pixel.
    const qint64 finishing = finalBytes * (turnsSideways(source.transform) ? 2 : 1) +
                             (encodedAsIs(finalFormat) ? 0 : pixels(final) * 4) + pixels(final) * 5;
    qint64 scaling = 0;
    if (scales) {
        scaling = pixels(decoded) * bytesPerPixel(format) + finalBytes;
        if (scalingFormat(format) != format && !convertsInPlace(format))
            scaling += pixels(decoded) * bytesPerPixel(scalingFormat(format));
    }
    return source.heldBytes() + qMax(scaling, finishing);
}

} // namespace

QSize fitWithin(const QSize& size, const QSize& box)
{
    if (box.isEmpty())
        return QSize();
    const QSize fitted = size.scaled(box, Qt::KeepAspectRatio);
    return QSize(qMax(fitted.width(), 1), qMax(fitted.height(), 1));
}

Preparer::Preparer()
{
#ifdef __GLIBC__
    // Pictures are prepared one after the other in buffers of tens of MB (the
    // file's bytes, the decoded and the scaled picture, the encoder's planes).
    // By default glibc maps each anew and hands it back when it is freed, so
    // every picture pays for faulting them in again (about 4% of a batch).
    // Freed memory up to the trim threshold stays for the next picture.
    static std::once_flag tuned;
    std::call_once(tuned, [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 128 << 20);
    });
#endif
}

Prepared Preparer::prepareFile(const QString& path, const Options& options, bool scale)
{
    Source source(path, options.hashSource);
    if (source.overCeiling())
        return unreadable(path, Prepared::TooLarge);
    Plan plan;
    if (source.known())
        plan = planFor(source, options, scale);

    // Limits of 0 or less leave nothing to scale to; the picture is still read
    // (at the smallest size) so that an unreadable file is reported as such.
    const QSize wanted = plan.scale ? plan.target.expandedTo(QSize(1, 1)) : QSize();
    const Reduction reduction = plan.scale ? forSending(wanted) : Reduction();
    const QSize expected = source.decodedSize(wanted, reduction);
    const qint64 budget = options.memoryBudget;
    if (source.known() && budget > 0) {
        const qint64 needed = peakBytes(source, plan, expected, source.decodedFormat());
        if (needed > budget)
            return overBudget(path, needed, budget);
    }
    // A JPEG photo to be scaled goes from the decoder straight into the filter.
    QImage image = plan.scale ? source.decodeScaled(wanted, reduction, plan.target) : QImage();
    if (image.isNull()) {
        image = source.decode(wanted, reduction);
        if (image.isNull()) {
            // Qt refuses to allocate more than its limit: too large, not unreadable.
            const qint64 bytes = pixels(expected) * bytesPerPixel(source.decodedFormat());
            const bool tooLarge = pixels(expected) > MaxPixels ||
                                  bytes > qint64(QImageReader::allocationLimit()) << 20;
            return unreadable(path, tooLarge ? Prepared::TooLarge : Prepared::Unreadable);
        }
        if (pixels(image.size()) > MaxPixels)
            return unreadable(path, Prepared::TooLarge);
        // A header that does not tell the size, or tells another one than the
        // picture decodes to (a damaged file): the decoded picture counts.
        if (image.size() != expected) {
            source.setStoredSize(image.size());
            plan = planFor(source, options, scale);
        }
        if (budget > 0) {
            const qint64 needed = peakBytes(source, plan, image.size(), image.format());
            if (needed > budget)
                return overBudget(path, needed, budget);
        }

        if (plan.scale) { // the decoded picture goes once the scaled one is made
            if (convertsInPlace(image.format()))
                image.convertTo(scalingFormat(image.format()));
            image = plan.target.isEmpty() ? QImage() : resample::lanczos(image, plan.target);
        }
    }
    Prepared result = encode(upright(std::move(image), source.transform), options, path);
    if (result.failure == Prepared::None && options.hashSource)
        result.sourceHash = source.contentHash();
    return result;
}

Prepared Preparer::prepareImage(const QImage& image, const Options& options, bool scale)
{
    if (image.isNull()) {
        if (scale)
            qDebug() << ": image size" << 0;
        else
            qDebug() << "img could not be converted";
        return failed(Prepared::Unreadable);
    }
    if (scale && exceeds(image.size(), options.maxwidth, options.maxheight)) {
        const QSize size = fitWithin(image.size(), QSize(options.maxwidth, options.maxheight));
        return encode(resample::lanczos(image, size), options);
    }
    return encode(image, options);
}

qint64 decodeCost(const QString& path, const Options& options, bool scale)
{
    Source source(path, options.hashSource);
    if (!source.known() || source.overCeiling())
        return UnknownDecodeCost;
    const Plan plan = planFor(source, options, scale);
    const QSize wanted = plan.scale ? plan.target.expandedTo(QSize(1, 1)) : QSize();
    const QSize decoded = source.decodedSize(wanted, plan.scale ? forSending(wanted) : Reduction());
    return peakBytes(source, plan, decoded, source.decodedFormat());
}

QImage thumbnail(const QString& path, const QSize& box)
{
    if (box.isEmpty())
        return QImage();
    Source source(path);
    QSize target; // stored orientation
    if (source.known())
        target = source.toStored(fitWithin(source.uprightSize(), box));
    const QSize expected = source.decodedSize(target, {target, target});
    const QImage image = source.decode(target, {target, target});
    if (image.isNull() || pixels(image.size()) > MaxPixels)
        return QImage();
    if (image.size() != expected) { // as for prepareFile: the decoded picture counts
        source.setStoredSize(image.size());
        target = source.toStored(fitWithin(source.uprightSize(), box));
    }
    return upright(image.scaled(target, Qt::IgnoreAspectRatio, Qt::FastTransformation),
                   source.transform);
}

QImage thumbnail(const QImage& image, const QSize& box)
{
    if (image.isNull())
        return QImage();
    return image.scaled(box, Qt::KeepAspectRatio, Qt::FastTransformation);
}

QImage quickThumbnail(const QString& path, const QSize& box)
{
    if (box.isEmpty())
        return QImage();
    const metadata::Embedded embedded = metadata::embeddedThumbnail(path);
    if (!embedded.thumbnail.isNull() && embedded.pictureSize.isValid()) {
        // Cameras fill the thumbnail's fixed size, with bars where the
        // picture's shape differs: only the part showing the picture is used,
        // and only when it needs no enlarging.
        const QSize shown = fitWithin(embedded.pictureSize, embedded.thumbnail.size());
        const QSize uprightPicture = turnsSideways(embedded.transform)
                                         ? embedded.pictureSize.transposed()
                                         : embedded.pictureSize;
        const QSize target = fitWithin(uprightPicture, box);
        const QSize uprightShown = turnsSideways(embedded.transform) ? shown.transposed() : shown;
        if (uprightShown.width() >= target.width() && uprightShown.height() >= target.height()) {
            QRect part(QPoint(0, 0), shown);
            part.moveCenter(embedded.thumbnail.rect().center());
            const QImage turned = upright(embedded.thumbnail.copy(part), embedded.transform);
            return turned.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
    }
    return thumbnail(path, box);
}

} // namespace imageprep
