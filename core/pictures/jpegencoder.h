#pragma once

#include <QByteArray>
#include <QImage>

// The JPEG writer for prepared pictures. The quality number means what it
// means to every JPEG encoder (libjpeg's quantisation tables, scaled the usual
// way; 4:2:0 chroma for colour pictures), but the file is made smaller and
// closer to the picture than a plain encoder makes it at the same number:
// - Huffman tables made for the picture, in progressive scans (the low,
//   middle and high frequencies each with tables of their own);
// - colour planes halved in the way that comes back best through the
//   interpolation decoders use (libjpeg's "fancy upsampling", what browsers do);
// - a coefficient costing more in bytes than it gives in fidelity is left out
//   (rate-distortion optimised quantisation of isolated +-1 coefficients).
// Progressive JPEG is read by every browser and image library in use.
namespace jpegencoder {

// `image` (grey pictures as a one-channel JPEG; alpha is ignored) at `quality`
// 0..100, -1 for the usual default of 75, with the image's colour profile, into
// *out. False when the picture is null or too large for JPEG (over 65500 pixels
// a side), *out then being empty.
bool encode(const QImage& image, int quality, QByteArray* out);

} // namespace jpegencoder
