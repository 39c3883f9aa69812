// Picture preparation: sizes, formats, orientation, failures and thumbnails,
// on pictures written into a temporary directory and decoded back.

#include "worker/imageprep.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <array>

namespace {

using Corners = std::array<QRgb, 4>; // top left, top right, bottom left, bottom right
const Corners Upright{qRgb(220, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 220), qRgb(240, 240, 240)};

QImage quadrants(const QSize& size, const Corners& c = Upright)
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width(), h = size.height();
    QPainter p(&image);
    p.fillRect(0, 0, w / 2, h / 2, QColor(c[0]));
    p.fillRect(w / 2, 0, w - w / 2, h / 2, QColor(c[1]));
    p.fillRect(0, h / 2, w / 2, h - h / 2, QColor(c[2]));
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, QColor(c[3]));
    return image;
}

// One-pixel black and white stripes: a careless scaler turns them into bands.
QImage stripes(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int x = 0; x < size.width(); ++x)
        for (int y = 0; y < size.height(); ++y)
            image.setPixel(x, y, (x & 1) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

// True when the colours a quarter of the way in from each corner are `expected`.
bool cornersAre(const QImage& image, const Corners& expected)
{
    const int w = image.width(), h = image.height();
    const QPoint at[4] = {
        {w / 4, h / 4}, {w * 3 / 4, h / 4}, {w / 4, h * 3 / 4}, {w * 3 / 4, h * 3 / 4}};
    for (int i = 0; i < 4; ++i) {
        const QRgb seen = image.pixel(at[i]), want = expected[i];
        if (qAbs(qRed(seen) - qRed(want)) > 40 || qAbs(qGreen(seen) - qGreen(want)) > 40 ||
            qAbs(qBlue(seen) - qBlue(want)) > 40) {
            qWarning("corner %d is #%06x, expected #%06x", i, seen & 0xffffff, want & 0xffffff);
            return false;
        }
    }
    return true;
}

// Mean absolute difference per channel of two pictures of the same size.
double meanDifference(const QImage& a, const QImage& b)
{
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum +=
                qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    return double(sum) / (3.0 * a.width() * a.height());
}

// The picture held in JPEG bytes; null unless the bytes are a JPEG file.
QImage decodeJpeg(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return bytes.startsWith("\xFF\xD8") && reader.format() == "jpeg" ? reader.read() : QImage();
}

QByteArray bigEndian(quint32 v, int bytes)
{
    QByteArray out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char((v >> (8 * i)) & 0xff);
    return out;
}

QByteArray jpegBytes(const QImage& image, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

// The JPEG file with an Exif segment carrying `orientation` after its start marker.
QByteArray withOrientation(const QByteArray& jpeg, int orientation)
{
    const QByteArray exif = QByteArray("Exif\0\0MM\0\x2a", 10) + bigEndian(8, 4) + bigEndian(1, 2) +
                            bigEndian(0x0112, 2) + bigEndian(3, 2) + bigEndian(1, 4) +
                            bigEndian(orientation, 2) + bigEndian(0, 2) + bigEndian(0, 4);
    return jpeg.left(2) + "\xFF\xE1" + bigEndian(exif.size() + 2, 2) + exif + jpeg.mid(2);
}

// A small PNG file declaring a w x h RGB picture, with only its first row.
QByteArray pngHeader(int w, int h)
{
    const auto chunk = [](const QByteArray& type, const QByteArray& data) {
        quint32 crc = 0xffffffffu;
        for (char ch : type + data) {
            crc ^= quint8(ch);
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
        return bigEndian(data.size(), 4) + type + data + bigEndian(~crc, 4);
    };
    return QByteArray("\x89PNG\r\n\x1a\n") +
           chunk("IHDR", bigEndian(w, 4) + bigEndian(h, 4) + QByteArray("\x08\x02\0\0\0", 5)) +
           chunk("IDAT", qCompress(QByteArray(1 + 3 * w, '\0')).mid(4)) + chunk("IEND", {});
}

// A GIF file of `image` (Qt reads GIF but cannot write it): plain 9-bit LZW
// codes, with a clear code often enough that the code size never grows.
QByteArray gifBytes(const QImage& image)
{
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const auto le16 = [](int v) { return QByteArray(1, char(v & 0xff)) + char(v >> 8); };
    QByteArray gif = "GIF89a" + le16(indexed.width()) + le16(indexed.height()) + "\xF7";
    gif += QByteArray(2, '\0');
    for (int i = 0; i < 256; ++i) {
        const QRgb c = indexed.colorTable().value(i);
        gif += QByteArray(1, char(qRed(c))) + char(qGreen(c)) + char(qBlue(c));
    }
    gif += ',' + le16(0) + le16(0) + le16(indexed.width()) + le16(indexed.height()) + '\0' + '\x08';
    QByteArray codes;
    quint32 bits = 0, count = 0, n = 0;
    const auto put = [&](int code) {
        for (bits |= quint32(code) << count, count += 9; count >= 8; bits >>= 8, count -= 8)
            codes += char(bits & 0xff);
    };
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x, ++n) {
            if (n % 200 == 0)
                put(256);
            put(indexed.pixelIndex(x, y));
        }
    put(257);
    put(0); // flushes the last bits
    for (int i = 0; i < codes.size(); i += 255)
        gif += char(codes.mid(i, 255).size()) + codes.mid(i, 255);
    return gif + '\0' + ';';
}

// The quadrant pattern as an SVG drawing of nominal size `size`.
QByteArray svgBytes(const QSize& size)
{
    QString rects;
    for (int i = 0; i < 4; ++i)
        rects += QStringLiteral("<rect x='%1' y='%2' width='%3' height='%4' fill='%5'/>")
                     .arg(i % 2 ? size.width() / 2 : 0)
                     .arg(i / 2 ? size.height() / 2 : 0)
                     .arg(size.width() / 2 + 1)
                     .arg(size.height() / 2 + 1)
                     .arg(QColor(Upright[i]).name());
    return QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' width='%1' height='%2'>%3</svg>")
        .arg(size.width())
        .arg(size.height())
        .arg(rects)
        .toUtf8();
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName()
                                                                          : QString();
}

// Writes `image` as a file of `format` ("jpg", "png", "bmp", "gif").
QString writePicture(const QTemporaryDir& dir, const QImage& image, const QByteArray& format)
{
    const QString name = QStringLiteral("picture.") + QString::fromLatin1(format);
    if (format == "gif")
        return writeFile(dir, name, gifBytes(image));
    if (format == "svg")
        return writeFile(dir, name, svgBytes(image.size()));
    if (format == "jpg")
        return writeFile(dir, name, jpegBytes(image));
    return image.save(dir.filePath(name), format.constData()) ? dir.filePath(name) : QString();
}

QByteArray imageSizeTrace(const QString& path)
{
    return QStringLiteral("\"%1\" : image size 0").arg(path).toUtf8();
}

void sizeRow(const char* name, const char* format, QSize size, QSize box, QSize expected)
{
    QTest::newRow(name) << QByteArray(format) << size << box << expected;
}

void sizeColumns()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<QSize>("expected");
}

} // namespace

