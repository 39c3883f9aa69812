#pragma once

#include <QImage>
#include <QSize>

// Scaling pictures down for sending: a separable Lanczos filter (three lobes),
// the filter image tools use for their best downscaling, in fixed point.
namespace resample {

// `image` scaled to `size` (aspect ratio as given). Pictures without alpha come
// out as Format_RGB32, others as Format_ARGB32_Premultiplied, grayscale ones as
// Format_Grayscale8; a null image for a null image or an empty size. Meant
// for making pictures smaller; it also enlarges, with the same filter.
QImage lanczos(const QImage& image, const QSize& size);

} // namespace resample
