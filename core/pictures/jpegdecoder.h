#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <memory>

class QIODevice;

// The JPEG reader for photos being prepared. libjpeg decodes straight into
// the picture's own rows, in the 32-bit format the scaling filter works in
// (or one grey channel), at M/8 of the stored size: each 8x8 block is turned
// back into M x M pixels, for a fraction of the work of a full decode. The
// colour profile and the resolution come with the picture; nothing else of
// the file does.
namespace jpegdecoder {

// The size a decode at `eighths`/8 (1 to 8) of a picture stored at `stored`
// gives: libjpeg rounds each side up.
QSize scaledSize(const QSize& stored, int eighths);

struct Decoded
{
    QImage image;             // null when the picture could not be read
    bool unsupported = false; // CMYK and other colour spaces left to Qt's reader
};

// The JPEG in `bytes`, or read from `device` (from its current position), at
// `eighths`/8 of its size. A file cut short decodes with the rest grey, as
// every JPEG reader does; a damaged one gives a null picture.
Decoded decode(const QByteArray& bytes, int eighths);
Decoded decode(QIODevice* device, int eighths);

// A colour or grey JPEG decoded a row at a time, each row as 32-bit pixels
// (0xffRRGGBB, QImage::Format_RGB32), so that a picture being scaled never
// needs to be whole in memory. `device` must outlive it.
class Rows
{
public:
    Rows(QIODevice* device, int eighths);
    ~Rows();
    Rows(const Rows&) = delete;
    Rows& operator=(const Rows&) = delete;

    // False when the header cannot be read or the colour space is left to
    // Qt's reader; then nothing else may be called.
    bool started() const;
    QSize size() const;
    bool grey() const;
    // Gives `image` the colour profile and the resolution the file tells.
    void describe(QImage* image) const;
    // The next row, size().width() pixels, into `line`; false once the
    // picture turns out damaged.
    bool next(uchar* line);

    struct Decoder;

private:
    std::unique_ptr<Decoder> d;
};

} // namespace jpegdecoder
