// Picture preparation: sizes, formats, orientation, failures and thumbnails,
// on pictures written into a temporary directory and decoded back.

#include "worker/imageprep.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Corner colours of the test pattern, seen upright.
const QRgb TopLeft = qRgb(220, 30, 30);
const QRgb TopRight = qRgb(30, 200, 30);
const QRgb BottomLeft = qRgb(30, 30, 220);
const QRgb BottomRight = qRgb(240, 240, 240);

// Four coloured quadrants over a faint diagonal gradient.
QImage quadrants(const QSize& size,
                 const QRgb (&corners)[4] = {TopLeft, TopRight, BottomLeft, BottomRight})
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width(), h = size.height();
    QPainter p(&image);
    p.fillRect(0, 0, w / 2, h / 2, QColor(corners[0]));
    p.fillRect(w / 2, 0, w - w / 2, h / 2, QColor(corners[1]));
    p.fillRect(0, h / 2, w / 2, h - h / 2, QColor(corners[2]));
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, QColor(corners[3]));
    return image;
}

// One-pixel black and white stripes: a careless scaler turns them into bands.
QImage stripes(const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = (x & 1) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return image;
}

// The average colour of a small square around (x, y).
QRgb sample(const QImage& image, int x, int y)
{
    int r = 0, g = 0, b = 0, n = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QRgb c = image.pixel(qBound(0, x + dx, image.width() - 1),
                                       qBound(0, y + dy, image.height() - 1));
            r += qRed(c), g += qGreen(c), b += qBlue(c), ++n;
        }
    return qRgb(r / n, g / n, b / n);
}

bool near(QRgb a, QRgb b, int tolerance = 40)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The colours a quarter of the way in from each corner: TL, TR, BL, BR.
QList<QRgb> cornerColours(const QImage& image)
{
    const int w = image.width(), h = image.height();
    return {sample(image, w / 4, h / 4), sample(image, w * 3 / 4, h / 4),
            sample(image, w / 4, h * 3 / 4), sample(image, w * 3 / 4, h * 3 / 4)};
}

bool cornersMatch(const QImage& image, const QRgb (&expected)[4])
{
    const QList<QRgb> seen = cornerColours(image);
    for (int i = 0; i < 4; ++i) {
        if (!near(seen[i], expected[i])) {
            qWarning("corner %d is #%06x, expected #%06x", i, seen[i] & 0xffffff,
                     expected[i] & 0xffffff);
            return false;
        }
    }
    return true;
}

// Mean absolute difference per channel of two pictures of the same size.
double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    qint64 sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += qAbs(qRed(p[col]) - qRed(q[col])) + qAbs(qGreen(p[col]) - qGreen(q[col])) +
                   qAbs(qBlue(p[col]) - qBlue(q[col]));
    }
    return double(sum) / (3.0 * x.width() * x.height());
}

// The picture held in JPEG bytes; null unless the bytes are a JPEG file.
QImage decodeJpeg(const QByteArray& bytes)
{
    if (!bytes.startsWith("\xFF\xD8"))
        return QImage();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (reader.format() != "jpeg")
        return QImage();
    return reader.read();
}

QByteArray be16(int v)
{
    const char bytes[2] = {char((v >> 8) & 0xff), char(v & 0xff)};
    return QByteArray(bytes, 2);
}

QByteArray be32(quint32 v)
{
    return be16(int(v >> 16)) + be16(int(v & 0xffff));
}

