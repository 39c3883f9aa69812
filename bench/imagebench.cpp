// Picture preparation benchmark.
//
//   imagebench generate <out.jpg|out.ppm> <width> <height> [quality] [seed]
//       Draws a photo-like test picture (sky, soft shapes, fine patterns,
//       sensor-like noise) and writes it as JPEG (or in the format the name's
//       suffix names); `seed` varies the scene.
//   imagebench prepare [--limits WxH] [--before] <dir> files...
//       Writes what Preparer::prepareFile sends for each file into <dir>, under
//       the file's name; with --before, what the preparation before the Lanczos
//       filter and the tuned JPEG writer sent (Qt's smooth scaling and JPEG
//       writer at its default quality).
//   imagebench quality --sent tool=dir[,tool=dir...] files...
//       Bytes per picture, PSNR and SSIM of each tool's pictures (in its dir,
//       named as the file, or with a prefix ending in "_") against a Lanczos3
//       downscale of the full decode, turned upright (ImageMagick's -filter
//       Lanczos; $CONVERT or /usr/bin/convert), the bytes as a multiple of the
//       tool named vipsthumbnail's, and how many of them are metadata (Exif,
//       colour profile, XMP, comments).
//   imagebench [--runs N] [--limits WxH] [--box N] [--batch a,b] [--batch-files f,g] files...
//       For every file and every case runs a fresh child process and prints
//       the median wall time of N runs and the peak memory above the idle
//       child; then the batch comparison.
//   imagebench measure <case> <file> [--runs N] [--limits WxH] [--box N]
//   imagebench batch <count> <file,file,...> [--limits WxH]
//       The child side; prints one line "ms=<median> cpu=<median> peak_kb=<kb> out=<WxH>".
//       The batch prepares the files in turn with one Preparer, as a worker thread does.
//
// Peak memory is the child's peak resident size (reset through
// /proc/self/clear_refs after start-up) less its resident size when idle.
//
// Cases: plain-resize (QImage(path), scaled smooth, JPEG default quality),
// resize-2x (the preparation before decodes were planned at 1.5x the result:
// reduced JPEG decode giving at least twice the result, smooth scaling, JPEG,
// no metadata), resize (a fresh imageprep::Preparer: the preparation as it is),
// plain-thumb (QImage(path), scaled fast), thumb (imageprep::thumbnail, a
// reduced decode), quick-thumb (imageprep::quickThumbnail: the embedded Exif
// thumbnail when there is one).

#include "core/pictures/imageprep.h"
#include "core/pictures/metadata.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QProcess>
#include <QRadialGradient>
#include <QTemporaryDir>
#include <QTransform>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Options
{
    int runs = 5;
    QSize limits{1000, 1000};
    int box = 100;
    QList<int> batches{5, 100};
    QStringList batchFiles;
    QStringList files;
};

// --- memory -----------------------------------------------------------------------

long statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Resets the peak resident size to the current one (Linux 4.0 and later).
bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

