// Picture preparation: sizes, formats, orientation, failures and thumbnails, on
// pictures written into a temporary directory and decoded back.

#include "support/pictures.h"
#include "worker/imageprep.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QRgb Upright[4] = {0xffdc1e1e, 0xff1ec81e, 0xff1e1edc, 0xfff0f0f0};

// Four flat quarters, top left, top right, bottom left, bottom right.
QImage quadrants(const QSize& size, const QRgb* colours = Upright)
{
    QImage corners(2, 2, QImage::Format_RGB32);
    for (int i = 0; i < 4; ++i)
        corners.setPixel(i % 2, i / 2, colours[i]);
    return corners.scaled(size);
}

// One-pixel black and white stripes (even width): a careless scaler makes bands of them.
QImage stripes(const QSize& size)
{
    const QByteArray pixels = QByteArray("\0\xff", 2).repeated(size.width() * size.height() / 2);
    return QImage(reinterpret_cast<const uchar*>(pixels.constData()), size.width(), size.height(),
                  size.width(), QImage::Format_Grayscale8)
        .convertToFormat(QImage::Format_RGB32);
}

// Mean absolute difference per channel of two pictures of the same size.
double difference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    qint64 sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < 3 * x.width(); ++i)
            sum += qAbs(x.constScanLine(row)[i] - y.constScanLine(row)[i]);
    return double(sum) / (3.0 * x.width() * x.height());
}

// True when the picture shows the quadrants the right way up.
const auto upright = [](const QImage& i) { return difference(i, quadrants(i.size())) < 12; };

// A small PNG file declaring a w x h RGB picture, with only its first row.
QByteArray pngHeader(int w, int h)
{
    const auto be32 = [](quint32 v) {
        return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
    };
    const auto chunk = [&](const QByteArray& type, const QByteArray& data) {
        quint32 crc = 0xffffffffu;
        for (char ch : type + data)
            for (int k = (crc ^= quint8(ch), 0); k < 8; ++k)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        return be32(data.size()) + type + data + be32(~crc);
    };
    return QByteArray("\x89PNG\r\n\x1a\n") +
           chunk("IHDR", be32(w) + be32(h) + QByteArray("\x08\x02\0\0\0", 5)) +
           chunk("IDAT", qCompress(QByteArray(1 + 3 * w, '\0')).mid(4)) + chunk("IEND", {});
}

// quadrants({16, 16}) as a GIF file (four colours, LZW), which Qt reads but cannot write.
const QByteArray gif16 = QByteArray::fromHex(
    "47494638396110001000810000dc1e1e1ec81e1e1edcf0f0f02c000000001000100000022a846fa1ab88"
    "ccdc814b261a2cc0d972fd79984096e480a6a869aa2a5bba297cca032dd837ade33d6f2b00003b");

// The quadrants as an SVG drawing of nominal size %1 x %2, stretched to it.
const char svgText[] =
    "<svg xmlns='http://www.w3.org/2000/svg' width='%1' height='%2' viewBox='0 0 2 2' "
    "preserveAspectRatio='none'><rect width='1' height='1' fill='#dc1e1e'/><rect x='1' "
    "width='1' height='1' fill='#1ec81e'/><rect y='1' width='1' height='1' fill='#1e1edc'/>"
    "<rect x='1' y='1' width='1' height='1' fill='#f0f0f0'/></svg>";

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Writes `image` to `path` in the format its suffix names (GIF: 16 x 16 quadrants only).
bool writePicture(const QString& path, const QImage& image)
{
    if (path.endsWith(".svg"))
        return writeFile(path, QString(svgText).arg(image.width()).arg(image.height()).toUtf8());
    if (path.endsWith(".gif"))
        return image == quadrants({16, 16}) && writeFile(path, gif16);
    return path.endsWith(".jpg") ? writeFile(path, pictures::jpeg(image))
                                 : pictures::write(image, path);
}

} // namespace

