#include "app/headless.h"

#include "forms/messages.h"
#include "worker/categories.h"
#include "worker/picturelist.h"
#include "worker/uploadthread.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLocale>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardItemModel>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace headless {

namespace {

const QStringList modeOptions{QStringLiteral("--upload"),  QStringLiteral("--list-categories"),
                              QStringLiteral("--help"),    QStringLiteral("-h"),
                              QStringLiteral("--version"), QStringLiteral("-v")};

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usageError(const QString& message)
{
    err() << "vemo: " << message << "\nTry 'vemo --help' for more information.\n";
    err().flush();
    return 2;
}

// The login and the job's inputs: the settings file in the working directory,
// overridden by the command line. The file is only read, never written.
struct Job
{
    QString site;
    QString user;
    QString password;
    int category = 0;
    int resize = 0;
    int maxwidth = 0;
    int maxheight = 0;
};

QString formatBytes(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

// One line on standard error that follows the picture being sent, when
// standard error is a terminal.
class ProgressLine
{
public:
    ProgressLine() : enabled(isatty(fileno(stderr)) != 0) {}

    void picture(const QString& path)
    {
        current = path;
        show(QStringLiteral("preparing"));
    }
    void progress(int total, int now)
    {
        if (current.isEmpty() || total <= 0)
            return;
        show(QStringLiteral("%1% (%2 of %3)")
                 .arg(int(100.0 * now / total))
                 .arg(formatBytes(now), formatBytes(total)));
    }
    void clear()
    {
        if (enabled && shown)
            err() << "\r\033[K";
        err().flush();
        shown = false;
    }
    void done() { current.clear(); }

private:
    void show(const QString& state)
    {
        if (!enabled)
            return;
        err() << "\r\033[K" << current << "  " << state;
        err().flush();
        shown = true;
    }

    bool enabled;
    bool shown = false;
    QString current;
};

// Runs one job of `worker` to its end, with the worker's messages on standard
// error. Returns whether the login was accepted.
bool runJob(uploadThread& worker, void (uploadThread::*start)(), ProgressLine* line)
{
    bool accepted = false;
    messages::setHandler([line](const QString& title, const QString& text) {
        if (line)
            line->clear();
        err() << title << ": " << text << "\n";
        err().flush();
    });
    QEventLoop loop;
    QObject::connect(&worker, &uploadThread::loginFinished, &loop,
                     [&accepted](bool ok) { accepted = ok; });
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    (worker.*start)();
    loop.exec();
    worker.wait();
    messages::setHandler({});
    return accepted;
}

int upload(const Job& job, const QStringList& files, const QString& comment)
{
    QStandardItemModel model(0, picturelist::ColumnCount);
    for (const QString& file : files) {
        picturelist::appendFileRow(model, file);
        model.setData(model.index(model.rowCount() - 1, picturelist::Comment), comment);
    }

    uploadThread worker;
    worker.setProgressWindowEnabled(false);
    worker.setLoginData(job.site, job.user, job.password);
    worker.setCategory(job.category);
    worker.setResize(job.resize);
    worker.setResizeData(job.maxwidth, job.maxheight);
    worker.setFilelistData(model);

    ProgressLine line;
    int sent = 0;
    int failed = 0;
    QObject::connect(&worker, &uploadThread::updateFilename, &worker,
                     [&](const QString&) { line.picture(files.value(sent + failed)); });
    QObject::connect(&worker, &uploadThread::updateProgress, &worker,
                     [&](int total, int now) { line.progress(total, now); });
    QObject::connect(&worker, &uploadThread::pictureFinished, &worker,
                     [&](int row, const QString&, uploadThread::PictureResult result) {
                         line.clear();
                         line.done();
                         const QString path = files.value(row);
                         switch (result) {
                         case uploadThread::Sent:
                             ++sent;
                             out() << "sent     " << path << "\n";
                             break;
                         case uploadThread::Failed:
                             ++failed;
                             out() << "FAILED   " << path << "\n";
                             break;
                         case uploadThread::Skipped:
                             ++failed;
                             out() << "SKIPPED  " << path << " (not a picture that can be read)\n";
                             break;
                         }
                         out().flush();
                     });

    if (!runJob(worker, &uploadThread::startUpload, &line))
        return 2;
    const int missing = int(files.size()) - sent - failed;
    out() << sent << " of " << files.size() << " pictures uploaded to category " << job.category;
    if (failed + missing > 0)
        out() << ", " << (failed + missing) << " not";
    out() << "\n";
    out().flush();
    return sent == files.size() ? 0 : 1;
}

void printTree(const QStandardItem* parent, int depth)
{
    for (int r = 0; r < parent->rowCount(); ++r) {
        const QStandardItem* item = parent->child(r, 0);
        out() << QStringLiteral("%1  ").arg(parent->child(r, 1)->text(), 6)
              << QString(depth * 2, QLatin1Char(' ')) << item->text() << "\n";
        printTree(item, depth + 1);
    }
}

int listCategories(const Job& job)
{
    uploadThread worker;
    worker.setLoginData(job.site, job.user, job.password);
    QByteArray page;
    QObject::connect(&worker, &uploadThread::updateCategories, &worker,
                     [&page](const QByteArray& ba) { page = ba; });
    if (!runJob(worker, &uploadThread::getCategories, nullptr))
        return 2;
    if (page.isNull())
        return 1;
    QStandardItemModel model(0, 2);
    categories::fillTree(model.invisibleRootItem(), page);
    printTree(model.invisibleRootItem(), 0);
    out().flush();
    return 0;
}

} // namespace

bool wanted(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (modeOptions.contains(arguments.at(i)))
            return true;
    }
    return false;
}

