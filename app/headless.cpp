#include "app/headless.h"

#include "app/options.h"
#include "core/batch/results.h"
#include "core/batch/transferrate.h"
#include "core/batch/uploadthread.h"
#include "core/history/sentjournal.h"
#include "core/pictures/picturelist.h"
#include "core/settings.h"
#include "core/site/categories.h"
#include "core/site/transfer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QStandardItemModel>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <tuple>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace headless {

namespace {

const QStringList modeOptions{QStringLiteral("--upload"),   QStringLiteral("--list-categories"),
                              QStringLiteral("--help"),     QStringLiteral("-h"),
                              QStringLiteral("--help-all"), QStringLiteral("--version"),
                              QStringLiteral("-v")};

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

// `text` on one line of a terminal: control characters (a newline in a
// file name, an escape sequence) written as "\n", "\t", "\r" or "\xNN".
QString printable(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control && c != QChar::LineSeparator &&
            c != QChar::ParagraphSeparator) {
            out += c;
            continue;
        }
        switch (c.unicode()) {
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        default:
            out += c.unicode() < 0x100
                       ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                       : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
    }
    return out;
}

// A message of several lines on one.
QString oneLine(const QString& text)
{
    return printable(QString(text).replace(QLatin1Char('\n'), QLatin1String(": ")));
}

// One line on standard error that follows the batch, when standard error is
// a terminal: the picture being sent, "n of N", its progress, speed and time
// left.
class ProgressLine
{
public:
    ProgressLine() : enabled(isatty(fileno(stderr)) != 0) { clock.start(); }

    void batch(int picture, int pictures, const QString& path, qint64 done, qint64 total)
    {
        rate.update(done, total, clock.elapsed());
        QString state =
            QStringLiteral("%1 of %2  %3").arg(picture).arg(pictures).arg(printable(path));
        if (rate.known())
            state += QStringLiteral("  ") + rate.text();
        show(state);
    }
    void clear()
    {
        if (enabled && shown)
            err() << "\r\033[K";
        err().flush();
        shown = false;
    }

private:
    void show(const QString& state)
    {
        if (!enabled)
            return;
        err() << "\r\033[K" << state.left(200);
        err().flush();
        shown = true;
    }

    bool enabled;
    bool shown = false;
    QElapsedTimer clock;
    TransferRate rate;
};

// A failure the window would show in a box.
void tell(const Outcome& outcome, ProgressLine* line = nullptr)
{
    if (!outcome.needsMessage)
        return;
    if (line)
        line->clear();
    err() << outcome.title << ": " << oneLine(outcome.message()) << "\n";
    err().flush();
}

// Runs a job on a worker to its end: `connect` wires the job's own reports,
// `start` starts it. Returns whether the login was accepted.
template <typename Wiring, typename Start> bool runJob(Wiring connect, Start start)
{
    uploadThread worker;
    bool accepted = false;
    QEventLoop loop;
    QObject::connect(&worker, &uploadThread::loginFinished, &loop,
                     [&accepted](const Outcome& outcome) {
                         accepted = outcome.ok();
                         tell(outcome);
                     });
    QObject::connect(&worker, &uploadThread::jobEnded, &loop, &QEventLoop::quit);
    connect(worker);
    start(worker);
    loop.exec();
    return accepted;
}