class TestImagePrep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void fitWithin_data();
    void fitWithin();
    void resizeFile_data();
    void resizeFile();
    void unreadable_data();
    void unreadable();
    void emptyLimits_data();
    void emptyLimits();
    void fromImage_data();
    void fromImage();
    void nothingInMemory();
    void saveImage_data();
    void saveImage();
    void orientation_data();
    void orientation();
    void largePhoto_data();
    void largePhoto();
    void thumbnails_data();
    void thumbnails();

private:
    QTemporaryDir dir;
    QString largeJpeg;
};

void TestImagePrep::fitWithin_data()
{
    sizeColumns();
    sizeRow("landscape", "", {3000, 2000}, {800, 600}, {800, 533});
    sizeRow("portrait", "", {2000, 3000}, {800, 600}, {400, 600});
    sizeRow("only too wide", "", {900, 100}, {800, 600}, {800, 88});
    sizeRow("exact", "", {800, 600}, {800, 600}, {800, 600});
    sizeRow("one pixel over", "", {801, 600}, {800, 600}, {800, 599});
    sizeRow("enlarged", "", {50, 25}, {100, 100}, {100, 50});
    sizeRow("sliver keeps a row", "", {10000, 10}, {100, 100}, {100, 1});
    sizeRow("zero width box", "", {800, 600}, {0, 600}, QSize());
    sizeRow("negative box", "", {800, 600}, {-1, -1}, QSize());
}

void TestImagePrep::fitWithin()
{
    QFETCH(QSize, size);
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);
    QCOMPARE(imageprep::fitWithin(size, limits), expected);
    // It must agree with what QImage::scaled itself makes of the same request.
    const QImage scaled = QImage(size, QImage::Format_Mono).scaled(limits, Qt::KeepAspectRatio);
    QCOMPARE(scaled.isNull() ? QSize() : scaled.size(), expected);
}