// Loads the image plug-ins and touches the code paths once on a tiny picture,
// so that the idle figure includes what any use of Qt's image I/O costs.
void warmUp()
{
    QImage tiny(64, 48, QImage::Format_RGB32);
    tiny.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    tiny.save(&buffer, "JPG");
    buffer.close();
    QImage back = QImage::fromData(bytes, "JPG");
    back = back.scaled(32, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// CPU time of the whole process, in milliseconds: unlike wall time it does
// not grow when other programs compete for the processor.
double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

QString sizeText(const QSize& s)
{
    return QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
}

QSize parseSize(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return QSize();
    return QSize(parts[0].toInt(), parts[1].toInt());
}

// --- the cases --------------------------------------------------------------------

// Decodes a JPEG photo the way the preparation does, reduced by libjpeg to the
// smallest scale giving at least `factor` times `target` in each direction
// (factor 0: the full picture), from the file's bytes in memory.
QImage reducedDecode(const QString& file, const QSize& target, double factor)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QImage();
    QByteArray bytes = f.readAll();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    const QSize stored = reader.size();
    if (factor > 0) {
        const QSize atLeast(int(std::ceil(target.width() * factor)),
                            int(std::ceil(target.height() * factor)));
        int denom = 8;
        while (denom > 1 && (stored.width() / denom < atLeast.width() ||
                             stored.height() / denom < atLeast.height()))
            denom /= 2;
        if (denom > 1) {
            const QSize reduced(stored.width() / denom, stored.height() / denom);
            reader.setClipRect(QRect(QPoint(0, 0), reduced * denom));
            reader.setScaledSize(reduced);
        }
    }
    return reader.read();
}

QByteArray encodeJpeg(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", -1);
    return bytes;
}

// One run of a case; returns the size of what came out (invalid on failure).
QSize runCase(const QString& name, const QString& file, const Options& o)
{
    if (name == QLatin1String("plain-resize")) {
        QImage image(file);
        if (image.isNull())
            return QSize();
        if (image.width() > o.limits.width() || image.height() > o.limits.height())
            image = image.scaled(o.limits, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "JPG", -1))
            return QSize();
        return image.size();
    }
    if (name == QLatin1String("resize-2x")) {
        QImageReader probe(file);
        const QSize stored = probe.size();
        if (!stored.isValid())
            return QSize();
        if (stored.width() <= o.limits.width() && stored.height() <= o.limits.height())
            return QImage::fromData(encodeJpeg(reducedDecode(file, stored, 0)), "JPG").size();
        const QSize target = imageprep::fitWithin(stored, o.limits);
        const QImage image = reducedDecode(file, target, 2)
                                 .scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return encodeJpeg(image).isEmpty() ? QSize() : image.size();
    }
    if (name == QLatin1String("resize")) {
        imageprep::Options options;
        options.maxwidth = o.limits.width();
        options.maxheight = o.limits.height();
        const imageprep::Prepared prepared = imageprep::Preparer().prepareFile(file, options, true);
        if (prepared.failure != imageprep::Prepared::None)
            return QSize();
        return QImage::fromData(prepared.bytes, "JPG").size();
    }
    if (name == QLatin1String("plain-thumb")) {
        QImage image(file);
        if (image.isNull())
            return QSize();
        return image.scaled(o.box, o.box, Qt::KeepAspectRatio, Qt::FastTransformation).size();
    }
    if (name == QLatin1String("thumb"))
        return imageprep::thumbnail(file, QSize(o.box, o.box)).size();
    if (name == QLatin1String("quick-thumb"))
        return imageprep::quickThumbnail(file, QSize(o.box, o.box)).size();
    std::fprintf(stderr, "unknown case %s\n", qPrintable(name));
    std::exit(2);
}

// Keeps the trace lines of the preparation out of the measurements' output.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

int measureChild(const QString& name, const QString& file, const Options& o)
{
    qInstallMessageHandler(quietHandler);
    if (name.startsWith(QLatin1String("plain")))
        QImageReader::setAllocationLimit(int(imageprep::MaxPixels * 4 / (1024 * 1024)));
    warmUp();
    const long idle = statusKb("VmRSS");
    resetPeak();
    std::vector<double> times, cpu;
    QSize out;
    for (int i = 0; i < o.runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = cpuMs();
        out = runCase(name, file, o);
        times.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(cpuMs() - cpuStart);
    }
    const long peak = statusKb("VmHWM");
    std::printf("ms=%.1f cpu=%.1f peak_kb=%ld out=%s\n", median(times), median(cpu), peak - idle,
                qPrintable(out.isValid() ? sizeText(out) : QStringLiteral("failed")));
    return 0;
}

int batchChild(int count, const QStringList& files, const Options& o)
{
    qInstallMessageHandler(quietHandler);
    warmUp();
    const long idle = statusKb("VmRSS");
    resetPeak();
    std::vector<double> times;
    int failed = 0;
    imageprep::Preparer preparer;
    imageprep::Options options;
    options.maxwidth = o.limits.width();
    options.maxheight = o.limits.height();
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (preparer.prepareFile(files[i % files.size()], options, true).failure)
            ++failed;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    const long peak = statusKb("VmHWM");
    const long end = statusKb("VmRSS");
    std::printf("ms=%.1f peak_kb=%ld end_kb=%ld out=%s\n", median(times), peak - idle, end - idle,
                failed ? "failed" : "ok");
    return 0;
}