QByteArray jpegBytes(const QImage& image, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

// A JPEG file with an Exif segment carrying `orientation`, spliced in right
// after the start-of-image marker.
QByteArray withOrientation(const QByteArray& jpeg, int orientation)
{
    QByteArray tiff = QByteArray("MM") + be16(42) + be32(8); // big-endian, IFD at 8
    tiff += be16(1);                                         // one entry
    tiff += be16(0x0112) + be16(3) + be32(1) + be16(orientation) + be16(0);
    tiff += be32(0); // no further IFD
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    return jpeg.left(2) + QByteArray("\xFF\xE1") + be16(int(payload.size()) + 2) + payload +
           jpeg.mid(2);
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xffffffffu;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    return be32(quint32(data.size())) + type + data + be32(crc32(type + data));
}

// A small PNG file declaring a w x h RGB picture, with only its first row.
QByteArray pngHeader(int w, int h)
{
    const QByteArray ihdr = be32(quint32(w)) + be32(quint32(h)) + QByteArray("\x08\x02\0\0\0", 5);
    const QByteArray firstRow = qCompress(QByteArray(1 + 3 * w, '\0')).mid(4); // zlib stream
    return QByteArray("\x89PNG\r\n\x1a\n") + pngChunk("IHDR", ihdr) + pngChunk("IDAT", firstRow) +
           pngChunk("IEND", QByteArray());
}

// A GIF file of `image` (at most 256 colours). Qt reads GIF but cannot write
// it; the pixels go out as plain 9-bit LZW codes, with a clear code often
// enough that the code size never grows.
QByteArray gifBytes(const QImage& image)
{
    const QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    const auto le16 = [](int v) {
        const char bytes[2] = {char(v & 0xff), char((v >> 8) & 0xff)};
        return QByteArray(bytes, 2);
    };
    QByteArray gif = QByteArray("GIF89a") + le16(indexed.width()) + le16(indexed.height());
    gif += QByteArray("\xF7\0\0", 3); // global table of 256 colours
    const QList<QRgb> table = indexed.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb c = table.value(i);
        gif += char(qRed(c)), gif += char(qGreen(c)), gif += char(qBlue(c));
    }
    gif += ',' + le16(0) + le16(0) + le16(indexed.width()) + le16(indexed.height()) + '\0';
    gif += char(8); // minimum code size

    QByteArray codes;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << count;
        count += 9;
        while (count >= 8) {
            codes += char(bits & 0xff);
            bits >>= 8;
            count -= 8;
        }
    };
    int sinceClear = 0;
    put(256);
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x) {
            if (++sinceClear == 200) {
                put(256);
                sinceClear = 1;
            }
            put(indexed.pixelIndex(x, y));
        }
    put(257);
    if (count > 0)
        codes += char(bits & 0xff);
    for (int i = 0; i < codes.size(); i += 255) {
        const QByteArray block = codes.mid(i, 255);
        gif += char(block.size()) + block;
    }
    gif += '\0';
    gif += ';';
    return gif;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return QString();
    return path;
}

// Writes `image` in `format` ("jpg", "png", "bmp", "gif").
QString writePicture(const QTemporaryDir& dir, const QString& name, const QImage& image,
                     const QByteArray& format)
{
    if (format == "gif")
        return writeFile(dir, name, gifBytes(image));
    if (format == "jpg")
        return writeFile(dir, name, jpegBytes(image));
    const QString path = dir.filePath(name);
    return image.save(path, format.constData()) ? path : QString();
}

QString svgText(int w, int h)
{
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                          "viewBox=\"0 0 %1 %2\">"
                          "<rect x=\"0\" y=\"0\" width=\"%3\" height=\"%2\" fill=\"#dc1e1e\"/>"
                          "<rect x=\"%3\" y=\"0\" width=\"%3\" height=\"%2\" fill=\"#1e1edc\"/>"
                          "</svg>")
        .arg(w)
        .arg(h)
        .arg(w / 2);
}

QString imageSizeTrace(const QString& path)
{
    return QStringLiteral("\"%1\" : image size 0").arg(path);
}

} // namespace

class TestImagePrep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void fitWithin_data();
    void fitWithin();

    void resizeFile_data();
    void resizeFile();
    void resizeSvg_data();
    void resizeSvg();
    void unreadable_data();
    void unreadable();
    void emptyLimits_data();
    void emptyLimits();

    void fromImage_data();
    void fromImage();
    void fromImageFailures();
    void saveImage_data();
    void saveImage();

    void orientation_data();
    void orientation();
    void largePhoto_data();
    void largePhoto();

    void thumbnails_data();
    void thumbnails();
    void thumbnailFailures();

private:
    QTemporaryDir dir;
    QString largeJpeg;
};

void TestImagePrep::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QImageWriter::supportedImageFormats().contains("jpg"));
}