void TestImagePrep::resizeFile_data()
{
    sizeColumns();
    sizeRow("jpg landscape", "jpg", {3000, 2000}, {800, 600}, {800, 533});
    sizeRow("jpg portrait", "jpg", {2000, 3000}, {800, 600}, {400, 600});
    sizeRow("jpg only too wide", "jpg", {900, 100}, {800, 600}, {800, 88});
    sizeRow("jpg only too high", "jpg", {100, 900}, {800, 600}, {66, 600});
    sizeRow("jpg exactly the limits", "jpg", {800, 600}, {800, 600}, {800, 600});
    sizeRow("jpg one pixel over", "jpg", {801, 600}, {800, 600}, {800, 599});
    sizeRow("jpg smaller, never enlarged", "jpg", {300, 200}, {800, 600}, {300, 200});
    sizeRow("jpg eighth, even", "jpg", {6400, 4800}, {400, 300}, {400, 300});
    sizeRow("jpg eighth, ragged edge", "jpg", {6403, 4805}, {400, 300}, {399, 300});
    sizeRow("jpg half, odd size", "jpg", {3001, 2003}, {500, 500}, {500, 333});
    sizeRow("jpg fine stripes", "jpg", {1000, 750}, {400, 300}, {400, 300});
    sizeRow("png", "png", {1200, 900}, {800, 600}, {800, 600});
    sizeRow("png smaller", "png", {320, 200}, {800, 600}, {320, 200});
    sizeRow("gif", "gif", {640, 480}, {320, 320}, {320, 240});
    sizeRow("bmp", "bmp", {1000, 500}, {800, 600}, {800, 400});
    sizeRow("svg larger, drawn at the limits", "svg", {300, 150}, {100, 100}, {100, 50});
    sizeRow("svg smaller, drawn at its size", "svg", {300, 150}, {800, 600}, {300, 150});
}

void TestImagePrep::resizeFile()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);
    if (!QImageReader::supportedImageFormats().contains(format))
        QSKIP("no image plug-in for this format");
    const bool striped = QByteArray(QTest::currentDataTag()).contains("stripes");
    const QString path = writePicture(dir, striped ? stripes(size) : quadrants(size), format);
    QVERIFY(!path.isEmpty());

    QByteArray out;
    QTest::ignoreMessage(QtDebugMsg, "resizeImage");
    QVERIFY(imageprep::resizeImage(path, &out, limits.width(), limits.height()));
    const QImage result = decodeJpeg(out);
    QVERIFY2(!result.isNull(), "the output is not a JPEG file");
    QCOMPARE(result.size(), expected);

    // Against the plain way (full decode, smooth scaling) the picture must be
    // the same up to JPEG noise: no shift, crop, banding or lost colour.
    const QImage reference =
        QImage(path).scaled(expected, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const double difference = meanDifference(result, reference);
    QVERIFY2(difference < 6.0, qPrintable(QStringLiteral("mean difference %1").arg(difference)));
    QVERIFY(striped || cornersAre(result, Upright));
}

void TestImagePrep::unreadable_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("not a picture") << QByteArray("just some text, no picture\n");
    QTest::newRow("cut after the header") << jpegBytes(quadrants({64, 64})).left(20);
    QTest::newRow("png declaring 20000x20000") << pngHeader(20000, 20000);
    QTest::newRow("png just over the pixel ceiling") << pngHeader(11586, 11586);
}

void TestImagePrep::unreadable()
{
    QFETCH(QByteArray, bytes);
    const QString name = QStringLiteral("unreadable.jpg");
    const QString path = bytes.isNull() ? dir.filePath(name) : writeFile(dir, name, bytes);
    QVERIFY(!path.isEmpty());

    QByteArray out;
    QTest::ignoreMessage(QtDebugMsg, "resizeImage");
    QTest::ignoreMessage(QtDebugMsg, imageSizeTrace(path).constData());
    QVERIFY(!imageprep::resizeImage(path, &out, 800, 600));
    QVERIFY(imageprep::thumbnail(path).isNull());
    QFile::remove(path);
}

void TestImagePrep::emptyLimits_data()
{
    QTest::addColumn<QSize>("limits");
    QTest::newRow("both 0") << QSize(0, 0);
    QTest::newRow("width 0") << QSize(0, 600);
    QTest::newRow("height 0") << QSize(800, 0);
    QTest::newRow("negative") << QSize(-1, -1);
}