// --- the parent -------------------------------------------------------------------

QByteArray runChild(const QStringList& args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return QByteArray();
    return child.readAllStandardOutput().trimmed();
}

QString field(const QByteArray& line, const char* key)
{
    for (const QByteArray& part : line.split(' ')) {
        if (part.startsWith(QByteArray(key) + '='))
            return QString::fromLatin1(part.mid(int(qstrlen(key)) + 1));
    }
    return QString();
}

QStringList commonArgs(const Options& o)
{
    return {QStringLiteral("--runs"), QString::number(o.runs), QStringLiteral("--limits"),
            sizeText(o.limits),       QStringLiteral("--box"), QString::number(o.box)};
}

int parent(const Options& o)
{
    std::printf("%-32s %-13s %10s %10s %10s  %s\n", "file", "case", "median ms", "cpu ms",
                "peak MB", "output");
    const QStringList cases{QStringLiteral("plain-resize"), QStringLiteral("resize-2x"),
                            QStringLiteral("resize"),       QStringLiteral("plain-thumb"),
                            QStringLiteral("thumb"),        QStringLiteral("quick-thumb")};
    for (const QString& file : o.files) {
        const QSize size = QImageReader(file).size();
        const QString label = QFileInfo(file).fileName() + QLatin1Char(' ') + sizeText(size);
        for (const QString& c : cases) {
            const QByteArray line =
                runChild(QStringList{QStringLiteral("measure"), c, file} + commonArgs(o));
            std::printf("%-32s %-13s %10s %10s %10.1f  %s\n", qPrintable(label), qPrintable(c),
                        qPrintable(field(line, "ms")), qPrintable(field(line, "cpu")),
                        field(line, "peak_kb").toDouble() / 1024, qPrintable(field(line, "out")));
            std::fflush(stdout);
        }
    }
    if (!o.batchFiles.isEmpty()) {
        std::printf(
            "\nbatch of Preparer::prepareFile (one Preparer) over %lld file(s), limits %s\n",
            qlonglong(o.batchFiles.size()), qPrintable(sizeText(o.limits)));
        std::printf("%-10s %16s %12s %14s\n", "pictures", "median ms/pic", "peak MB", "end RSS MB");
        for (int count : o.batches) {
            const QByteArray line =
                runChild(QStringList{QStringLiteral("batch"), QString::number(count),
                                     o.batchFiles.join(QLatin1Char(','))} +
                         commonArgs(o));
            std::printf("%-10d %16s %12.1f %14.1f\n", count, qPrintable(field(line, "ms")),
                        field(line, "peak_kb").toDouble() / 1024,
                        field(line, "end_kb").toDouble() / 1024);
            std::fflush(stdout);
        }
    }
    return 0;
}

// --- quality ----------------------------------------------------------------------

// The preparation as it was before the Lanczos filter and the tuned JPEG writer
// (for comparison): a reduced decode giving at least 1.5 times the result, Qt's
// smooth scaling, upright, Qt's JPEG writer at its default quality, the metadata
// carried over as now.
QByteArray preparedBefore(const QString& file, const QSize& limits)
{
    QImageReader probe(file);
    const QImageIOHandler::Transformations t = probe.transformation();
    const bool sideways = t.testFlag(QImageIOHandler::TransformationRotate90);
    const QSize stored = probe.size();
    const QSize upright = sideways ? stored.transposed() : stored;
    QImage image;
    if (upright.width() > limits.width() || upright.height() > limits.height()) {
        const QSize fitted = imageprep::fitWithin(upright, limits);
        const QSize target = sideways ? fitted.transposed() : fitted;
        image = reducedDecode(file, target, 1.5)
                    .scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        image = reducedDecode(file, stored, 0);
    }
    if (t.testFlag(QImageIOHandler::TransformationMirror) ||
        t.testFlag(QImageIOHandler::TransformationFlip))
        image = image.mirrored(t.testFlag(QImageIOHandler::TransformationMirror),
                               t.testFlag(QImageIOHandler::TransformationFlip));
    if (sideways)
        image = image.transformed(QTransform().rotate(90));
    QByteArray bytes = encodeJpeg(image);
    metadata::carryOver(file, &bytes, false);
    return bytes;
}