int run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Puts pictures into the gallery of an Orva CMS web site.\n\n"
                       "Without --upload or --list-categories the window opens, with the "
                       "picture files given listed.\n"
                       "Site, user name, password, category and resizing come from vemo.ini "
                       "in the working directory unless options override them; the password "
                       "may also come from the environment variable VEMO_PASSWORD."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption uploadOption(QStringLiteral("upload"),
                                          QStringLiteral("Upload the FILEs without a window."));
    const QCommandLineOption listOption(QStringLiteral("list-categories"),
                                        QStringLiteral("Print the site's category tree."));
    const QCommandLineOption siteOption(
        QStringLiteral("site"), QStringLiteral("The site's base address."), QStringLiteral("URL"));
    const QCommandLineOption userOption(QStringLiteral("user"),
                                        QStringLiteral("The administrator's user name."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption categoryOption(QStringLiteral("category"),
                                            QStringLiteral("The gallery category to upload to."),
                                            QStringLiteral("ID"));
    const QCommandLineOption resizeOption(
        QStringLiteral("resize"),
        QStringLiteral("Scale pictures down to fit WIDTHxHEIGHT and send them as JPEG."),
        QStringLiteral("WIDTHxHEIGHT"));
    const QCommandLineOption noResizeOption(QStringLiteral("no-resize"),
                                            QStringLiteral("Send picture files as they are."));
    const QCommandLineOption commentOption(QStringLiteral("comment"),
                                           QStringLiteral("The comment sent with every picture."),
                                           QStringLiteral("TEXT"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Print the diagnostic trace."));
    parser.addOptions({uploadOption, listOption, siteOption, userOption, categoryOption,
                       resizeOption, noResizeOption, commentOption, verboseOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Pictures to upload."),
                                 QStringLiteral("[FILE...]"));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        out() << parser.helpText();
        out().flush();
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out() << QCoreApplication::applicationName() << " "
              << QCoreApplication::applicationVersion() << "\n";
        out().flush();
        return 0;
    }
    if (parser.isSet(uploadOption) == parser.isSet(listOption))
        return usageError(QStringLiteral("give either --upload or --list-categories"));
    if (!parser.isSet(verboseOption))
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    const QSettings stored(QStringLiteral("vemo.ini"), QSettings::IniFormat);
    auto text = [&stored](const char* key) {
        return stored.value(QLatin1String(key), QString()).toString();
    };
    Job job;
    job.site = parser.isSet(siteOption) ? parser.value(siteOption) : text("website");
    job.user = parser.isSet(userOption) ? parser.value(userOption) : text("username");
    job.password = qEnvironmentVariableIsSet("VEMO_PASSWORD")
                       ? qEnvironmentVariable("VEMO_PASSWORD")
                       : text("password");
    auto siteGiven = [&job] { return !job.site.isEmpty(); };
    const QString noSite = QStringLiteral("no site address: give --site or set one in vemo.ini");
    if (parser.isSet(listOption))
        return siteGiven() ? listCategories(job) : usageError(noSite);

    bool ok = true;
    job.category = parser.isSet(categoryOption) ? parser.value(categoryOption).toInt(&ok)
                                                : text("category").toInt();
    if (!ok)
        return usageError(QStringLiteral("--category needs a number"));
    if (parser.isSet(resizeOption) && parser.isSet(noResizeOption))
        return usageError(QStringLiteral("give either --resize or --no-resize"));
    job.resize = text("resize").toInt();
    job.maxwidth = text("maxwidth").toInt();
    job.maxheight = text("maxheight").toInt();
    if (!stored.contains(QStringLiteral("maxwidth")))
        job.maxwidth = 1000;
    if (!stored.contains(QStringLiteral("maxheight")))
        job.maxheight = 1000;
    if (parser.isSet(noResizeOption))
        job.resize = 0;
    if (parser.isSet(resizeOption)) {
        static const QRegularExpression size(
            QStringLiteral("^([1-9][0-9]{0,4})x([1-9][0-9]{0,4})$"));
        const QRegularExpressionMatch match = size.match(parser.value(resizeOption));
        if (!match.hasMatch())
            return usageError(QStringLiteral("--resize needs WIDTHxHEIGHT, such as 1024x768"));
        job.resize = 2;
        job.maxwidth = match.captured(1).toInt();
        job.maxheight = match.captured(2).toInt();
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usageError(QStringLiteral("--upload needs at least one FILE"));
    if (!siteGiven())
        return usageError(noSite);
    return upload(job, files, parser.value(commentOption));
}

} // namespace headless