int upload(UploadJob job, const QStringList& files, const QString& comment, bool json)
{
    for (const QString& file : files)
        job.rows.append({picturelist::fileNameOf(file), comment, file, QImage()});
    job.options.thumbnails = false; // nobody would see them

    // What is sent is recorded; a damaged record is set aside first.
    job.options.journal = std::make_shared<history::SentJournal>();
    if (const QString problem = job.options.journal->load(); !problem.isEmpty()) {
        err() << "vemo: " << oneLine(problem) << "\n";
        err().flush();
    }

    ProgressLine line;
    results::Tally tally;
    int sentBefore = 0;    // left out as sent before: they are in the gallery
    bool loggedIn = false; // a refused login says so itself, not once per picture
    const auto wiring = [&](uploadThread& worker) {
        QObject::connect(&worker, &uploadThread::loginFinished, &worker,
                         [&loggedIn](const Outcome& outcome) { loggedIn = outcome.ok(); });
        QObject::connect(&worker, &uploadThread::updateBatch, &worker,
                         [&](int picture, int pictures, qint64 done, qint64 total) {
                             line.batch(picture, pictures, files.value(picture - 1), done, total);
                         });
        QObject::connect(
            &worker, &uploadThread::pictureFinished, &worker, [&](int row, const Outcome& outcome) {
                if (!loggedIn)
                    return;
                tell(outcome, &line);
                line.clear();
                tally.add(outcome);
                sentBefore += outcome.kind == Outcome::AlreadySent;
                const results::Result result = results::of(outcome);
                const QString word = results::word(result, results::English);
                const QString reason = results::reason(outcome);
                if (json) {
                    out() << QJsonDocument(QJsonObject{{"file", files.value(row)},
                                                       {"result", word},
                                                       {"reason", reason},
                                                       {"bytes", outcome.ok() ? outcome.bytes : 0}})
                                 .toJson(QJsonDocument::Compact)
                          << "\n";
                } else {
                    // Anything but "sent" in capitals, to catch the eye.
                    out() << (outcome.ok() ? word : word.toUpper()).leftJustified(9)
                          << printable(files.value(row));
                    if (!reason.isEmpty())
                        out() << ": " << oneLine(reason);
                    out() << "\n";
                }
                out().flush();
            });
    };
    if (!runJob(wiring, [&job](uploadThread& worker) { worker.startBatch(job); }))
        return 2;
    if (json) {
        QJsonObject summary{
            {"summary", true}, {"category", job.category}, {"bytes", tally.bytesSent()}};
        for (int r = 0; r < results::Count; ++r)
            summary.insert(results::word(results::Result(r), results::English),
                           tally.count(results::Result(r)));
        out() << QJsonDocument(summary).toJson(QJsonDocument::Compact) << "\n";
    } else {
        out() << tally.count(results::Sent) << " of " << files.size()
              << " pictures uploaded to category " << job.category;
        for (const QString& part : tally.unsent(results::English))
            out() << ", " << part;
        out() << "\n";
    }
    out().flush();
    return tally.count(results::Sent) + sentBefore == files.size() ? 0 : 1;
}

// The tree, depth first, without recursion: ids right-aligned, names indented
// by their depth.
void printTree(const QStandardItem* root)
{
    // (parent, row, depth) of the rows still to print, the next one last.
    QList<std::tuple<const QStandardItem*, int, int>> pending;
    for (int r = root->rowCount() - 1; r >= 0; --r)
        pending.append({root, r, 0});
    while (!pending.isEmpty()) {
        const auto [parent, row, depth] = pending.takeLast();
        const QStandardItem* item = parent->child(row, 0);
        out() << QStringLiteral("%1  ").arg(parent->child(row, 1)->text(), 6)
              << QString(depth * 2, QLatin1Char(' ')) << item->text() << "\n";
        for (int r = item->rowCount() - 1; r >= 0; --r)
            pending.append({item, r, depth + 1});
    }
}

// Reads the site's category tree into `model`. Returns 2 when the login
// failed (it says why), 1 when the page could not be read, else 0.
int readTree(const UploadJob& job, QStandardItemModel* model, bool quiet = false)
{
    QByteArray page;
    bool found = false;
    const auto wiring = [&](uploadThread& worker) {
        QObject::connect(&worker, &uploadThread::updateCategories, &worker,
                         [&page](const QByteArray& ba) { page = ba; });
        QObject::connect(&worker, &uploadThread::categoriesFetched, &worker,
                         [&found, quiet](const Outcome& outcome) {
                             found = outcome.ok();
                             if (!quiet)
                                 tell(outcome);
                         });
    };
    const bool accepted = runJob(wiring, [&job](uploadThread& worker) {
        // As the window asks: the login and the options, then the fetch.
        worker.setLoginData(job.login.website, job.login.username, job.login.password);
        worker.setJobOptions(job.options);
        worker.getCategories();
    });
    if (!accepted)
        return 2;
    if (!found)
        return 1;
    categories::fillTree(model->invisibleRootItem(), page);
    return 0;
}