// Writes what the preparation (or, with `before`, the one before) sends for each
// file into `dir`, under the file's name.
int prepare(const Options& o, const QString& dir, bool before)
{
    qInstallMessageHandler(quietHandler);
    imageprep::Options options;
    options.maxwidth = o.limits.width();
    options.maxheight = o.limits.height();
    for (const QString& file : o.files) {
        // A Preparer of its own for each file, so that no decode buffer (with the colour
        // profile of the file before) is reused.
        const QByteArray bytes = before
                                     ? preparedBefore(file, o.limits)
                                     : imageprep::Preparer().prepareFile(file, options, true).bytes;
        QFile out(QDir(dir).filePath(QFileInfo(file).fileName()));
        if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) ||
            out.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot prepare %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

// Peak signal-to-noise ratio of `image` against `reference` (same size), in dB
// over the red, green and blue samples.
double psnr(const QImage& image, const QImage& reference)
{
    const QImage a = image.convertToFormat(QImage::Format_RGB888);
    const QImage b = reference.convertToFormat(QImage::Format_RGB888);
    if (a.size() != b.size() || a.isNull())
        return 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* p = a.constScanLine(y);
        const uchar* q = b.constScanLine(y);
        for (int i = 0; i < 3 * a.width(); ++i) {
            const double d = double(p[i]) - double(q[i]);
            sum += d * d;
        }
    }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
}

// Structural similarity of the luminance (BT.601) of `image` and `reference`:
// the mean over 11x11 Gaussian windows (sigma 1.5) lying inside the picture,
// with the usual constants (Wang et al. 2004).
double ssim(const QImage& image, const QImage& reference)
{
    if (image.size() != reference.size() || image.width() < 11 || image.height() < 11)
        return 0;
    const int w = image.width(), h = image.height();
    const auto luma = [w, h](const QImage& picture) {
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
        std::vector<float> y(size_t(w) * h);
        for (int row = 0; row < h; ++row) {
            const uchar* p = rgb.constScanLine(row);
            for (int x = 0; x < w; ++x)
                y[size_t(row) * w + x] =
                    0.299f * p[3 * x] + 0.587f * p[3 * x + 1] + 0.114f * p[3 * x + 2];
        }
        return y;
    };
    float kernel[11];
    float total = 0;
    for (int i = 0; i < 11; ++i)
        total += kernel[i] = std::exp(-(i - 5) * (i - 5) / 4.5f);
    for (float& k : kernel)
        k /= total;
    // The Gaussian mean of `v` around each pixel at least 5 from the edges.
    const auto blurred = [&](const std::vector<float>& v) {
        std::vector<float> across(v.size()), out(v.size());
        for (int y = 0; y < h; ++y)
            for (int x = 5; x < w - 5; ++x) {
                float sum = 0;
                for (int i = 0; i < 11; ++i)
                    sum += kernel[i] * v[size_t(y) * w + x + i - 5];
                across[size_t(y) * w + x] = sum;
            }
        for (int y = 5; y < h - 5; ++y)
            for (int x = 5; x < w - 5; ++x) {
                float sum = 0;
                for (int i = 0; i < 11; ++i)
                    sum += kernel[i] * across[size_t(y + i - 5) * w + x];
                out[size_t(y) * w + x] = sum;
            }
        return out;
    };
    const std::vector<float> a = luma(image), b = luma(reference);
    std::vector<float> aa(a.size()), bb(a.size()), ab(a.size());
    for (size_t i = 0; i < a.size(); ++i) {
        aa[i] = a[i] * a[i];
        bb[i] = b[i] * b[i];
        ab[i] = a[i] * b[i];
    }
    const std::vector<float> ma = blurred(a), mb = blurred(b), maa = blurred(aa), mbb = blurred(bb),
                             mab = blurred(ab);
    const double c1 = 6.5025, c2 = 58.5225; // (0.01 * 255)^2, (0.03 * 255)^2
    double sum = 0;
    for (int y = 5; y < h - 5; ++y)
        for (int x = 5; x < w - 5; ++x) {
            const size_t i = size_t(y) * w + x;
            const double mx = ma[i], my = mb[i];
            const double vx = maa[i] - mx * mx, vy = mbb[i] - my * my, cxy = mab[i] - mx * my;
            sum +=
                (2 * mx * my + c1) * (2 * cxy + c2) / ((mx * mx + my * my + c1) * (vx + vy + c2));
        }
    return sum / (double(w - 10) * (h - 10));
}

