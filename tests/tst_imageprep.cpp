// Picture preparation: sizes, formats, orientation, metadata, failures and thumbnails,
// on pictures written into a temporary directory and decoded back.

#include "core/history/contenthash.h"
#include "core/pictures/imageprep.h"
#include "core/pictures/jpegencoder.h"
#include "core/pictures/resample.h"
#include "support/pictures.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <thread>

using namespace pictures;
using imageprep::Prepared;
using imageprep::Preparer;

// True when the picture shows the quadrants (in `colours`) the right way up.
static bool upright(const QImage& i, const QRgb* colours = Quadrants)
{
    return difference(i, quadrants(i.size(), colours)) < 12;
}

// The colours to store at the corners so that Exif `orientation` shows `colours` upright.
static QList<QRgb> stored(int orientation, const QRgb* colours = Quadrants)
{
    const char* at = "01231032321023010213130231202031" + 4 * (orientation - 1); // per corner
    return {colours[at[0] - '0'], colours[at[1] - '0'], colours[at[2] - '0'], colours[at[3] - '0']};
}

// Mean squared difference per channel of two pictures of the same size.
static double squared(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int i = 0; i < 3 * x.width(); ++i)
            sum += std::pow(x.constScanLine(row)[i] - y.constScanLine(row)[i], 2);
    return sum / (3.0 * x.width() * x.height());
}

// Left half `left`, right half `right`.
static QImage halves(const QSize& size, QRgb left, QRgb right, QImage::Format format)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(right);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixel(x, y, left);
    return image.convertToFormat(format);
}

