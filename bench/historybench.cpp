// What keeping the working list and the record of what was sent costs:
//  - a batch of photos through the transfer worker against the bundled test
//    site, with the record (each picture's content hashed where it is read)
//    and without, scaled and sent as they are, alternating;
//  - SHA-256 of the photos' bytes alone, for scale;
//  - saving and loading a list of 10,000 rows, and the main window starting
//    with it.
//
//   historybench RUNS PHOTO...     RUNS 0: the list alone

#include "core/batch/uploadthread.h"
#include "core/history/contenthash.h"
#include "core/history/listfile.h"
#include "core/history/sentjournal.h"
#include "core/site/curl.h"
#include "mainwindow/vemo.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeView>

#include <algorithm>

namespace {

QTextStream out(stdout);

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// One batch to its end; milliseconds, or -1 when a picture did not arrive.
double batch(const UploadJob& job)
{
    uploadThread worker;
    QEventLoop loop;
    int sent = 0;
    QObject::connect(&worker, &uploadThread::pictureFinished,
                     [&sent](int, const Outcome& outcome) { sent += outcome.ok(); });
    QObject::connect(&worker, &uploadThread::jobEnded, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    worker.startBatch(job);
    loop.exec();
    return sent == job.rows.size() ? clock.nsecsElapsed() / 1e6 : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const curl::Global curl;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    int programOnly = 1; // the window must not take the photos for its list
    QApplication app(programOnly, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    if (arguments.size() < 3) {
        out << "usage: historybench RUNS PHOTO...\n";
        return 2;
    }
    const int runs = arguments.at(1).toInt();
    const QStringList photos = arguments.mid(2);

    QProcess site;
    QTemporaryDir store;
    site.start(QStringLiteral(ORVA_TESTSITE), {QStringLiteral("--port"), QStringLiteral("0"),
                                               QStringLiteral("--store"), store.path()});
    if (!site.waitForReadyRead(10000)) {
        out << "the test site did not start\n";
        return 1;
    }
    const QString url =
        QString::fromLatin1(site.readLine().trimmed()).section(QLatin1Char(' '), -1);

    UploadJob job;
    job.login = {url, QStringLiteral("admin"), QStringLiteral("secret")};
    job.category = 7;
    job.maxwidth = 1600;
    job.maxheight = 1200;
    job.options.thumbnails = false;
    qint64 bytes = 0;
    for (const QString& photo : photos) {
        job.rows.append({QFileInfo(photo).fileName(), QString(), photo, QImage()});
        bytes += QFileInfo(photo).size();
    }

    // Scaled (hashed while prepared) and as they are (hashed while sent).
    QTemporaryDir work;
    bool failed = false;
    for (const int resize : runs > 0 ? QList<int>{2, 0} : QList<int>()) {
        job.resize = resize;
        QList<double> with, without;
        for (int run = 0; run <= runs; ++run) {
            for (const bool journal : {false, true}) {
                const QString path = work.filePath(QStringLiteral("sent-%1.jsonl").arg(run));
                QFile::remove(path);
                job.options.journal =
                    journal ? std::make_shared<history::SentJournal>(path) : nullptr;
                const double ms = batch(job);
                failed |= ms < 0;
                if (run > 0) // the first round warms up the files and the site
                    (journal ? with : without) << ms;
            }
        }
        const double a = median(without), b = median(with);
        out << QStringLiteral("%1 photos (%2 MB) %3, median of %4: without the record %5 ms, "
                              "with %6 ms (%7%8 %)\n")
                   .arg(photos.size())
                   .arg(bytes / 1048576)
                   .arg(resize ? QStringLiteral("scaled to 1600x1200")
                               : QStringLiteral("as they are"))
                   .arg(runs)
                   .arg(a, 0, 'f', 0)
                   .arg(b, 0, 'f', 0)
                   .arg(b >= a ? QStringLiteral("+") : QString())
                   .arg(100 * (b - a) / a, 0, 'f', 1);
    }
    QElapsedTimer clock;
    clock.start();
    for (const QString& photo : photos)
        history::hashOfFile(photo);
    out << QStringLiteral("SHA-256 of the photos alone, one thread: %1 ms\n")
               .arg(clock.nsecsElapsed() / 1e6, 0, 'f', 0);
    site.terminate();
    site.waitForFinished();

    // A list of 10,000 rows, half of whose files exist.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    QList<history::ListRow> rows;
    for (int i = 0; i < 10000; ++i) {
        history::ListRow row;
        row.path = i % 2 ? photos.at(i % photos.size())
                         : work.filePath(QStringLiteral("gone-%1.jpg").arg(i));
        row.name = QFileInfo(row.path).fileName();
        row.comment = QStringLiteral("Comment number %1").arg(i);
        row.result = QStringLiteral("sent");
        row.text = row.result;
        rows.append(row);
    }
    history::ListFile file;
    clock.restart();
    file.save(rows);
    const double saved = clock.nsecsElapsed() / 1e6;
    clock.restart();
    const qsizetype loaded = file.load().rows.size();
    const double read = clock.nsecsElapsed() / 1e6;
    clock.restart();
    {
        Vemo window;
        window.show();
        QCoreApplication::processEvents();
        const double shown = clock.nsecsElapsed() / 1e6;
        const qsizetype listed =
            window.findChild<QTreeView*>(QStringLiteral("filelist"))->model()->rowCount();
        out << QStringLiteral("list of %1 rows: saved in %2 ms, loaded in %3 ms; the window "
                              "started with its %4 rows shown in %5 ms\n")
                   .arg(loaded)
                   .arg(saved, 0, 'f', 0)
                   .arg(read, 0, 'f', 0)
                   .arg(listed)
                   .arg(shown, 0, 'f', 0);
        failed |= listed != rows.size();
    }
    QDir::setCurrent(previous);
    return failed ? 1 : 0;
}
