#pragma once

#include <QImage>
#include <QSize>

#include <functional>

// Scaling pictures down for sending: a separable Lanczos filter (three lobes),
// the filter image tools use for their best downscaling, in fixed point.
namespace resample {

// `image` scaled to `size` (aspect ratio as given). Pictures without alpha come
// out as Format_RGB32, others as Format_ARGB32_Premultiplied, grayscale ones as
// Format_Grayscale8; a null image for a null image or an empty size. Meant
// for making pictures smaller; it also enlarges, with the same filter.
QImage lanczos(const QImage& image, const QSize& size);

// The same for a picture of `sourceSize` that `nextRow` writes a row at a
// time, top to bottom, as 32-bit pixels without alpha (Format_RGB32; false:
// the row could not be had). Only a few rows are held at once. The result is
// in Format_RGB32; null when a row could not be had.
QImage lanczos(const QSize& sourceSize, const std::function<bool(uchar* row)>& nextRow,
               const QSize& size);

} // namespace resample