void TestImagePrep::emptyLimits()
{
    QFETCH(QSize, limits);
    const QImage image = quadrants({120, 80});
    const QString path = writePicture(dir, image, "jpg");
    QByteArray out;
    QTest::ignoreMessage(QtDebugMsg, "img could not be converted");
    QVERIFY(!imageprep::resizeImage(path, &out, limits.width(), limits.height()));
    QTest::ignoreMessage(QtDebugMsg, "img could not be converted");
    QVERIFY(!imageprep::resizeImageFromQImage(&image, &out, limits.width(), limits.height()));
    QVERIFY(imageprep::thumbnail(path, limits).isNull());

    // An unreadable file is still reported as such, whatever the limits.
    const QString missing = dir.filePath(QStringLiteral("gone.jpg"));
    QTest::ignoreMessage(QtDebugMsg, imageSizeTrace(missing).constData());
    QVERIFY(!imageprep::resizeImage(missing, &out, limits.width(), limits.height()));
}

void TestImagePrep::fromImage_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<QSize>("expected");
    const auto row = [](const char* name, const QImage& image, QSize limits, QSize expected) {
        QTest::newRow(name) << image << limits << expected;
    };
    row("landscape", quadrants({3000, 2000}), {800, 600}, {800, 533});
    row("portrait", quadrants({2000, 3000}), {800, 600}, {400, 600});
    row("only too wide", quadrants({900, 100}), {800, 600}, {800, 88});
    row("exactly the limits", quadrants({800, 600}), {800, 600}, {800, 600});
    row("smaller", quadrants({200, 100}), {800, 600}, {200, 100});
    row("alpha", quadrants({1000, 1000}).convertToFormat(QImage::Format_ARGB32), {500, 500},
        {500, 500});
    row("indexed", quadrants({400, 300}).convertToFormat(QImage::Format_Indexed8), {200, 200},
        {200, 150});
}

void TestImagePrep::fromImage()
{
    QFETCH(QImage, image);
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);
    const QImage before = image.copy();
    const qint64 key = image.cacheKey();

    QByteArray out;
    QTest::ignoreMessage(QtDebugMsg, "resizeImageFromQImage");
    QVERIFY(imageprep::resizeImageFromQImage(&image, &out, limits.width(), limits.height()));
    const QImage result = decodeJpeg(out);
    QCOMPARE(result.size(), expected);
    QVERIFY(cornersAre(result, Upright));
    QCOMPARE(image.cacheKey(), key); // the caller's picture is untouched
    QCOMPARE(image, before);
}

void TestImagePrep::nothingInMemory()
{
    QByteArray out;
    const QImage null;
    for (const QImage* image : {&null, static_cast<const QImage*>(nullptr)}) {
        QTest::ignoreMessage(QtDebugMsg, ": image size 0");
        QVERIFY(!imageprep::resizeImageFromQImage(image, &out, 800, 600));
        QTest::ignoreMessage(QtDebugMsg, "saveImage");
        QTest::ignoreMessage(QtDebugMsg, "img could not be converted");
        QVERIFY(!imageprep::saveImage(image, &out));
    }
    QVERIFY(imageprep::thumbnail(null).isNull());
    QVERIFY(imageprep::thumbnail(quadrants({40, 40}), QSize(0, 0)).isNull());
}

void TestImagePrep::saveImage_data()
{
    QTest::addColumn<QImage>("image");
    QTest::newRow("large, never scaled") << quadrants({2400, 1600});
    QTest::newRow("one pixel") << quadrants({1, 1});
    QTest::newRow("grey") << quadrants({64, 48}).convertToFormat(QImage::Format_Grayscale8);
    QTest::newRow("alpha") << quadrants({64, 48}).convertToFormat(QImage::Format_ARGB32);
}

void TestImagePrep::saveImage()
{
    QFETCH(QImage, image);
    QByteArray out;
    QVERIFY(imageprep::saveImage(&image, &out));
    const QImage result = decodeJpeg(out);
    QCOMPARE(result.size(), image.size());
    QVERIFY(meanDifference(result, image) < 6.0);
}

void TestImagePrep::orientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<QSize>("expected");
    // Stored 480 x 320; orientations 5 to 8 stand it on its side.
    for (int o = 1; o <= 8; ++o) {
        const bool side = o >= 5;
        QTest::addRow("%d, full size", o)
            << o << QSize(1000, 1000) << (side ? QSize(320, 480) : QSize(480, 320));
        QTest::addRow("%d, limits on the upright size", o)
            << o << QSize(400, 320) << (side ? QSize(213, 320) : QSize(400, 266));
        QTest::addRow("%d, reduced decode", o)
            << o << QSize(60, 60) << (side ? QSize(40, 60) : QSize(60, 40));
    }
}

