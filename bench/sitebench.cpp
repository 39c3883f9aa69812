// Times a category fetch (a fresh login plus the gallery page) through the
// transfer worker against the bundled test site, on loopback.
//
//   sitebench [RUNS]

#include "core/batch/uploadthread.h"
#include "core/site/curl.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QProcess>
#include <QTextStream>

#include <algorithm>

int main(int argc, char** argv)
{
    const curl::Global curl;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QTextStream out(stdout);
    const int runs = argc > 1 ? QByteArray(argv[1]).toInt() : 20;

    QProcess site;
    site.start(QStringLiteral(ORVA_TESTSITE), {QStringLiteral("--port"), QStringLiteral("0")});
    if (!site.waitForReadyRead(10000)) {
        out << "the test site did not start\n";
        return 1;
    }
    const QString url =
        QString::fromLatin1(site.readLine().trimmed()).section(QLatin1Char(' '), -1);

    bool failed = false;
    uploadThread worker;
    const auto check = [&](const Outcome& outcome) {
        if (outcome.ok())
            return;
        out << outcome.title << ": " << outcome.message() << "\n";
        failed = true;
    };
    QObject::connect(&worker, &uploadThread::loginFinished, check);
    QObject::connect(&worker, &uploadThread::categoriesFetched, check);
    worker.setLoginData(url, QStringLiteral("admin"), QStringLiteral("secret"));
    int pages = 0;
    QObject::connect(&worker, &uploadThread::updateCategories, [&pages] { ++pages; });

    QList<double> times;
    for (int i = 0; i < runs + 1; ++i) {
        QEventLoop loop;
        QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        worker.getCategories();
        loop.exec();
        worker.wait();
        if (i > 0) // the first run warms up the site and the libraries
            times << clock.nsecsElapsed() / 1e6;
    }
    site.terminate();
    site.waitForFinished();
    if (failed || pages != runs + 1)
        return 1;

    std::sort(times.begin(), times.end());
    out << QStringLiteral("login + category page, %1 runs: median %2 ms, min %3 ms, max %4 ms\n")
               .arg(runs)
               .arg(times.at(times.size() / 2), 0, 'f', 2)
               .arg(times.first(), 0, 'f', 2)
               .arg(times.last(), 0, 'f', 2);
    return 0;
}