void TestImagePrep::fitWithin_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("landscape") << QSize(3000, 2000) << QSize(800, 600) << QSize(800, 533);
    QTest::newRow("portrait") << QSize(2000, 3000) << QSize(800, 600) << QSize(400, 600);
    QTest::newRow("only too wide") << QSize(900, 100) << QSize(800, 600) << QSize(800, 88);
    QTest::newRow("only too high") << QSize(100, 900) << QSize(800, 600) << QSize(66, 600);
    QTest::newRow("exact") << QSize(800, 600) << QSize(800, 600) << QSize(800, 600);
    QTest::newRow("one pixel over") << QSize(801, 600) << QSize(800, 600) << QSize(800, 599);
    QTest::newRow("enlarged") << QSize(50, 25) << QSize(100, 100) << QSize(100, 50);
    QTest::newRow("sliver keeps a row") << QSize(10000, 10) << QSize(100, 100) << QSize(100, 1);
    QTest::newRow("zero width box") << QSize(800, 600) << QSize(0, 600) << QSize();
    QTest::newRow("negative box") << QSize(800, 600) << QSize(-1, -1) << QSize();
}

void TestImagePrep::fitWithin()
{
    QFETCH(QSize, size);
    QFETCH(QSize, box);
    QFETCH(QSize, expected);
    QCOMPARE(imageprep::fitWithin(size, box), expected);
    // It must agree with what QImage::scaled itself makes of the same request.
    const QImage scaled = QImage(size, QImage::Format_Mono).scaled(box, Qt::KeepAspectRatio);
    QCOMPARE(scaled.isNull(), !expected.isValid());
    if (!scaled.isNull())
        QCOMPARE(scaled.size(), expected);
}

void TestImagePrep::resizeFile_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<QSize>("expected");

    const QString q = QStringLiteral("quadrants");
    QTest::newRow("jpg landscape")
        << QByteArray("jpg") << q << QSize(3000, 2000) << QSize(800, 600) << QSize(800, 533);
    QTest::newRow("jpg portrait") << QByteArray("jpg") << q << QSize(2000, 3000) << QSize(800, 600)
                                  << QSize(400, 600);
    QTest::newRow("jpg only too wide")
        << QByteArray("jpg") << q << QSize(900, 100) << QSize(800, 600) << QSize(800, 88);
    QTest::newRow("jpg only too high")
        << QByteArray("jpg") << q << QSize(100, 900) << QSize(800, 600) << QSize(66, 600);
    QTest::newRow("jpg exactly the limits")
        << QByteArray("jpg") << q << QSize(800, 600) << QSize(800, 600) << QSize(800, 600);
    QTest::newRow("jpg one pixel over")
        << QByteArray("jpg") << q << QSize(801, 600) << QSize(800, 600) << QSize(800, 599);
    QTest::newRow("jpg smaller, never enlarged")
        << QByteArray("jpg") << q << QSize(300, 200) << QSize(800, 600) << QSize(300, 200);
    QTest::newRow("jpg eighth, even")
        << QByteArray("jpg") << q << QSize(6400, 4800) << QSize(400, 300) << QSize(400, 300);
    QTest::newRow("jpg eighth, ragged edge")
        << QByteArray("jpg") << q << QSize(6403, 4805) << QSize(400, 300) << QSize(399, 300);
    QTest::newRow("jpg half, odd size")
        << QByteArray("jpg") << q << QSize(3001, 2003) << QSize(500, 500) << QSize(500, 333);
    QTest::newRow("jpg fine stripes") << QByteArray("jpg") << QStringLiteral("stripes")
                                      << QSize(1000, 750) << QSize(400, 300) << QSize(400, 300);
    QTest::newRow("png") << QByteArray("png") << q << QSize(1200, 900) << QSize(800, 600)
                         << QSize(800, 600);
    QTest::newRow("png smaller") << QByteArray("png") << q << QSize(320, 200) << QSize(800, 600)
                                 << QSize(320, 200);
    QTest::newRow("gif") << QByteArray("gif") << q << QSize(640, 480) << QSize(320, 320)
                         << QSize(320, 240);
    QTest::newRow("bmp") << QByteArray("bmp") << q << QSize(1000, 500) << QSize(800, 600)
                         << QSize(800, 400);
}