class TestImagePrep : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;
    imageprep::Preparer preparer; // one for all: nothing of one picture may reach the next

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
        row("jpg exactly the limits", "jpg", {800, 600}, {800, 600}, {800, 600}, {800, 600});
        row("jpg one pixel over", "jpg", {801, 600}, {800, 600}, {800, 599}, {800, 599});
        row("jpg smaller, never enlarged", "jpg", {300, 200}, {800, 600}, {300, 200}, {800, 533});
        row("jpg eighth, ragged edge", "jpg", {6403, 4805}, {400, 300}, {399, 300}, {399, 300});
        row("jpg fine stripes", "jpg", {1000, 750}, {400, 300}, {400, 300}, {400, 300});
        row("jpg in CMYK", "jpg", {3000, 2000}, {800, 600}, {800, 533}, {800, 533});
        row("jpg grey", "jpg", {3000, 2000}, {800, 600}, {800, 533}, {800, 533});
        row("png sliver keeps a row", "png", {2000, 10}, {100, 100}, {100, 1}, {100, 1});
        row("gif header 20x20, screen 28672x20", "gif", {20, 20}, {100, 90}, {100, 1}, {100, 1});
        row("svg larger, drawn at the limits", "svg", {300, 150}, {100, 100}, {100, 50}, {100, 50});
        row("svg smaller, at its size", "svg", {300, 150}, {800, 600}, {300, 150}, {800, 400});
    }

    // The file and the picture read from it both come out as JPEG of the expected size,
    // and look like the plain way (full decode, smooth scaling, JPEG at the default quality):
    // no shift, crop, banding or lost colour. Thumbnails fit the box, enlarged if need be.
    // GIF and SVG files carry nothing Exiv2 reads: they go without metadata.
    void resize()
    {
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        QFETCH(QSize, limits);
        QFETCH(QSize, expected);
        QFETCH(QSize, thumb);
        const QByteArray tag = QTest::currentDataTag();
        QImage drawn = tag.contains("stripes") ? stripes(size) : quadrants(size);
        if (tag.contains("grey"))
            drawn.convertTo(QImage::Format_Grayscale8);
        const QString path = dir.filePath("picture." + format);
        QVERIFY(format == "svg"          ? writeFile(path, svg(size))
                : tag.contains("screen") ? writeFile(path, gif(drawn, {28672, 20}))
                : tag.contains("CMYK")   ? writeFile(path, cmykJpeg(drawn))
                                         : write(drawn, path));
        const QImage image(path);
        const imageprep::Options options{limits.width(), limits.height()};
        const Prepared fromFile = preparer.prepareFile(path, options, true);
        const Prepared fromMemory = preparer.prepareImage(image, options, true);
        QCOMPARE(fromFile.size, expected);
        QCOMPARE(fromFile.thumbnail.size(), imageprep::fitWithin(expected, {100, 100}));
        QImage scaled = image.scaled(expected, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (tag.contains("stripes"))
            scaled.fill(qRgb(128, 128, 128)); // what is left of them: grey, not bands
        QByteArray encoded;
        QVERIFY(jpegencoder::encode(scaled, -1, &encoded));
        const QImage reference = QImage::fromData(encoded);
        for (const QByteArray& out : {fromFile.bytes, fromMemory.bytes}) {
            const QImage result = QImage::fromData(out, "JPG");
            QCOMPARE(result.size(), expected);
            QCOMPARE(result.format(), image.format() == QImage::Format_Grayscale8
                                          ? QImage::Format_Grayscale8
                                          : QImage::Format_RGB32);
            const double d = difference(result, reference);
            QVERIFY2(d < 2.0, qPrintable(QString("mean difference %1").arg(d)));
        }
        for (const QImage& t :
             {imageprep::thumbnail(path, limits), imageprep::thumbnail(image, limits)}) {
            QCOMPARE(t.size(), thumb);
            QVERIFY(tag.contains("stripes") || tag.contains("screen") || tag.contains("grey") ||
                    upright(t));
        }
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // of the file; a null array: no file at all
        QTest::addColumn<QSize>("limits");
        QTest::addColumn<int>("failure");
        const QSize box(800, 600);
        const QByteArray photo = jpeg(quadrants({2400, 1600}));
        const int unreadable = Prepared::Unreadable, tooLarge = Prepared::TooLarge;
        QTest::newRow("missing") << QByteArray() << box << unreadable;
        QTest::newRow("empty") << QByteArray("") << box << unreadable;
        QTest::newRow("not a picture") << QByteArray("no picture\n") << box << unreadable;
        QTest::newRow("cut after the header") << photo.left(20) << box << unreadable;
        QTest::newRow("png declaring 20000x20000") << pngHeader(20000, 20000) << box << tooLarge;
        QTest::newRow("png over the pixel ceiling") << pngHeader(11586, 11586) << box << tooLarge;
        QTest::newRow("limits 0") << photo << QSize(0, 0) << int(Prepared::EncodeFailed);
        QTest::newRow("negative limits") << photo << QSize(-1, -1) << int(Prepared::EncodeFailed);
    }

    // Nothing comes out, for the file or for the picture read from it, with the
    // kind of failure the worker reports; a huge declared size is refused
    // before decoding. Encoding at the picture's own size knows no limits.
    void failures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, limits);
        QFETCH(int, failure);
        const QString path = dir.filePath(QTest::currentDataTag());
        QVERIFY(bytes.isNull() || writeFile(path, bytes));
        const QImage decoded = QImage::fromData(bytes);
        const imageprep::Options options{limits.width(), limits.height()};
        const Prepared fromFile = preparer.prepareFile(path, options, true);
        QVERIFY(fromFile.failure == failure && fromFile.bytes.isEmpty());
        QVERIFY(imageprep::quickThumbnail(path, limits).isNull());
        QVERIFY(!decoded.isNull() ||
                imageprep::decodeCost(path, {}) == imageprep::UnknownDecodeCost);
        QVERIFY(preparer.prepareImage(decoded, options, true).bytes.isEmpty());
        const Prepared atItsSize = preparer.prepareImage(decoded, options, false);
        QCOMPARE(QImage::fromData(atItsSize.bytes, "JPG").size(), decoded.size());
    }

    void camera_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("limits");
        QTest::addColumn<QSize>("expected");
        QTest::addColumn<qint64>("cost"); // bytes of pixels at the peak, besides the file's
        // Stored 480 x 320; orientations 5 to 8 stand it on its side. The limits apply to
        // the upright picture. Full size, a quarter turn copies the decoded picture (mirroring
        // works in place) and the encoder's planes take 5 bytes a pixel; limited, the decoder
        // reduces to three eighths, 180 x 120, over 1.4 times 80 x 53 (a quarter would need
        // twice), and the peak is while scaling. Limited ones keep the location.
        for (int o = 1; o <= 8; ++o) {
            QTest::addRow("%d, full size", o)
                << o << QSize(1000, 1000) << (o >= 5 ? QSize(320, 480) : QSize(480, 320))
                << 4 * 153600LL * (o >= 5 ? 2 : 1) + 5 * 153600LL;
            QTest::addRow("%d, limited", o)
                << o << QSize(80, 80) << (o >= 5 ? QSize(53, 80) : QSize(80, 53))
                << 4 * (21600LL + 4240);
        }
    }

    // A camera's photo with date, camera, location, maker note, colour profile and a
    // letterboxed thumbnail in other colours, prepared at once on several threads.
    void camera()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, limits);
        QFETCH(QSize, expected);
        QFETCH(qint64, cost);
        const QRgb other[4] = {0xff000080, 0xff808000, 0xff008080, 0xffff00ff};
        QImage photo = quadrants({480, 320}, stored(orientation).data());
        photo.setColorSpace(QColorSpace::AdobeRgb);
        const QImage thumb =
            quadrants({160, 106}, stored(orientation, other).data()).copy(0, -7, 160, 120);
        const QStringList tags = QString("Exif.Image.Orientation=%1;Exif.Image.Make=Acme;"
                                         "Exif.Photo.DateTimeOriginal=2023:07:14 18:30:05;"
                                         "Exif.Image.Model=Shooter 5;Exif.Photo.MakerNote=1 2 3;"
                                         "Exif.GPSInfo.GPSLatitude=48/1 8/1 0/1")
                                     .arg(orientation)
                                     .split(';');
        const QString path = dir.filePath("camera.jpg");
        QVERIFY(writeFile(path, withMetadata(jpeg(photo), tags, jpeg(thumb))));
        imageprep::Options options{limits.width(), limits.height(), -1, limits.width() < 100};
        options.hashSource = true;
        QCOMPARE(imageprep::decodeCost(path, options), cost + QFileInfo(path).size());
        QList<QByteArray> results(3);
        std::vector<std::thread> threads;
        for (QByteArray& r : results)
            threads.emplace_back([&] { r = Preparer().prepareFile(path, options, 1).bytes; });
        const Prepared prepared = preparer.prepareFile(path, options, true);
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(results, QList<QByteArray>(3, prepared.bytes));
        QCOMPARE(prepared.sourceHash, history::hashOfFile(path)); // read whole or in pieces
        const QImage result = QImage::fromData(prepared.bytes, "JPG");
        QCOMPARE(result.size(), expected);
        QVERIFY(upright(result) && upright(prepared.thumbnail));
        QCOMPARE(result.colorSpace(), QColorSpace(QColorSpace::AdobeRgb));
        options.quality = 100;
        QVERIFY(preparer.prepareFile(path, options, 1).bytes.size() > prepared.bytes.size());

        QStringList back = exifTags(prepared.bytes);
        QCOMPARE(back.filter("GPSTag=").size(), int(options.keepLocation));
        back.removeIf([](const QString& tag) { return tag.contains("Tag="); }); // IFD pointers
        QStringList kept = tags.mid(1, 3) << "Exif.Image.Orientation=1"
                                          << (options.keepLocation ? tags.mid(5) : QStringList());
        kept.sort();
        QCOMPARE(back, kept);

        const QImage quick = imageprep::quickThumbnail(path);
        QCOMPARE(quick.size(), orientation >= 5 ? QSize(66, 100) : QSize(100, 66));
        QVERIFY(upright(quick, other)); // the embedded one, without its bars
        QVERIFY(upright(imageprep::quickThumbnail(path, {300, 300}))); // too small: decoded
    }

    void leaks_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("tags"); // added with Exiv2, besides profile and text
        const QString secret = "Comment=Secret note", place = "Xmp.exif.GPSLatitude=48,8.123N";
        QTest::newRow("jpeg comment, XMP location") << "jpg" << QStringList{secret, place};
        QTest::newRow("png text, XMP location") << "png" << QStringList{secret, place};
        QTest::newRow("tiff description") << "tif" << QStringList();
    }

    // A picture with a colour profile and private text, then one of the same size and format
    // without either, through one Preparer, location asked to be kept: each arrives with its
    // own profile or none, and no text or XMP rides along, from the file or the decoder.
    void leaks()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, tags);
        QImage carrier = quadrants({480, 320});
        carrier.setColorSpace(QColorSpace::AdobeRgb);
        carrier.setText("Description", "Secret note"); // the encoder writes it (JPEG, TIFF)
        const QString a = dir.filePath("a." + format), b = dir.filePath("b." + format);
        QVERIFY(write(carrier, a) && write(quadrants({480, 320}), b));
        QVERIFY(tags.isEmpty() || writeFile(a, withMetadata(readFile(a), tags)));
        for (const QString& path : {a, b}) {
            const Prepared p = preparer.prepareFile(path, {400, 400, -1, true}, true);
            QCOMPARE(QImage::fromData(p.bytes).colorSpace().isValid(), path == a);
            for (const char* text : {"Secret", "8.123", "ns.adobe.com"})
                QVERIFY2(!p.bytes.contains(text), text); // no comment, no XMP
        }
    }

    void budget_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<qint64>("cost"); // of a 1000 x 500 PNG limited to 100 x 100
        // The decoded picture (turned into 8 bits in its own memory) and the scaled one.
        QTest::newRow("16-bit RGB") << int(QImage::Format_RGBX64) << 8 * 500000LL + 4 * 5000;
        QTest::newRow("8-bit RGBA") << int(QImage::Format_ARGB32) << 4 * 505000LL;
        // Not in place: the decoded picture, the filter's copy, the scaled one.
        QTest::newRow("16-bit grey")
            << int(QImage::Format_Grayscale16) << 2 * 500000LL + 4 * 505000;
    }

    // The cost counts the bytes the decoder really hands back and the working copy; within
    // the budget the picture is prepared, beyond it refused before decoding, with numbers.
    void budget()
    {
        QFETCH(int, format);
        QFETCH(qint64, cost);
        const QString path = dir.filePath("deep.png");
        QVERIFY(quadrants({1000, 500}).convertToFormat(QImage::Format(format)).save(path));
        imageprep::Options options{100, 100};
        QCOMPARE(imageprep::decodeCost(path, options), cost);
        options.memoryBudget = cost;
        QCOMPARE(preparer.prepareFile(path, options, true).size, QSize(100, 50));
        options.memoryBudget = cost - 1;
        const Prepared refused = preparer.prepareFile(path, options, true);
        QVERIFY(refused.failure == Prepared::TooLarge && refused.bytes.isEmpty() &&
                refused.needed == cost && refused.allowed == cost - 1);
    }

    void encoder_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<int>("quality");
        QImage photo(331, 217, QImage::Format_RGB32); // partial blocks at both edges
        quint32 noise = 1;
        for (int y = 0; y < photo.height(); ++y) // soft colours, sharp lines, a sensor's grain
            for (int x = 0; x < photo.width(); ++x) {
                noise = noise * 1664525u + 1013904223u;
                const int n = int(noise >> 28) - 8 + (x % 41 < 2 || y % 29 < 2 ? -60 : 0);
                const auto wave = [n](double v) {
                    return qBound(0, int(128 + 90 * std::sin(v)) + n, 255);
                };
                photo.setPixel(x, y,
                               qRgb(wave(x / 23.0), wave(y / 17.0 + 1), wave((x + y) / 31.0 + 2)));
            }
        QImage profiled = photo;
        profiled.setColorSpace(QColorSpace::AdobeRgb);
        QTest::newRow("photo, default quality") << photo << -1;
        QTest::newRow("photo, quality 95") << photo << 95;
        QTest::newRow("photo, quality 20") << photo << 20;
        QTest::newRow("grey") << photo.convertToFormat(QImage::Format_Grayscale8) << -1;
        QTest::newRow("colour profile") << profiled << -1;
        QTest::newRow("translucent")
            << halves({40, 30}, 0x80ff0000, 0xff00ff00, QImage::Format_ARGB32) << -1;
        QTest::newRow("one pixel") << photo.copy(3, 3, 1, 1) << -1;
        QTest::newRow("one column") << photo.copy(3, 3, 1, 40) << 90;
        QTest::newRow("too wide") << QImage(65501, 1, QImage::Format_RGB32) << -1;
    }

    // A JPEG of the picture's size, grey as grey, with its colour profile. Against Qt's
    // writer at the same quality with Huffman tables optimised: at the default quality at
    // least 2% fewer bytes, at others at most 1% more, and at most 3% more squared error
    // (0.13 dB). JPEG's limit of 65500 pixels a side is refused.
    void encoder()
    {
        QFETCH(QImage, image);
        QFETCH(int, quality);
        QByteArray ours;
        QCOMPARE(jpegencoder::encode(image, quality, &ours), image.width() <= 65500);
        if (image.width() > 65500) {
            QVERIFY(ours.isEmpty());
            return;
        }
        const QImage back = QImage::fromData(ours, "JPG");
        QCOMPARE(back.size(), image.size());
        QCOMPARE(back.format() == QImage::Format_Grayscale8,
                 image.format() == QImage::Format_Grayscale8);
        QCOMPARE(back.colorSpace(), image.colorSpace());
        if (image.width() < 100)
            return;
        QByteArray theirs;
        QBuffer buffer(&theirs);
        QImageWriter writer(&buffer, "JPG");
        writer.setQuality(quality);
        writer.setOptimizedWrite(true);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && writer.write(image));
        const double bytes = double(ours.size()) / theirs.size();
        const double error = squared(back, image) / squared(QImage::fromData(theirs), image);
        QVERIFY2(bytes <= (quality < 0 ? 0.98 : 1.01) && error <= 1.03,
                 qPrintable(QString("bytes x%1, squared error x%2").arg(bytes).arg(error)));
    }

    void lanczos_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QSize>("size");
        const QRgb black = 0xff000000, white = 0xffffffff;
        QTest::newRow("shrunk 2.4 times")
            << halves({360, 20}, black, white, QImage::Format_RGB32) << QSize(150, 8);
        QTest::newRow("enlarged") << halves({8, 4}, black, white, QImage::Format_RGB888)
                                  << QSize(20, 10);
        QTest::newRow("grey") << halves({64, 64}, black, white, QImage::Format_Grayscale8)
                              << QSize(32, 3);
        QTest::newRow("translucent")
            << halves({64, 4}, 0x40ff8000, 0xc00080ff, QImage::Format_ARGB32) << QSize(24, 4);
        QTest::newRow("fewer pixels than taps")
            << halves({4, 1}, black, white, QImage::Format_RGB32) << QSize(4, 1);
    }

    // A plain area keeps its colour exactly; the step between the halves stays in the
    // middle; grey stays grey, translucent pictures stay valid premultiplied ones.
    void lanczos()
    {
        QFETCH(QImage, image);
        QFETCH(QSize, size);
        const QImage out = resample::lanczos(image, size);
        QCOMPARE(out.size(), size);
        QCOMPARE(out.format(), image.format() == QImage::Format_Grayscale8
                                   ? QImage::Format_Grayscale8
                               : image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
        const QImage in = image.convertToFormat(out.format());
        const QRgb left = in.pixel(0, 0), right = in.pixel(in.width() - 1, 0);
        for (int y = 0; y < size.height(); ++y) {
            double sum = 0;
            for (int x = 0; x < size.width(); ++x) {
                const QRgb p = out.pixel(x, y);
                sum += qGreen(p);
                if (x < size.width() / 8)
                    QCOMPARE(p, left);
                if (x >= size.width() * 7 / 8)
                    QCOMPARE(p, right);
                QVERIFY(qRed(p) <= qAlpha(p) && qGreen(p) <= qAlpha(p) && qBlue(p) <= qAlpha(p));
            }
            QVERIFY(qAbs(sum / size.width() - (qGreen(left) + qGreen(right)) / 2.0) < 1);
        }
    }

    // 34 MP at its size: more than Qt decodes by default (128 MB at 4 bytes a pixel).
    void largePhoto()
    {
        const QString path = dir.filePath("large.jpg");
        QVERIFY(writeFile(path, jpeg(quadrants({8192, 4200}), 50)));
        QImageReader::setAllocationLimit(128);
        QCOMPARE(preparer.prepareFile(path, {8192, 4200}, true).size, QSize(8192, 4200));
    }
};

QTEST_GUILESS_MAIN(TestImagePrep)
#include "tst_imageprep.moc"
