#pragma once

#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>

// Picture metadata, read and written with Exiv2: what a prepared picture takes
// over from its source file, and the thumbnail a camera embeds in its photos.
// Safe to use from several threads at once; no Exiv2 error leaves these
// functions (they report failure instead), and Exiv2's own warnings go to the
// logging category "vemo.metadata" (off unless enabled).
namespace metadata {

// Writes into the JPEG file *jpeg (made by us, its pixels already upright) what
// it keeps of the picture file at `source`:
// - when it was taken: Exif DateTimeOriginal, DateTimeDigitized and DateTime,
//   with their sub-seconds and time-zone offsets;
// - camera, lens and exposure: Make, Model, LensMake, LensModel, ExposureTime,
//   FNumber, ISOSpeedRatings, FocalLength; Artist and Copyright;
// - the colour profile (ICC), byte for byte;
// - the location (all Exif GPS tags) only when `keepLocation`;
// and Orientation 1. Nothing else comes along: not the old embedded thumbnail,
// nor maker notes (their internal offsets would point nowhere), XMP, IPTC or
// comments, neither the source's nor any the encoder wrote.
// False, with *jpeg left as it was, when either file cannot be handled.
bool carryOver(const QString& source, QByteArray* jpeg, bool keepLocation);

// Keeps of the JPEG file *jpeg only what the picture itself needs and what
// carryOver put there: the image data with its tables, the JFIF header, one
// Exif segment and the colour profile (ICC). Every other segment goes:
// comments, XMP, IPTC and any other application data, whoever wrote them.
// False, with *jpeg left as it was, when it is not a JPEG file that can be
// walked to its end.
bool keepOnlyAllowed(QByteArray* jpeg);

// The thumbnail embedded in the Exif data of a picture file, as stored (not
// turned upright), with what is needed to show it: the size of the picture
// itself and its orientation.
struct Embedded
{
    QImage thumbnail;  // null when the file has none (or it cannot be read)
    QSize pictureSize; // stored orientation; invalid when unknown
    QImageIOHandler::Transformations transform = QImageIOHandler::TransformationNone;
};
Embedded embeddedThumbnail(const QString& path);

// The turn and mirroring an Exif orientation value (1..8) stands for, as
// QImageReader applies it; none for any other value.
QImageIOHandler::Transformations fromExifOrientation(long orientation);

} // namespace metadata