void TestImagePrep::resizeFile()
{
    QFETCH(QByteArray, format);
    QFETCH(QString, content);
    QFETCH(QSize, size);
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);

    const QImage source = content == QLatin1String("stripes") ? stripes(size) : quadrants(size);
    const QString path =
        writePicture(dir, QStringLiteral("resize.") + QString::fromLatin1(format), source, format);
    QVERIFY(!path.isEmpty());

    QByteArray out;
    QTest::ignoreMessage(QtDebugMsg, "resizeImage");
    QVERIFY(imageprep::resizeImage(path, &out, limits.width(), limits.height()));
    const QImage result = decodeJpeg(out);
    QVERIFY2(!result.isNull(), "the output is not a JPEG file");
    QCOMPARE(result.size(), expected);

    // Against the plain way (full decode, smooth scaling) the picture must be
    // the same up to JPEG noise: no shift, crop, banding or lost colour.
    QImage reference(path);
    QVERIFY(!reference.isNull());
    reference = reference.scaled(expected, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const double difference = meanDifference(result, reference);
    QVERIFY2(difference < 6.0, qPrintable(QStringLiteral("mean difference %1").arg(difference)));
    if (content == QLatin1String("quadrants"))
        QVERIFY(cornersMatch(result, {TopLeft, TopRight, BottomLeft, BottomRight}));
}

void TestImagePrep::resizeSvg_data()
{
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("larger than the limits") << QSize(100, 100) << QSize(100, 50);
    QTest::newRow("within the limits") << QSize(800, 600) << QSize(300, 150);
}

void TestImagePrep::resizeSvg()
{
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);
    if (!QImageReader::supportedImageFormats().contains("svg"))
        QSKIP("no SVG image plug-in");

    const QString path = writeFile(dir, QStringLiteral("drawing.svg"), svgText(300, 150).toUtf8());
    QByteArray out;
    QVERIFY(imageprep::resizeImage(path, &out, limits.width(), limits.height()));
    const QImage result = decodeJpeg(out);
    QVERIFY(!result.isNull());
    QCOMPARE(result.size(), expected);
    QVERIFY(near(sample(result, result.width() / 4, result.height() / 2), qRgb(220, 30, 30)));
    QVERIFY(near(sample(result, result.width() * 3 / 4, result.height() / 2), qRgb(30, 30, 220)));
    QCOMPARE(imageprep::thumbnail(path).size(), QSize(100, 50));
}

void TestImagePrep::unreadable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("missing") << QStringLiteral("missing.jpg") << QByteArray();
    QTest::newRow("empty") << QStringLiteral("empty.jpg") << QByteArray("");
    QTest::newRow("not a picture")
        << QStringLiteral("notes.jpg") << QByteArray("just some text, no picture\n");
    QTest::newRow("truncated jpeg header")
        << QStringLiteral("cut.jpg") << jpegBytes(quadrants(QSize(64, 64))).left(20);
    QTest::newRow("png declaring 20000x20000")
        << QStringLiteral("huge.png") << pngHeader(20000, 20000);
    QTest::newRow("png just over the pixel ceiling")
        << QStringLiteral("over.png") << pngHeader(11586, 11586);
}

void TestImagePrep::unreadable()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString path = bytes.isNull() ? dir.filePath(name) : writeFile(dir, name, bytes);
    QVERIFY(!path.isEmpty());

    QByteArray out;
    QTest::ignoreMessage(QtDebugMsg, "resizeImage");
    QTest::ignoreMessage(QtDebugMsg, qPrintable(imageSizeTrace(path)));
    QVERIFY(!imageprep::resizeImage(path, &out, 800, 600));
    QVERIFY(imageprep::thumbnail(path).isNull());
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
    const QImage image = quadrants(QSize(120, 80));
    const QString path = writePicture(dir, QStringLiteral("small.jpg"), image, "jpg");

    QByteArray out;
    QTest::ignoreMessage(QtDebugMsg, "resizeImage");
    QTest::ignoreMessage(QtDebugMsg, "img could not be converted");
    QVERIFY(!imageprep::resizeImage(path, &out, limits.width(), limits.height()));

    QTest::ignoreMessage(QtDebugMsg, "resizeImageFromQImage");
    QTest::ignoreMessage(QtDebugMsg, "img could not be converted");
    QVERIFY(!imageprep::resizeImageFromQImage(&image, &out, limits.width(), limits.height()));

    // An unreadable file is still reported as such, whatever the limits.
    const QString missing = dir.filePath(QStringLiteral("gone.jpg"));
    QTest::ignoreMessage(QtDebugMsg, "resizeImage");
    QTest::ignoreMessage(QtDebugMsg, qPrintable(imageSizeTrace(missing)));
    QVERIFY(!imageprep::resizeImage(missing, &out, limits.width(), limits.height()));
}

