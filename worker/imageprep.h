#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Turns pictures into the bytes sent to the gallery: scaled down to the limits
// when larger, upright (EXIF orientation applied), encoded as JPEG at the
// toolkit's default quality. Safe to use off the GUI thread (QImage only).
namespace imageprep {

// The size Qt::KeepAspectRatio scaling of `size` into `box` gives, as
// QImage::scaled makes it: at least 1 x 1, and an empty size for an empty box.
QSize fitWithin(const QSize& size, const QSize& box);

// The largest picture file, in pixels, that is read at all (about 134 MP, so
// 100 MP photos pass); a larger one is treated like a file that cannot be
// loaded, before anything is decoded. Reading a file raises Qt's image
// allocation limit (QImageReader::allocationLimit, process-wide) to what such
// a picture needs, when it is lower; it never lowers it.
constexpr qint64 MaxPixels = qint64(1) << 27;

// Loads the picture file at `path`, scales it down when it is wider than
// `maxwidth` or higher than `maxheight`, and encodes it as JPEG into *out.
// Writes the trace lines "resizeImage", `"<path>" : image size 0` for a file
// that cannot be loaded, and "img could not be converted" when encoding fails.
bool resizeImage(const QString& path, QByteArray* out, int maxwidth, int maxheight);

// The same for an in-memory picture; `image` itself is left unchanged.
bool resizeImageFromQImage(const QImage* image, QByteArray* out, int maxwidth, int maxheight);

// Encodes an in-memory picture as JPEG at its own size.
bool saveImage(const QImage* image, QByteArray* out);

// Thumbnail of a picture file or of an in-memory picture: scaled with the fast
// transformation to fit within `box`, aspect ratio kept (smaller pictures are
// enlarged). Files are decoded at reduced size where the format allows and
// turned upright. A null image when the picture cannot be loaded.
QImage thumbnail(const QString& path, const QSize& box = QSize(100, 100));
QImage thumbnail(const QImage& image, const QSize& box = QSize(100, 100));

} // namespace imageprep