void TestImagePrep::orientation()
{
    QFETCH(int, orientation);
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);
    // Which upright corner lies at each stored corner, per Exif orientation.
    static const int stored[9][4] = {{},           {0, 1, 2, 3}, {1, 0, 3, 2},
                                     {3, 2, 1, 0}, {2, 3, 0, 1}, {0, 2, 1, 3},
                                     {1, 3, 0, 2}, {3, 1, 2, 0}, {2, 0, 3, 1}};
    const int* s = stored[orientation];
    const Corners corners{Upright[s[0]], Upright[s[1]], Upright[s[2]], Upright[s[3]]};
    const QString path =
        writeFile(dir, QStringLiteral("turned.jpg"),
                  withOrientation(jpegBytes(quadrants({480, 320}, corners)), orientation));
    QByteArray out;
    QVERIFY(imageprep::resizeImage(path, &out, limits.width(), limits.height()));
    const QImage result = decodeJpeg(out);
    QCOMPARE(result.size(), expected);
    QVERIFY(cornersAre(result, Upright));

    const QImage thumb = imageprep::thumbnail(path);
    QCOMPARE(thumb.size(), orientation >= 5 ? QSize(66, 100) : QSize(100, 66));
    QVERIFY(cornersAre(thumb, Upright));
}

void TestImagePrep::largePhoto_data()
{
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("scaled down") << QSize(1000, 1000) << QSize(1000, 666);
    QTest::newRow("full size") << QSize(9000, 6000) << QSize(9000, 6000);
}

void TestImagePrep::largePhoto()
{
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);
    // 54 MP: above what Qt decodes by default (128 MB at 4 bytes a pixel).
    if (largeJpeg.isEmpty())
        largeJpeg =
            writeFile(dir, QStringLiteral("large.jpg"), jpegBytes(quadrants({9000, 6000}), 50));
    QImageReader::setAllocationLimit(128);
    QVERIFY2(QImage(largeJpeg).isNull(), "a plain load was expected to refuse this picture");

    QByteArray out;
    QImageReader::setAllocationLimit(128);
    QVERIFY(imageprep::resizeImage(largeJpeg, &out, limits.width(), limits.height()));
    QBuffer buffer(&out);
    buffer.open(QIODevice::ReadOnly);
    QCOMPARE(QImageReader(&buffer, "jpeg").size(), expected); // the header is enough here

    QImageReader::setAllocationLimit(128);
    const QImage thumb = imageprep::thumbnail(largeJpeg);
    QCOMPARE(thumb.size(), QSize(100, 66));
    QVERIFY(cornersAre(thumb, Upright));
}

void TestImagePrep::thumbnails_data()
{
    sizeColumns();
    sizeRow("jpg landscape", "jpg", {3000, 2000}, {100, 100}, {100, 66});
    sizeRow("jpg portrait, ragged edge", "jpg", {1201, 1603}, {100, 100}, {74, 100});
    sizeRow("jpg square", "jpg", {100, 100}, {100, 100}, {100, 100});
    sizeRow("jpg small, enlarged", "jpg", {50, 25}, {100, 100}, {100, 50});
    sizeRow("png tall and small, enlarged", "png", {10, 40}, {100, 100}, {25, 100});
    sizeRow("png wide box", "png", {1500, 1000}, {200, 50}, {75, 50});
    sizeRow("gif", "gif", {300, 200}, {100, 100}, {100, 66});
    sizeRow("svg, drawn at the box", "svg", {30, 20}, {100, 100}, {100, 66});
}

void TestImagePrep::thumbnails()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);
    if (!QImageReader::supportedImageFormats().contains(format))
        QSKIP("no image plug-in for this format");
    const QImage image = quadrants(size);
    const QString path = writePicture(dir, image, format);
    QVERIFY(!path.isEmpty());

    for (const QImage& thumb :
         {imageprep::thumbnail(path, limits), imageprep::thumbnail(image, limits)}) {
        QCOMPARE(thumb.size(), expected);
        QVERIFY(expected.width() < 8 || cornersAre(thumb, Upright));
    }
}

QTEST_GUILESS_MAIN(TestImagePrep)
#include "tst_imageprep.moc"