void TestImagePrep::fromImage_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("landscape") << quadrants(QSize(3000, 2000)) << QSize(800, 600)
                               << QSize(800, 533);
    QTest::newRow("portrait") << quadrants(QSize(2000, 3000)) << QSize(800, 600) << QSize(400, 600);
    QTest::newRow("only too wide")
        << quadrants(QSize(900, 100)) << QSize(800, 600) << QSize(800, 88);
    QTest::newRow("exactly the limits")
        << quadrants(QSize(800, 600)) << QSize(800, 600) << QSize(800, 600);
    QTest::newRow("smaller") << quadrants(QSize(200, 100)) << QSize(800, 600) << QSize(200, 100);
    QTest::newRow("with alpha")
        << quadrants(QSize(1000, 1000)).convertToFormat(QImage::Format_ARGB32) << QSize(500, 500)
        << QSize(500, 500);
    QTest::newRow("indexed") << quadrants(QSize(400, 300)).convertToFormat(QImage::Format_Indexed8)
                             << QSize(200, 200) << QSize(200, 150);
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
    QVERIFY(!result.isNull());
    QCOMPARE(result.size(), expected);
    QVERIFY(cornersMatch(result, {TopLeft, TopRight, BottomLeft, BottomRight}));

    // The caller's picture is untouched.
    QCOMPARE(image.cacheKey(), key);
    QCOMPARE(image, before);
}

void TestImagePrep::fromImageFailures()
{
    QByteArray out;
    const QImage null;
    QTest::ignoreMessage(QtDebugMsg, "resizeImageFromQImage");
    QTest::ignoreMessage(QtDebugMsg, ": image size 0");
    QVERIFY(!imageprep::resizeImageFromQImage(&null, &out, 800, 600));

    QTest::ignoreMessage(QtDebugMsg, "resizeImageFromQImage");
    QTest::ignoreMessage(QtDebugMsg, ": image size 0");
    QVERIFY(!imageprep::resizeImageFromQImage(nullptr, &out, 800, 600));
}

void TestImagePrep::saveImage_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<bool>("ok");

    QTest::newRow("large, never scaled") << quadrants(QSize(2400, 1600)) << true;
    QTest::newRow("one pixel") << quadrants(QSize(1, 1)) << true;
    QTest::newRow("grey") << quadrants(QSize(64, 48)).convertToFormat(QImage::Format_Grayscale8)
                          << true;
    QTest::newRow("null") << QImage() << false;
}

void TestImagePrep::saveImage()
{
    QFETCH(QImage, image);
    QFETCH(bool, ok);

    QByteArray out;
    QTest::ignoreMessage(QtDebugMsg, "saveImage");
    if (!ok)
        QTest::ignoreMessage(QtDebugMsg, "img could not be converted");
    QCOMPARE(imageprep::saveImage(&image, &out), ok);
    if (ok)
        QCOMPARE(decodeJpeg(out).size(), image.size());
}

void TestImagePrep::orientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("limits");
    QTest::addColumn<QSize>("expected");

    // Stored 480 x 320; orientations 5 to 8 stand it on its side.
    for (int o = 1; o <= 8; ++o) {
        const bool sideways = o >= 5;
        QTest::addRow("orientation %d, full size", o)
            << o << QSize(1000, 1000) << (sideways ? QSize(320, 480) : QSize(480, 320));
        QTest::addRow("orientation %d, limits of the upright picture", o)
            << o << QSize(400, 320) << (sideways ? QSize(213, 320) : QSize(400, 266));
        QTest::addRow("orientation %d, reduced decode", o)
            << o << QSize(60, 60) << (sideways ? QSize(40, 60) : QSize(60, 40));
    }
}