class TestImagePrep : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void resize_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("limits");
        QTest::addColumn<QSize>("expected");
        QTest::addColumn<QSize>("thumb"); // with the limits as its box
        const auto row = [](const char* name, const char* format, QSize size, QSize limits,
                            QSize expected, QSize thumb) {
            QTest::newRow(name) << QByteArray(format) << size << limits << expected << thumb;
        };
        row("jpg landscape", "jpg", {3000, 2000}, {800, 600}, {800, 533}, {800, 533});
        row("jpg portrait", "jpg", {2000, 3000}, {800, 600}, {400, 600}, {400, 600});
        row("jpg only too wide", "jpg", {900, 100}, {800, 600}, {800, 88}, {800, 88});
        row("jpg exactly the limits", "jpg", {800, 600}, {800, 600}, {800, 600}, {800, 600});
        row("jpg one pixel over", "jpg", {801, 600}, {800, 600}, {800, 599}, {800, 599});
        row("jpg smaller, never enlarged", "jpg", {300, 200}, {800, 600}, {300, 200}, {800, 533});
        row("jpg eighth, ragged edge", "jpg", {6403, 4805}, {400, 300}, {399, 300}, {399, 300});
        row("jpg fine stripes", "jpg", {1000, 750}, {400, 300}, {400, 300}, {400, 300});
        row("png", "png", {1200, 900}, {800, 600}, {800, 600}, {800, 600});
        row("png wide box", "png", {1500, 1000}, {200, 50}, {75, 50}, {75, 50});
        row("png tall and small", "png", {60, 80}, {100, 100}, {60, 80}, {75, 100});
        row("png sliver keeps a row", "png", {2000, 10}, {100, 100}, {100, 1}, {100, 1});
        row("gif", "gif", {16, 16}, {100, 100}, {16, 16}, {100, 100});
        row("svg larger, drawn at the limits", "svg", {300, 150}, {100, 100}, {100, 50}, {100, 50});
        row("svg smaller, at its size", "svg", {300, 150}, {800, 600}, {300, 150}, {800, 400});
    }

    // The file and the same picture in memory both come out as JPEG of the expected size,
    // and look like the plain way (full decode, smooth scaling, JPEG at the default quality):
    // no shift, crop, banding or lost colour. Thumbnails fit the box, enlarged if need be.
    void resize()
    {
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QFETCH(QSize, limits);
        QFETCH(QSize, expected);
        QFETCH(QSize, thumb);
        const bool striped = QByteArray(QTest::currentDataTag()).contains("stripes");
        const QImage image = striped ? stripes(size) : quadrants(size);
        const QImage before = image.copy();
        const QString path = dir.filePath("picture." + format);
        QVERIFY(writePicture(path, image));

        QByteArray fromFile, fromMemory;
        QVERIFY(imageprep::resizeImage(path, &fromFile, limits.width(), limits.height()));
        QVERIFY(
            imageprep::resizeImageFromQImage(&image, &fromMemory, limits.width(), limits.height()));
        QCOMPARE(image, before); // the caller's picture is left as it was
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() != fromFile); // always re-encoded
        const QImage plain =
            QImage(path).scaled(expected, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage reference = QImage::fromData(pictures::jpeg(plain, -1), "JPG");
        for (const QByteArray& out : {fromFile, fromMemory}) {
            const QImage result = QImage::fromData(out, "JPG");
            QCOMPARE(result.size(), expected);
            const double d = difference(result, reference);
            QVERIFY2(d < 2.0, qPrintable(QString("mean difference %1").arg(d)));
        }
        for (const QImage& t :
             {imageprep::thumbnail(path, limits), imageprep::thumbnail(image, limits)}) {
            QCOMPARE(t.size(), thumb);
            QVERIFY(striped || qMin(thumb.width(), thumb.height()) < 8 || upright(t));
        }
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // of the file; a null array: no file at all
        QTest::addColumn<QSize>("limits");
        const QSize box(800, 600);
        const QByteArray jpeg = pictures::jpeg(quadrants({2400, 1600}));
        QTest::newRow("missing") << QByteArray() << box;
        QTest::newRow("empty") << QByteArray("") << box;
        QTest::newRow("not a picture") << QByteArray("just some text, no picture\n") << box;
        QTest::newRow("cut after the header") << jpeg.left(20) << box;
        QTest::newRow("png declaring 20000x20000") << pngHeader(20000, 20000) << box;
        QTest::newRow("png just over the pixel ceiling") << pngHeader(11586, 11586) << box;
        QTest::newRow("limits 0") << jpeg << QSize(0, 0);
        QTest::newRow("width 0") << jpeg << QSize(0, 600);
        QTest::newRow("height 0") << jpeg << QSize(800, 0);
        QTest::newRow("negative limits") << jpeg << QSize(-1, -1);
    }

    // Nothing comes out, for the file or for the picture read from it (none for a missing
    // file), and the refusal is quick, even for a huge declared size. Encoding at the
    // picture's own size knows no limits.
    void failures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, limits);
        const QString path = dir.filePath(QTest::currentDataTag());
        QVERIFY(bytes.isNull() || writeFile(path, bytes));
        const QImage decoded = QImage::fromData(bytes);
        const QImage* image = bytes.isNull() ? nullptr : &decoded;
        const char* failure = decoded.isNull() ? ": image size 0" : "img could not be converted";
        const QByteArray trace = QString("\"%1\" : image size 0").arg(path).toUtf8();

        QByteArray out;
        const QDeadlineTimer deadline(2000);
        QTest::ignoreMessage(QtDebugMsg, "resizeImage");
        QTest::ignoreMessage(QtDebugMsg, decoded.isNull() ? trace.constData() : failure);
        QVERIFY(!imageprep::resizeImage(path, &out, limits.width(), limits.height()));
        QVERIFY(imageprep::thumbnail(path, limits).isNull());
        QVERIFY2(!deadline.hasExpired(), "the refusal took more than 2 s");
        QTest::ignoreMessage(QtDebugMsg, failure);
        QVERIFY(!imageprep::resizeImageFromQImage(image, &out, limits.width(), limits.height()));
        QVERIFY(imageprep::thumbnail(decoded, limits).isNull());
        QCOMPARE(imageprep::saveImage(image, &out), !decoded.isNull());
        QCOMPARE(QImage::fromData(out, "JPG").size(), decoded.size());
    }

    void orientation_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("limits");
        QTest::addColumn<QSize>("expected");
        // Stored 480 x 320; orientations 5 to 8 stand it on its side. The limits apply
        // to the upright picture, and the small ones let the decoder reduce.
        for (int o = 1; o <= 8; ++o) {
            QTest::addRow("%d, full size", o)
                << o << QSize(1000, 1000) << (o >= 5 ? QSize(320, 480) : QSize(480, 320));
            QTest::addRow("%d, limited", o)
                << o << QSize(100, 90) << (o >= 5 ? QSize(60, 90) : QSize(100, 66));
        }
    }

    void orientation()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, limits);
        QFETCH(QSize, expected);
        // Which upright corner lies at each stored corner, per Exif orientation.
        static const int stored[9][4] = {{},           {0, 1, 2, 3}, {1, 0, 3, 2},
                                         {3, 2, 1, 0}, {2, 3, 0, 1}, {0, 2, 1, 3},
                                         {1, 3, 0, 2}, {3, 1, 2, 0}, {2, 0, 3, 1}};
        const int* s = stored[orientation];
        const QRgb corners[4] = {Upright[s[0]], Upright[s[1]], Upright[s[2]], Upright[s[3]]};
        const QImage picture = quadrants({480, 320}, corners);
        const QString path = dir.filePath("turned.jpg");
        QVERIFY(writeFile(path, pictures::withOrientation(pictures::jpeg(picture), orientation)));
        QByteArray out;
        QVERIFY(imageprep::resizeImage(path, &out, limits.width(), limits.height()));
        const QImage result = QImage::fromData(out, "JPG");
        QCOMPARE(result.size(), expected);
        QVERIFY(upright(result));
        const QImage thumb = imageprep::thumbnail(path);
        QCOMPARE(thumb.size(), orientation >= 5 ? QSize(66, 100) : QSize(100, 66));
        QVERIFY(upright(thumb));
    }

    // 54 MP: above what Qt decodes by default (128 MB at 4 bytes a pixel).
    void largePhoto()
    {
        const QString path = dir.filePath("large.jpg");
        QVERIFY(writeFile(path, pictures::jpeg(quadrants({9000, 6000}), 50)));
        QImageReader::setAllocationLimit(128);
        QVERIFY2(QImage(path).isNull(), "a plain load was expected to refuse this picture");
        QByteArray out;
        QVERIFY(imageprep::resizeImage(path, &out, 9000, 6000));
        QCOMPARE(QImage::fromData(out, "JPG").size(), QSize(9000, 6000));
        QImageReader::setAllocationLimit(128);
        const QImage thumb = imageprep::thumbnail(path);
        QCOMPARE(thumb.size(), QSize(100, 66));
        QVERIFY(upright(thumb));
    }
};

QTEST_GUILESS_MAIN(TestImagePrep)
#include "tst_imageprep.moc"
