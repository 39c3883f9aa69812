#pragma once

#include <QImage>

// Test pictures, made on the spot.
namespace pictures {

// A picture with some structure (gradient, lines) so that encoders have work to do.
QImage pattern(int width, int height);

// Writes `image` to `path` in the format its suffix names; false on failure.
bool write(const QImage& image, const QString& path);

// The JPEG file `jpeg` with an Exif segment carrying `orientation` (1..8)
// right after its start marker, as cameras write it.
QByteArray withOrientation(const QByteArray& jpeg, int orientation);

// `image` as JPEG bytes.
QByteArray jpeg(const QImage& image, int quality = 90);

} // namespace pictures