void TestImagePrep::orientation()
{
    QFETCH(int, orientation);
    QFETCH(QSize, limits);
    QFETCH(QSize, expected);

    // How the corners of the upright picture lie in the stored one, per Exif
    // orientation: which upright corner (0 TL, 1 TR, 2 BL, 3 BR) is stored at
    // the stored TL, TR, BL and BR.
    static const int stored[9][4] = {{},           {0, 1, 2, 3}, {1, 0, 3, 2},
                                     {3, 2, 1, 0}, {2, 3, 0, 1}, {0, 2, 1, 3},
                                     {1, 3, 0, 2}, {3, 1, 2, 0}, {2, 0, 3, 1}};
    const QRgb upright[4] = {TopLeft, TopRight, BottomLeft, BottomRight};
    const QRgb corners[4] = {upright[stored[orientation][0]], upright[stored[orientation][1]],
                             upright[stored[orientation][2]], upright[stored[orientation][3]]};
    const QString path =
        writeFile(dir, QStringLiteral("turned%1.jpg").arg(orientation),
                  withOrientation(jpegBytes(quadrants(QSize(480, 320), corners)), orientation));

    QByteArray out;
    QVERIFY(imageprep::resizeImage(path, &out, limits.width(), limits.height()));
    const QImage result = decodeJpeg(out);
    QCOMPARE(result.size(), expected);
    QVERIFY(cornersMatch(result, upright));

    const QImage thumb = imageprep::thumbnail(path);
    QCOMPARE(thumb.size(), orientation >= 5 ? QSize(66, 100) : QSize(100, 66));
    QVERIFY(cornersMatch(thumb, upright));
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
    if (largeJpeg.isEmpty()) {
        const QImage big = quadrants(QSize(9000, 6000));
        largeJpeg = writeFile(dir, QStringLiteral("large.jpg"), jpegBytes(big, 50));
        QVERIFY(!largeJpeg.isEmpty());
    }
    QImageReader::setAllocationLimit(128);
    QVERIFY2(QImage(largeJpeg).isNull(), "a plain load was expected to refuse this picture");

    QImageReader::setAllocationLimit(128);
    QByteArray out;
    QVERIFY(imageprep::resizeImage(largeJpeg, &out, limits.width(), limits.height()));
    QBuffer buffer(&out);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer); // the header is enough here
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), expected);

    QImageReader::setAllocationLimit(128);
    const QImage thumb = imageprep::thumbnail(largeJpeg);
    QCOMPARE(thumb.size(), QSize(100, 66));
    QVERIFY(cornersMatch(thumb, {TopLeft, TopRight, BottomLeft, BottomRight}));
}

void TestImagePrep::thumbnails_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("expected");

    const QSize box(100, 100);
    QTest::newRow("jpg landscape")
        << QByteArray("jpg") << QSize(3000, 2000) << box << QSize(100, 66);
    QTest::newRow("jpg portrait, ragged edge")
        << QByteArray("jpg") << QSize(1201, 1603) << box << QSize(74, 100);
    QTest::newRow("jpg square") << QByteArray("jpg") << QSize(100, 100) << box << QSize(100, 100);
    QTest::newRow("jpg small, enlarged")
        << QByteArray("jpg") << QSize(50, 25) << box << QSize(100, 50);
    QTest::newRow("png tall and small, enlarged")
        << QByteArray("png") << QSize(10, 40) << box << QSize(25, 100);
    QTest::newRow("png wide box") << QByteArray("png") << QSize(1500, 1000) << QSize(200, 50)
                                  << QSize(75, 50);
    QTest::newRow("gif") << QByteArray("gif") << QSize(300, 200) << box << QSize(100, 66);
}

void TestImagePrep::thumbnails()
{
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(QSize, box);
    QFETCH(QSize, expected);

    const QImage image = quadrants(size);
    const QString path =
        writePicture(dir, QStringLiteral("thumb.") + QString::fromLatin1(format), image, format);
    QVERIFY(!path.isEmpty());

    const QImage fromFile = imageprep::thumbnail(path, box);
    QCOMPARE(fromFile.size(), expected);
    const QImage fromImage = imageprep::thumbnail(image, box);
    QCOMPARE(fromImage.size(), expected);
    if (expected.width() >= 8 && expected.height() >= 8) {
        QVERIFY(cornersMatch(fromFile, {TopLeft, TopRight, BottomLeft, BottomRight}));
        QVERIFY(cornersMatch(fromImage, {TopLeft, TopRight, BottomLeft, BottomRight}));
    }
}

void TestImagePrep::thumbnailFailures()
{
    QVERIFY(imageprep::thumbnail(QImage()).isNull());
    QVERIFY(imageprep::thumbnail(quadrants(QSize(40, 40)), QSize(0, 0)).isNull());
    const QString path =
        writePicture(dir, QStringLiteral("box.png"), quadrants(QSize(40, 40)), "png");
    QVERIFY(imageprep::thumbnail(path, QSize(0, 100)).isNull());
}

QTEST_GUILESS_MAIN(TestImagePrep)
#include "tst_imageprep.moc"