int listCategories(const UploadJob& job)
{
    QStandardItemModel model(0, 2);
    if (const int status = readTree(job, &model); status != 0)
        return status;
    if (model.rowCount() == 0) {
        err() << "error: no categories on the gallery page\n";
        err().flush();
        return 1;
    }
    printTree(model.invisibleRootItem());
    out().flush();
    return 0;
}

} // namespace

int usageError(const QString& message)
{
    err() << "vemo: " << message << "\nTry 'vemo --help' for more information.\n";
    err().flush();
    return 2;
}

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
                       "picture files given listed; there, --upload-now uploads the list at "
                       "once and closes the window when every picture was sent.\n"
                       "Site, user name, password, category and resizing come from vemo.ini "
                       "in the working directory unless options override them (in the "
                       "window, the options are stored there as if typed); the password "
                       "may also come from the environment variable VEMO_PASSWORD.\n\n"
                       "Exit status: 0 every picture was sent (with --skip-sent: now or "
                       "before); 1 some were not (also for --upload-now, whose window then "
                       "stays open); 2 usage error, or the login failed."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption uploadOption(QStringLiteral("upload"),
                                          QStringLiteral("Upload the FILEs without a window."));
    const QCommandLineOption listOption(QStringLiteral("list-categories"),
                                        QStringLiteral("Print the site's category tree."));
    const QCommandLineOption commentOption(QStringLiteral("comment"),
                                           QStringLiteral("The comment sent with every picture."),
                                           QStringLiteral("TEXT"));
    const SettingsOptions settingsOptions;
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("Print one JSON object per picture (file, result, reason, bytes) and a "
                       "summary object, instead of the lines."));
    const QCommandLineOption skipSentOption(
        QStringLiteral("skip-sent"),
        QStringLiteral("Leave out pictures sent to the same site and category before, with the "
                       "same content (as vemo-sent.jsonl in the working directory records)."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Print the diagnostic trace."));
    parser.addOptions({uploadOption, listOption});
    settingsOptions.addTo(parser);
    parser.addOptions({commentOption, jsonOption, skipSentOption, verboseOption});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Pictures to upload."),
                                 QStringLiteral("[FILE...]"));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        out() << parser.helpText();
        out().flush();
        return 0;
    }
    if (parser.isSet(QStringLiteral("help-all")))
        parser.process(arguments); // prints the help with the toolkit's options and exits
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

    if (const QString problem = settingsOptions.check(parser); !problem.isEmpty())
        return usageError(problem);
    const Settings stored(Settings::ReadOnly);
    UploadJob job = stored.job();
    settingsOptions.apply(parser, job);
    if (qEnvironmentVariableIsSet("VEMO_PASSWORD"))
        job.login.password = qEnvironmentVariable("VEMO_PASSWORD");
    if (job.login.website.isEmpty())
        return usageError(QStringLiteral("no site address: give --site or set one in vemo.ini"));
    if (transfer::hasForeignScheme(job.login.website))
        return usageError(QStringLiteral("the site address must begin with http:// or https://"));
    if (parser.isSet(listOption))
        return listCategories(job);

    if (!parser.isSet(settingsOptions.category) && stored.text(Settings::Category).isEmpty())
        return usageError(QStringLiteral("no category: give --category ID or set one in "
                                         "vemo.ini; --list-categories shows the site's"));
    job.options.skipSent = parser.isSet(skipSentOption);
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return usageError(QStringLiteral("--upload needs at least one FILE"));
    // A category the site does not list would fail every picture; a tree that
    // cannot be read refuses nothing.
    QStandardItemModel tree(0, 2);
    const int read = readTree(job, &tree, true);
    if (read == 2)
        return 2;
    if (read == 0 && tree.rowCount() > 0 &&
        tree.match(tree.index(0, 1), Qt::DisplayRole, QString::number(job.category), 1,
                   Qt::MatchExactly | Qt::MatchRecursive)
            .isEmpty())
        return usageError(QStringLiteral("category %1 is not in the site's gallery; "
                                         "--list-categories shows its categories")
                              .arg(job.category));
    return upload(job, files, parser.value(commentOption), parser.isSet(jsonOption));
}

} // namespace headless