// The bytes of the metadata segments of a JPEG file (APP1 to APP15 and COM: Exif,
// colour profile, XMP, comments), up to the first scan.
qint64 metadataBytes(const QByteArray& jpeg)
{
    qint64 sum = 0;
    for (int at = 2; at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xff;) {
        const int marker = uchar(jpeg[at + 1]);
        const int length = (uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]);
        if (marker == 0xda) // start of scan
            break;
        if ((marker >= 0xe1 && marker <= 0xef) || marker == 0xfe)
            sum += 2 + length;
        at += 2 + length;
    }
    return sum;
}

// How close the pictures sent by each tool come to a Lanczos3 downscale of the full
// decode, turned upright (ImageMagick's -filter Lanczos; $CONVERT or
// /usr/bin/convert), at the size each tool chose; `sent` pairs a tool's name with the
// folder of its pictures, each named as its file or with a prefix ending in "_".
int quality(const Options& o, const QStringList& sent)
{
    const QString convert = qEnvironmentVariable("CONVERT", QStringLiteral("/usr/bin/convert"));
    QTemporaryDir tmp;
    struct Sum
    {
        QString tool;
        double bytes = 0, metadata = 0, psnr = 0, ssim = 0;
        int count = 0;
    };
    QList<Sum> sums;
    for (const QString& pair : sent)
        sums.append({pair.section(QLatin1Char('='), 0, 0)});
    for (const QString& file : o.files) {
        const QString name = QFileInfo(file).fileName();
        QHash<QString, QImage> references; // by size
        for (int t = 0; t < sent.size(); ++t) {
            const QDir dir(sent[t].section(QLatin1Char('='), 1));
            QStringList found = dir.entryList({name, QLatin1String("*_") + name}, QDir::Files);
            if (found.isEmpty()) {
                std::fprintf(stderr, "%s: nothing sent for %s\n", qPrintable(sums[t].tool),
                             qPrintable(name));
                return 1;
            }
            QFile f(dir.filePath(found.first()));
            if (!f.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray bytes = f.readAll();
            const QImage picture = QImage::fromData(bytes, "JPG");
            QImage& reference = references[sizeText(picture.size())];
            if (reference.isNull()) {
                const QString ref = tmp.filePath(QStringLiteral("reference.png"));
                const QStringList args{file,
                                       QStringLiteral("-auto-orient"),
                                       QStringLiteral("-filter"),
                                       QStringLiteral("Lanczos"),
                                       QStringLiteral("-resize"),
                                       sizeText(picture.size()) + QLatin1Char('!'),
                                       QStringLiteral("-depth"),
                                       QStringLiteral("8"),
                                       ref};
                if (QProcess::execute(convert, args) == 0)
                    reference = QImage(ref);
            }
            if (picture.isNull() || reference.size() != picture.size()) {
                std::fprintf(stderr, "no Lanczos reference for %s from %s\n", qPrintable(name),
                             qPrintable(convert));
                return 1;
            }
            Sum& s = sums[t];
            s.bytes += bytes.size();
            s.metadata += metadataBytes(bytes);
            s.psnr += psnr(picture, reference);
            s.ssim += ssim(picture, reference);
            ++s.count;
        }
    }
    const Sum* base = nullptr; // the ratio of bytes is to vipsthumbnail's, when it is there
    for (const Sum& s : sums)
        if (s.tool == QLatin1String("vipsthumbnail"))
            base = &s;
    std::printf("%-16s %8s %14s %9s %10s %9s %8s\n", "", "pictures", "bytes/picture",
                base ? "x vips" : "", "metadata", "PSNR dB", "SSIM");
    for (const Sum& s : sums) {
        const double bytes = s.bytes / s.count;
        const QString ratio =
            base ? QString::number(bytes / (base->bytes / base->count), 'f', 3) : QString();
        std::printf("%-16s %8d %14.0f %9s %10.0f %9.2f %8.4f\n", qPrintable(s.tool), s.count, bytes,
                    qPrintable(ratio), s.metadata / s.count, s.psnr / s.count, s.ssim / s.count);
    }
    return 0;
}

// --- test pictures ----------------------------------------------------------------

// A photo-like scene: graded sky, hills, soft blobs, buildings with fine
// window grids, a patch of one-pixel stripes (where careless scaling shows
// moiré), foliage-like speckle and sensor-like noise over everything.
QImage photoLike(int w, int h, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h * 0.6);
    sky.setColorAt(0, QColor(40, 90, 170));
    sky.setColorAt(1, QColor(200, 220, 235));
    p.fillRect(image.rect(), sky);

    const auto rnd = [&seed]() {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return seed;
    };
    // Soft clouds.
    for (int i = 0; i < 40; ++i) {
        const QPointF c(rnd() % w, rnd() % (h / 2));
        const qreal r = w / 40.0 + rnd() % (w / 12);
        QRadialGradient g(c, r);
        g.setColorAt(0, QColor(255, 255, 255, 150));
        g.setColorAt(1, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, r * 1.6, r * 0.7);
    }
    // Hills.
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath hill;
        const qreal base = h * (0.55 + 0.1 * layer);
        hill.moveTo(0, h);
        for (int x = 0; x <= w; x += w / 64)
            hill.lineTo(x, base + std::sin(x * (0.002 + 0.001 * layer) * 6000.0 / w + layer) * h *
                                      0.05);
        hill.lineTo(w, h);
        QLinearGradient g(0, base - h * 0.05, 0, h);
        g.setColorAt(0, QColor(60 + 30 * layer, 110 - 10 * layer, 50));
        g.setColorAt(1, QColor(20, 50 + 10 * layer, 20));
        p.fillPath(hill, g);
    }
    // Buildings with window grids (detail at a few pixels' pitch).
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int b = 0; b < 12; ++b) {
        const int bw = w / 30 + int(rnd() % (w / 25));
        const int bh = h / 6 + int(rnd() % (h / 4));
        const int bx = int(rnd() % (w - bw));
        const int by = int(h * 0.75) - bh;
        p.fillRect(bx, by, bw, bh, QColor(90 + rnd() % 80, 80 + rnd() % 60, 70 + rnd() % 50));
        const int pitch = 6 + int(rnd() % 10);
        for (int y = by + pitch; y < by + bh - pitch; y += pitch)
            for (int x = bx + pitch / 2; x < bx + bw - pitch; x += pitch)
                p.fillRect(x, y, pitch / 2, pitch / 2, QColor(30, 40, 60));
    }
    // A fabric-like patch of one-pixel stripes.
    const QRect fabric(w / 10, int(h * 0.78), w / 5, h / 6);
    for (int x = fabric.left(); x < fabric.right(); x += 2)
        p.fillRect(x, fabric.top(), 1, fabric.height(), QColor(230, 40, 40));
    p.fillRect(fabric.adjusted(1, 0, 1, 0).intersected(fabric), QColor(40, 40, 200, 120));
    // Fine hatching, like railings or a fence at a distance.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(245, 245, 235), 1.2));
    const QRect fence(w / 2, int(h * 0.82), w / 3, h / 12);
    for (int x = fence.left(); x < fence.right(); x += 3)
        p.drawLine(x, fence.top(), x + fence.height() / 3, fence.bottom());
    p.end();

    // Foliage speckle in the lower part, and sensor noise everywhere.
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const bool ground = y > h * 0.62;
        for (int x = 0; x < w; ++x) {
            const quint32 r = rnd();
            int n = int(r & 15) - 8; // about +-2 levels of luminance noise
            if (ground && ((r >> 8) & 7) == 0)
                n += int((r >> 12) & 63) - 32; // leaves
            const QRgb c = line[x];
            line[x] = qRgb(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255),
                           qBound(0, qBlue(c) + n, 255));
        }
    }
    return image;
}

