#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Turns pictures into the bytes sent to the gallery: scaled down to the limits
// when larger, upright (EXIF orientation applied), encoded as JPEG (at quality
// 75 unless asked otherwise), with the metadata worth
// keeping taken over from the source file. Safe to use off the GUI thread,
// from several threads at once.
namespace imageprep {

// How pictures are prepared.
struct Options
{
    int maxwidth = 1000;
    int maxheight = 1000;
    int quality = -1;          // JPEG quality 0..100; -1: the usual default, 75
    bool keepLocation = false; // keep the GPS tags of a picture file
    bool hashSource = false;   // hash the picture file's content (Prepared::sourceHash)
    // The most memory a picture file may take while it is prepared (see
    // decodeCost); a picture that needs more is refused as too large before
    // it is decoded. 0: no limit.
    qint64 memoryBudget = 0;
};

// One prepared picture.
struct Prepared
{
    enum Failure {
        None,
        Unreadable,  // not a picture that can be read
        TooLarge,    // over the pixel ceiling (MaxPixels) or the memory budget
        EncodeFailed // nothing to encode (limits of 0 or less) or the encoder failed
    };
    Failure failure = None;
    QByteArray bytes; // one complete JPEG file; empty on failure
    QImage thumbnail; // fits ThumbnailBox, made from the prepared picture
    QSize size;       // of the encoded picture
    // With Options::hashSource: the content hash of the picture file
    // (core/history/contenthash.h), from the bytes read to decode it.
    QByteArray sourceHash;
    // TooLarge for the memory budget: the bytes preparing it would take, and
    // the budget. Both 0 when it is over the pixel ceiling instead.
    qint64 needed = 0;
    qint64 allowed = 0;
};

// The box Prepared::thumbnail fits in.
constexpr int ThumbnailBox = 100;

// Prepares pictures, each from a clean state: every picture is decoded into
// memory of its own, so nothing of one picture (colour space, text, size,
// pixel format) can reach the next, whichever thread prepares it. What is
// sent carries only the metadata metadata::carryOver keeps; text the decoder
// found (comments, descriptions, XMP) never comes along.
//
// Trace lines: for a file that cannot be read or is too large `"<path>" :
// image size 0`, for an in-memory picture that is null ": image size 0" when
// scaling (else "img could not be converted"), and "img could not be
// converted" when encoding fails.
class Preparer
{
public:
    // The picture file at `path`, turned upright and encoded as JPEG. With
    // `scale` it is first scaled down to fit the limits when it is wider or
    // higher (a picture at or within the limits is re-encoded at its size);
    // without, it keeps its size. Sizes are planned from the header, so that
    // JPEG photos are decoded at the fewest eighths of their size that still
    // give at least 1.4 times the result in each direction (twice, for a
    // quarter or less), and checked again against what was decoded. Scaling
    // is a Lanczos filter (resample.h), encoding jpegencoder.h's.
    Prepared prepareFile(const QString& path, const Options& options, bool scale);

    // The same for an in-memory picture (no metadata); `image` is left unchanged.
    Prepared prepareImage(const QImage& image, const Options& options, bool scale);

    // The first Preparer of the process tunes the C library's allocator to
    // keep freed memory for the next picture (see imageprep.cpp).
    Preparer();
};

// The most memory preparing the picture file at `path` takes, worked out
// from its header: the file's bytes when they are read in whole, and the
// larger of the two steps, scaling (the decoded picture at the reduction
// prepareFile will choose, in the decoder's own pixel format, the full-size
// copy the Lanczos filter first converts it to unless it is in one it works in,
// and the scaled picture) and finishing (the picture at its final size, its
// turned copy when it is stored on its side, and the copy the JPEG encoder
// converts a format it cannot write to). For a file whose size the header
// does not tell, that cannot be read, or that is over the pixel ceiling,
// UnknownDecodeCost. Reads the header only.
qint64 decodeCost(const QString& path, const Options& options, bool scale = true);
constexpr qint64 UnknownDecodeCost = qint64(4) << 20;

// The thumbnail of a picture file, fitting `box` (aspect ratio kept), quickly:
// the thumbnail the camera embedded in the Exif data when there is one large
// enough for the box (turned upright, with any letterbox bars cut off), else
// a reduced decode as thumbnail(path, box). Null when the picture cannot be
// read. For the preview and the progress window; safe off the GUI thread.
QImage quickThumbnail(const QString& path, const QSize& box = QSize(ThumbnailBox, ThumbnailBox));

// The size Qt::KeepAspectRatio scaling of `size` into `box` gives, as
// QImage::scaled makes it: at least 1 x 1, and an empty size for an empty box.
QSize fitWithin(const QSize& size, const QSize& box);

// The largest picture file, in pixels, that is read at all (about 134 MP, so
// 100 MP photos pass); a larger one is treated like a file that cannot be
// loaded, before anything is decoded. Reading a file raises Qt's image
// allocation limit (QImageReader::allocationLimit, process-wide) to what such
// a picture needs, when it is lower; it never lowers it.
constexpr qint64 MaxPixels = qint64(1) << 27;

// Thumbnail of a picture file or of an in-memory picture: scaled with the fast
// transformation to fit within `box`, aspect ratio kept (smaller pictures are
// enlarged). Files are decoded at reduced size where the format allows and
// turned upright. A null image when the picture cannot be loaded.
QImage thumbnail(const QString& path, const QSize& box = QSize(100, 100));
QImage thumbnail(const QImage& image, const QSize& box = QSize(100, 100));

} // namespace imageprep
