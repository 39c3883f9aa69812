#include "core/pictures/metadata.h"

#include <QFile>
#include <QLoggingCategory>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>

namespace metadata {

namespace {

Q_LOGGING_CATEGORY(lcMetadata, "vemo.metadata", QtInfoMsg)

void toLog(int level, const char* text)
{
    QByteArray line(text);
    while (line.endsWith('\n'))
        line.chop(1);
    qCDebug(lcMetadata, "exiv2 (level %d): %s", level, line.constData());
}

// The XMP toolkit registers namespaces in shared tables while parsing; Exiv2
// takes this lock around that when it is handed one at initialisation.
void lockXmp(void* mutex, bool lock)
{
    if (lock)
        static_cast<std::mutex*>(mutex)->lock();
    else
        static_cast<std::mutex*>(mutex)->unlock();
}

// Exiv2 0.27 keeps two pieces of process-wide state that are not safe to set
// up from several threads at once: the XMP toolkit (initialised lazily by the
// first file that carries XMP, unless done beforehand) and the log handler.
void setUpOnce()
{
    static std::once_flag once;
    static std::mutex xmpMutex;
    std::call_once(once, [] {
        Exiv2::LogMsg::setHandler(toLog);
        Exiv2::XmpParser::initialize(lockXmp, &xmpMutex);
    });
}

std::string localName(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The Exif tags a prepared picture keeps. Tags that describe the file itself
// (sizes, offsets, compression, the thumbnail in IFD1) or the camera's private
// data (MakerNote) would be wrong or broken in the new file.
const char* const KeptTags[] = {
    "Exif.Image.DateTime",
    "Exif.Photo.DateTimeOriginal",
    "Exif.Photo.DateTimeDigitized",
    "Exif.Photo.SubSecTime",
    "Exif.Photo.SubSecTimeOriginal",
    "Exif.Photo.SubSecTimeDigitized",
    "Exif.Photo.OffsetTime",
    "Exif.Photo.OffsetTimeOriginal",
    "Exif.Photo.OffsetTimeDigitized",
    "Exif.Image.Make",
    "Exif.Image.Model",
    "Exif.Photo.LensMake",
    "Exif.Photo.LensModel",
    "Exif.Photo.ExposureTime",
    "Exif.Photo.FNumber",
    "Exif.Photo.ISOSpeedRatings",
    "Exif.Photo.FocalLength",
    "Exif.Image.Artist",
    "Exif.Image.Copyright",
};

bool kept(const Exiv2::Exifdatum& datum, bool keepLocation)
{
    // Exif.GPSInfo.* only; the pointer to the GPS directory (Exif.Image.GPSTag)
    // is written anew by Exiv2 when there is anything to point to.
    if (datum.groupName() == "GPSInfo")
        return keepLocation;
    const std::string key = datum.key();
    return std::any_of(std::begin(KeptTags), std::end(KeptTags),
                       [&key](const char* k) { return key == k; });
}

// Opens the picture file at `path` and reads its metadata; throws on failure.
Exiv2::Image::AutoPtr readFile(const QString& path)
{
    setUpOnce();
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(localName(path));
    image->readMetadata();
    return image;
}

// Runs `work`, turning any exception into false and a line in the log.
template <typename Work> bool guarded(const QString& path, Work&& work)
{
    try {
        work();
        return true;
    } catch (const Exiv2::AnyError& e) {
        qCDebug(lcMetadata) << path << "metadata:" << e.what();
    } catch (const std::exception& e) {
        qCDebug(lcMetadata) << path << "metadata:" << e.what();
    } catch (...) {
        qCDebug(lcMetadata) << path << "metadata: unknown error";
    }
    return false;
}

} // namespace

QImageIOHandler::Transformations fromExifOrientation(long orientation)
{
    switch (orientation) {
    case 2:
        return QImageIOHandler::TransformationMirror;
    case 3:
        return QImageIOHandler::TransformationRotate180;
    case 4:
        return QImageIOHandler::TransformationFlip;
    case 5:
        return QImageIOHandler::TransformationFlipAndRotate90;
    case 6:
        return QImageIOHandler::TransformationRotate90;
    case 7:
        return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8:
        return QImageIOHandler::TransformationRotate270;
    default:
        return QImageIOHandler::TransformationNone;
    }
}

bool carryOver(const QString& source, QByteArray* jpeg, bool keepLocation)
{
    if (!jpeg || jpeg->isEmpty())
        return false;
    QByteArray written;
    const bool ok = guarded(source, [&] {
        Exiv2::Image::AutoPtr from = readFile(source);
        Exiv2::ExifData exif;
        for (const Exiv2::Exifdatum& datum : from->exifData()) {
            if (kept(datum, keepLocation))
                exif.add(datum);
        }
        exif["Exif.Image.Orientation"] = uint16_t(1);

        Exiv2::Image::AutoPtr to = Exiv2::ImageFactory::open(
            reinterpret_cast<const Exiv2::byte*>(jpeg->constData()), long(jpeg->size()));
        to->readMetadata(); // keeps what the encoder wrote (a profile Qt could read)
        to->clearIptcData();
        to->clearXmpData();
        to->clearComment();
        to->setExifData(exif);
        // A profile that fails Exiv2's check is left out; the picture keeps
        // the one the encoder wrote, if any.
        if (from->iccProfileDefined()) {
            guarded(source, [&] { to->setIccProfile(*from->iccProfile(), true); });
        }
        to->writeMetadata();

        Exiv2::BasicIo& io = to->io();
        if (io.open() != 0)
            throw std::runtime_error("the written picture cannot be read back");
        Exiv2::DataBuf data = io.read(long(io.size()));
        io.close();
        written = QByteArray(reinterpret_cast<const char*>(data.pData_), int(data.size_));
    });
    if (!ok || written.isEmpty())
        return false;
    *jpeg = written;
    return true;
}

namespace {

bool startsWith(const QByteArray& bytes, qsizetype at, qsizetype end, QByteArrayView prefix)
{
    return end - at >= prefix.size() && QByteArrayView(bytes).sliced(at, prefix.size()) == prefix;
}

// Whether the segment with `marker` whose data runs from `at` to `end` is
// one a prepared picture keeps.
bool allowedSegment(const QByteArray& bytes, uchar marker, qsizetype at, qsizetype end,
                    bool* exifSeen)
{
    switch (marker) {
    case 0xE0: // APP0
        return startsWith(bytes, at, end, QByteArrayView("JFIF\0", 5));
    case 0xE1: // APP1: Exif, or XMP
        if (*exifSeen || !startsWith(bytes, at, end, QByteArrayView("Exif\0\0", 6)))
            return false;
        *exifSeen = true;
        return true;
    case 0xE2: // APP2: the colour profile, perhaps in several pieces
        return startsWith(bytes, at, end, QByteArrayView("ICC_PROFILE\0", 12));
    case 0xC4: // DHT
    case 0xCC: // DAC
    case 0xDB: // DQT
    case 0xDD: // DRI
        return true;
    default: // frame headers SOF0..SOF15; the rest (COM, APP3..15, ...) goes
        return marker >= 0xC0 && marker <= 0xCF;
    }
}

} // namespace

bool keepOnlyAllowed(QByteArray* jpeg)
{
    if (!jpeg || !jpeg->startsWith("\xFF\xD8"))
        return false;
    const QByteArray& in = *jpeg;
    const auto byte = [&in](qsizetype i) { return uchar(in.at(i)); };
    QByteArray out = in.left(2);
    bool exifSeen = false;
    qsizetype i = 2;
    while (i + 1 < in.size()) {
        if (byte(i) != 0xFF)
            return false;
        const uchar marker = byte(i + 1);
        if (marker == 0xFF) { // fill byte
            ++i;
            continue;
        }
        if (marker == 0xD9) { // EOI: the end
            *jpeg = out + "\xFF\xD9";
            return true;
        }
        if (i + 3 >= in.size())
            return false;
        const qsizetype end = i + 2 + (byte(i + 2) << 8 | byte(i + 3));
        if (end > in.size() || end < i + 4)
            return false;
        if (marker == 0xDA) { // SOS: the header, then the scan up to the next marker
            qsizetype next = end;
            while (next + 1 < in.size() && !(byte(next) == 0xFF && byte(next + 1) != 0 &&
                                             (byte(next + 1) < 0xD0 || byte(next + 1) > 0xD7)))
                ++next;
            out += in.mid(i, next - i);
            i = next;
            continue;
        }
        if (allowedSegment(in, marker, i + 4, end, &exifSeen))
            out += in.mid(i, end - i);
        i = end;
    }
    return false; // no end of image
}

Embedded embeddedThumbnail(const QString& path)
{
    Embedded found;
    guarded(path, [&] {
        Exiv2::Image::AutoPtr image = readFile(path);
        if (image->pixelWidth() > 0 && image->pixelHeight() > 0)
            found.pictureSize = QSize(image->pixelWidth(), image->pixelHeight());
        Exiv2::ExifData& exif = image->exifData();
        const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
        if (orientation != exif.end() && orientation->count() > 0)
            found.transform = fromExifOrientation(orientation->toLong());
        Exiv2::DataBuf data = Exiv2::ExifThumbC(exif).copy();
        if (data.size_ > 0)
            found.thumbnail = QImage::fromData(data.pData_, int(data.size_));
    });
    return found;
}

} // namespace metadata
