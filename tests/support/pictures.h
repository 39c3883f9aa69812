#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

// Test pictures, made on the spot.
namespace pictures {

// A picture with some structure (gradient, lines) so that encoders have work to do.
QImage pattern(int width, int height);

// The colours of quadrants(): top left, top right, bottom left, bottom right.
extern const QRgb Quadrants[4];

// Four flat quarters in `colours` (in the order of Quadrants).
QImage quadrants(const QSize& size, const QRgb* colours = Quadrants);

// One-pixel black and white stripes (even width): a careless scaler makes bands of them.
QImage stripes(const QSize& size);

// Mean absolute difference per channel of two pictures of the same size.
double difference(const QImage& a, const QImage& b);

// Writes `image` to `path` in the format its suffix names (GIF too); false on failure.
bool write(const QImage& image, const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString& path);

// `image` as JPEG bytes.
QByteArray jpeg(const QImage& image, int quality = 90);
// `image` as a CMYK JPEG, inverted as Adobe's programs write it.
QByteArray cmykJpeg(const QImage& image);

// `image` (at most 128 colours) as a GIF file (which Qt reads but cannot write)
// whose header names a logical screen of `screen` (by default the picture's size).
QByteArray gif(const QImage& image, const QSize& screen = QSize());

// quadrants() as an SVG drawing of nominal size `size`, stretched to it.
QByteArray svg(const QSize& size);

// A small PNG file declaring a w x h RGB picture, with only its first row.
QByteArray pngHeader(int w, int h);

// The picture file `file` (any format Exiv2 writes) with metadata: `tags`
// ("<Exiv2 key>=<value as text>": Exif.*, Xmp.*, or "Comment" for the
// file's comment) and, when given, an embedded JPEG thumbnail, as cameras
// write them. Its Exif data is replaced; its colour profile stays.
QByteArray withMetadata(const QByteArray& file, const QStringList& tags,
                        const QByteArray& thumbnail = QByteArray());

// The Exif tags of the JPEG file `jpeg`, as "<Exiv2 key>=<value as text>", sorted.
QStringList exifTags(const QByteArray& jpeg);

} // namespace pictures