int generate(const QString& out, int w, int h, int quality, quint32 seed)
{
    const QImage image = photoLike(w, h, seed ? seed : 0x9e3779b9u);
    QImageWriter writer(out, out.endsWith(QLatin1String(".ppm")) ? "ppm" : "JPG");
    writer.setQuality(quality);
    if (!writer.write(image)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(out),
                     qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}

// --- command line -----------------------------------------------------------------

bool parseOptions(QStringList args, Options* o, QStringList* rest)
{
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        const auto value = [&]() { return args.isEmpty() ? QString() : args.takeFirst(); };
        if (a == QLatin1String("--runs"))
            o->runs = qMax(1, value().toInt());
        else if (a == QLatin1String("--limits"))
            o->limits = parseSize(value());
        else if (a == QLatin1String("--box"))
            o->box = value().toInt();
        else if (a == QLatin1String("--batch")) {
            o->batches.clear();
            for (const QString& n : value().split(QLatin1Char(','), Qt::SkipEmptyParts))
                o->batches << n.toInt();
        } else if (a == QLatin1String("--batch-files"))
            o->batchFiles = value().split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (a.startsWith(QLatin1String("--")))
            return false;
        else
            *rest << a;
    }
    return o->limits.isValid();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);

    if (mode == QLatin1String("generate") && args.size() >= 4)
        return generate(args[1], args[2].toInt(), args[3].toInt(), args.value(4, "92").toInt(),
                        args.value(5, "0").toUInt() * 2654435761u);

    Options o;
    QStringList rest;
    QStringList sent;
    bool before = false;
    if (mode == QLatin1String("measure") || mode == QLatin1String("batch") ||
        mode == QLatin1String("quality") || mode == QLatin1String("prepare"))
        args = args.mid(1);
    if (mode == QLatin1String("quality") || mode == QLatin1String("prepare")) {
        for (int i = 0; i < args.size(); ++i) {
            if (args[i] == QLatin1String("--sent") && i + 1 < args.size()) {
                sent = args[i + 1].split(QLatin1Char(','), Qt::SkipEmptyParts);
                args.remove(i, 2);
                --i;
            } else if (args[i] == QLatin1String("--before")) {
                before = true;
                args.remove(i--);
            }
        }
    }
    if (!parseOptions(args, &o, &rest)) {
        std::fprintf(stderr, "usage: see the head of bench/imagebench.cpp\n");
        return 2;
    }
    if (mode == QLatin1String("measure") && rest.size() == 2)
        return measureChild(rest[0], rest[1], o);
    if (mode == QLatin1String("batch") && rest.size() == 2)
        return batchChild(rest[0].toInt(), rest[1].split(QLatin1Char(',')), o);
    o.files = rest;
    if (mode == QLatin1String("quality") && !o.files.isEmpty() && !sent.isEmpty())
        return quality(o, sent);
    if (mode == QLatin1String("prepare") && o.files.size() >= 2) {
        const QString dir = o.files.takeFirst();
        return prepare(o, dir, before);
    }
    if (o.files.isEmpty()) {
        std::fprintf(stderr, "usage: see the head of bench/imagebench.cpp\n");
        return 2;
    }
    return parent(o);
}
