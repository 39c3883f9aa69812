#include "core/pictures/jpegdecoder.h"

#include <QColorSpace>
#include <QIODevice>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

namespace jpegdecoder {

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void fail(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (a file cut short, extra bytes) are not for the user's terminal.
void quiet(j_common_ptr) {}

// Feeds libjpeg from a device in reads of 64 KB. The end of the device (or a
// read that fails) reads as the end of the picture.
struct DeviceSource
{
    jpeg_source_mgr pub;
    QIODevice* device;
    JOCTET buffer[64 * 1024];
};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo)
{
    auto* source = reinterpret_cast<DeviceSource*>(cinfo->src);
    qint64 n = source->device->read(reinterpret_cast<char*>(source->buffer), sizeof source->buffer);
    if (n <= 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        n = 2;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = size_t(n);
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count)
{
    jpeg_source_mgr* source = cinfo->src;
    while (count > long(source->bytes_in_buffer)) {
        count -= long(source->bytes_in_buffer);
        (void)(*source->fill_input_buffer)(cinfo);
    }
    if (count > 0) {
        source->next_input_byte += count;
        source->bytes_in_buffer -= size_t(count);
    }
}

} // namespace

QSize scaledSize(const QSize& stored, int eighths)
{
    const auto up = [eighths](int side) { return int((qint64(side) * eighths + 7) / 8); };
    return QSize(up(stored.width()), up(stored.height()));
}

struct Rows::Decoder
{
    jpeg_decompress_struct cinfo{};
    ErrorManager err;
    DeviceSource source{};
    bool created = false;
    bool started = false;
    bool unsupported = false;
    bool grey = false;
    QColorSpace profile;
    int dotsPerMeterX = 0;
    int dotsPerMeterY = 0;

    Decoder()
    {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = fail;
        err.pub.output_message = quiet;
        source.pub.init_source = initSource;
        source.pub.fill_input_buffer = fillInput;
        source.pub.skip_input_data = skipInput;
        source.pub.resync_to_restart = jpeg_resync_to_restart;
        source.pub.term_source = termSource;
    }
    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }

    // Every call into libjpeg sets the point its errors jump back to, in the
    // same function: nothing with a destructor lives between the two.
    void start(const QByteArray* bytes, QIODevice* device, int eighths, bool greyAsGrey)
    {
        if (setjmp(err.jump))
            return;
        jpeg_create_decompress(&cinfo);
        created = true;
        if (bytes) {
            jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes->constData()),
                         static_cast<unsigned long>(bytes->size()));
        } else {
            source.device = device;
            cinfo.src = &source.pub;
        }
        jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF); // the colour profile
        jpeg_read_header(&cinfo, TRUE);
        switch (cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
            grey = true;
            break;
        case JCS_YCbCr:
        case JCS_RGB:
            break;
        default:
            unsupported = true;
            return;
        }
        // 0xffRRGGBB in memory order, the filter's own format.
        cinfo.out_color_space = grey && greyAsGrey                ? JCS_GRAYSCALE
                                : Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX
                                                                  : JCS_EXT_XRGB;
        cinfo.scale_num = unsigned(qBound(1, eighths, 8));
        cinfo.scale_denom = 8;
        // Nothing between reading the profile and freeing it jumps back.
        JOCTET* icc = nullptr;
        unsigned int iccSize = 0;
        if (jpeg_read_icc_profile(&cinfo, &icc, &iccSize) && !grey) {
            profile = QColorSpace::fromIccProfile(
                QByteArray(reinterpret_cast<const char*>(icc), qsizetype(iccSize)));
        }
        std::free(icc);
        if (cinfo.density_unit == 1 || cinfo.density_unit == 2) { // per inch, per cm
            const double perMeter = cinfo.density_unit == 1 ? 1 / 0.0254 : 100;
            dotsPerMeterX = qRound(cinfo.X_density * perMeter);
            dotsPerMeterY = qRound(cinfo.Y_density * perMeter);
        }
        jpeg_start_decompress(&cinfo);
        started = true;
    }

    // The next `count` rows into `rows`.
    bool read(JSAMPROW* rows, int count)
    {
        if (setjmp(err.jump))
            return false;
        int done = 0;
        while (done < count) {
            const JDIMENSION n = jpeg_read_scanlines(&cinfo, rows + done, JDIMENSION(count - done));
            if (n == 0)
                return false;
            done += int(n);
        }
        return true;
    }

    QSize size() const { return QSize(int(cinfo.output_width), int(cinfo.output_height)); }

    void describe(QImage* image) const
    {
        image->setColorSpace(profile);
        if (dotsPerMeterX > 0 && dotsPerMeterY > 0) {
            image->setDotsPerMeterX(dotsPerMeterX);
            image->setDotsPerMeterY(dotsPerMeterY);
        }
    }

    Decoded image()
    {
        Decoded result;
        result.unsupported = unsupported;
        if (!started)
            return result;
        QImage image(size(), cinfo.out_color_space == JCS_GRAYSCALE ? QImage::Format_Grayscale8
                                                                    : QImage::Format_RGB32);
        if (image.isNull()) // no memory for it
            return result;
        describe(&image);
        for (int line = 0; line < image.height(); line += 16) {
            JSAMPROW rows[16];
            const int count = qMin(16, image.height() - line);
            for (int i = 0; i < count; ++i)
                rows[i] = image.scanLine(line + i);
            if (!read(rows, count))
                return result;
        }
        result.image = std::move(image);
        return result;
    }
};

Decoded decode(const QByteArray& bytes, int eighths)
{
    Rows::Decoder decoder;
    decoder.start(&bytes, nullptr, eighths, true);
    return decoder.image();
}

Decoded decode(QIODevice* device, int eighths)
{
    Rows::Decoder decoder;
    decoder.start(nullptr, device, eighths, true);
    return decoder.image();
}

Rows::Rows(QIODevice* device, int eighths) : d(std::make_unique<Decoder>())
{
    d->start(nullptr, device, eighths, false);
}

Rows::~Rows() = default;

bool Rows::started() const
{
    return d->started;
}

QSize Rows::size() const
{
    return d->size();
}

bool Rows::grey() const
{
    return d->grey;
}

void Rows::describe(QImage* image) const
{
    d->describe(image);
}

bool Rows::next(uchar* line)
{
    JSAMPROW row = line;
    return d->read(&row, 1);
}

} // namespace jpegdecoder
