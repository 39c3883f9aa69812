// The transfer worker against the bundled test site, through the real libcurl.

#include "forms/messages.h"
#include "forms/upload.h"
#include "support/testsite.h"
#include "worker/curl.h"
#include "worker/uploadthread.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

using Message = QPair<QString, QString>;

// Records every message the worker shows, instead of a message box.
class MessageLog
{
public:
    MessageLog()
    {
        messages::setHandler([this](const QString& title, const QString& text) {
            seen.append({title, text});
        });
    }
    ~MessageLog() { messages::setHandler({}); }
    QList<Message> seen;
};

// A worker with short time-outs, pointed at `site`.
std::unique_ptr<uploadThread> makeWorker(const QString& site, const QString& user = "admin",
                                         const QString& password = "secret")
{
    auto worker = std::make_unique<uploadThread>();
    worker->setTimeouts({2, 2});
    worker->setLoginData(site, user, password);
    return worker;
}

// Waits until the worker's run has ended and its end has been handled on the
// GUI thread (deferred deletions included).
bool finishRun(uploadThread& worker, QSignalSpy& finished, int timeoutMs = 20000)
{
    if (finished.isEmpty() && !finished.wait(timeoutMs))
        return false;
    worker.wait();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

// A model holding `count` copies of a small PNG file row.
void fillList(QStandardItemModel& model, const QString& dir, int count)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    const QString path = dir + "/pic.png";
    QVERIFY(image.save(path));
    for (int i = 0; i < count; ++i)
        picturelist::appendFileRow(model, path);
}

} // namespace

class WorkerTest : public QObject
{
    Q_OBJECT

private slots:
    void login_data();
    void login();
    void passwordsAsTyped_data();
    void passwordsAsTyped();
    void siteDown();
    void stalledSiteTimesOut();
    void categoryPage_data();
    void categoryPage();
    void getCategoriesWhileRunningIsDropped();
    void everyRunLogsInAnew();
    void cancelBeforeLoginMakesNoRequest();
    void cancelDuringLoginSendsNothing();
    void progressWindowGoesAfterRun_data();
    void progressWindowGoesAfterRun();
    void uploadWhileFetchingShowsWindowOnly();
    void progressOnlyForRequestsWithBody();
    void realMessageBox();

private:
    curl::Global curlGlobal;
};

void WorkerTest::login_data()
{
    QTest::addColumn<QString>("faultKind");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QList<Message>>("expected");

    const QList<Message> none;
    const QList<Message> refused{{"login error", "could not log in"}};
    QTest::newRow("accepted") << ""
                              << "secret" << true << none;
    QTest::newRow("wrong password") << ""
                                    << "wrong" << false << refused;
    QTest::newRow("site refuses") << "refuse"
                                  << "secret" << false << refused;
    QTest::newRow("zero byte before title") << "zero-before"
                                            << "secret" << false << refused;
    QTest::newRow("zero byte after title") << "zero-after"
                                           << "secret" << true << none;
    QTest::newRow("redirect") << "redirect"
                              << "secret" << false << refused;
    QTest::newRow("empty answer") << "empty"
                                  << "secret" << false << refused;
    QTest::newRow("status 500, normal page") << "status500"
                                             << "secret" << true << none;
}

// A login is judged by the marker alone; a refused one is told once and ends
// the run without another request.
void WorkerTest::login()
{
    QFETCH(QString, faultKind);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    QFETCH(QList<Message>, expected);

    TestSite site;
    QVERIFY(site.start());
    if (!faultKind.isEmpty())
        QVERIFY(site.setFault("login", faultKind));
    MessageLog messages;
    auto worker = makeWorker(site.url(), "admin", password);
    QSignalSpy finished(worker.get(), &QThread::finished);
    QSignalSpy loggedIn(worker.get(), &uploadThread::loginFinished);
    QSignalSpy categories(worker.get(), &uploadThread::updateCategories);
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));

    QCOMPARE(messages.seen, expected);
    QCOMPARE(loggedIn.size(), 1);
    QCOMPARE(loggedIn.first().first().toBool(), accepted);
    QCOMPARE(categories.size(), accepted ? 1 : 0);
    QCOMPARE(site.log().size(), accepted ? 2 : 1);
    QCOMPARE(site.log().first().value("route").toString(), QString("login"));
}

void WorkerTest::passwordsAsTyped_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("form delimiters") << "admin"
                                     << "a&b=c+d%e f";
    QTest::newRow("percent escapes") << "admin"
                                     << "%41%2B";
    QTest::newRow("latin-1 letters")
        << QString::fromUtf8("Jürgen") << QString::fromUtf8("Päßwörd€");
}

// Whatever the user typed reaches the site as typed (in Latin-1).
void WorkerTest::passwordsAsTyped()
{
    QFETCH(QString, user);
    QFETCH(QString, password);

    TestSite::Options options;
    options.user = user;
    // The site compares Latin-1 bytes; "€" has none and travels as "?".
    options.password = QString::fromLatin1(password.toLatin1());
    TestSite site(options);
    QVERIFY(site.start());
    MessageLog messages;
    auto worker = makeWorker(site.url(), user, password);
    QSignalSpy finished(worker.get(), &QThread::finished);
    QSignalSpy loggedIn(worker.get(), &uploadThread::loginFinished);
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));

    QCOMPARE(messages.seen, QList<Message>());
    QCOMPARE(loggedIn.size(), 1);
    QVERIFY(loggedIn.first().first().toBool());
    const QJsonObject form = site.log("login").first().value("form").toObject();
    QCOMPARE(form.value("pass").toString(), options.password);
    QCOMPARE(form.value("name").toString(), user);
    QCOMPARE(form.value("user_login_sub").toString(), QString("Login"));
}

void WorkerTest::siteDown()
{
    // A port that was free a moment ago: nothing listens there.
    QString url;
    {
        TestSite site;
        QVERIFY(site.start());
        url = site.url();
    }
    MessageLog messages;
    auto worker = makeWorker(url);
    QSignalSpy finished(worker.get(), &QThread::finished);
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));
    QCOMPARE(messages.seen.size(), 1);
    QCOMPARE(messages.seen.first().first, QString("curl"));
    QCOMPARE(messages.seen.first().second, transfer::describe(CURLE_COULDNT_CONNECT));
}

void WorkerTest::stalledSiteTimesOut()
{
    TestSite site;
    QVERIFY(site.start());
    QVERIFY(site.setFault("gallery", "stall", 0, 30));
    MessageLog messages;
    auto worker = makeWorker(site.url());
    QSignalSpy finished(worker.get(), &QThread::finished);
    QSignalSpy categories(worker.get(), &uploadThread::updateCategories);
    QElapsedTimer clock;
    clock.start();
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));
    QVERIFY2(clock.elapsed() < 20000, "the stall time-out did not end the request");
    QCOMPARE(messages.seen,
             QList<Message>({{"curl", transfer::describe(CURLE_OPERATION_TIMEDOUT)}}));
    QCOMPARE(categories.size(), 0);
}

void WorkerTest::categoryPage_data()
{
    QTest::addColumn<QString>("faultKind");
    QTest::addColumn<QList<Message>>("expected");
    QTest::addColumn<bool>("emitted");

    const QList<Message> none;
    const QList<Message> noCategories{{"error", "no Categories found"}};
    QTest::newRow("normal page") << "" << none << true;
    QTest::newRow("page without categories") << "no-categories" << noCategories << false;
    QTest::newRow("zero byte before marker") << "zero-before" << noCategories << false;
    QTest::newRow("zero byte after marker") << "zero-after" << none << true;
    QTest::newRow("empty page") << "empty" << noCategories << false;
    QTest::newRow("redirect") << "redirect" << noCategories << false;
    QTest::newRow("connection closed mid-page") << "close" << QList<Message>() << false;
}

// The page is handed over whole (zero bytes and all) only when it holds the
// marker before any zero byte; the request carries the login's session.
void WorkerTest::categoryPage()
{
    QFETCH(QString, faultKind);
    QFETCH(QList<Message>, expected);
    QFETCH(bool, emitted);

    TestSite site;
    QVERIFY(site.start());
    if (!faultKind.isEmpty())
        QVERIFY(site.setFault("gallery", faultKind));
    MessageLog messages;
    auto worker = makeWorker(site.url());
    QSignalSpy finished(worker.get(), &QThread::finished);
    QSignalSpy categories(worker.get(), &uploadThread::updateCategories);
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));

    if (faultKind == "close") {
        QCOMPARE(messages.seen.size(), 1);
        QCOMPARE(messages.seen.first().first, QString("curl"));
    } else {
        QCOMPARE(messages.seen, expected);
    }
    QCOMPARE(categories.size(), emitted ? 1 : 0);
    const QList<QJsonObject> gallery = site.log("gallery");
    QCOMPARE(gallery.size(), 1);
    QVERIFY(gallery.first().value("session").toBool());
    QCOMPARE(gallery.first().value("method").toString(), QString("GET"));
    if (emitted) {
        const QByteArray page = categories.first().first().toByteArray();
        QVERIFY(page.contains("?gallery-S1200"));
        QCOMPARE(page.contains('\0'), faultKind == "zero-after");
    }
}

void WorkerTest::getCategoriesWhileRunningIsDropped()
{
    TestSite site;
    QVERIFY(site.start());
    QVERIFY(site.setFault("gallery", "stall", 0, 1));
    MessageLog messages;
    auto worker = makeWorker(site.url());
    QSignalSpy finished(worker.get(), &QThread::finished);
    QSignalSpy categories(worker.get(), &uploadThread::updateCategories);
    worker->getCategories();
    QVERIFY(site.waitForLog("gallery", 1));
    worker->getCategories();
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));
    QTest::qWait(300);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(categories.size(), 1);
    QCOMPARE(site.log("login").size(), 1);
}

// The session lives in one run's handle only: the next run logs in again and
// sends no cookie with its login.
void WorkerTest::everyRunLogsInAnew()
{
    TestSite site;
    QVERIFY(site.start());
    MessageLog messages;
    auto worker = makeWorker(site.url());
    QSignalSpy finished(worker.get(), &QThread::finished);
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));
    finished.clear();
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));

    const QList<QJsonObject> log = site.log();
    QCOMPARE(log.size(), 4);
    QStringList routes;
    for (const QJsonObject& line : log)
        routes << line.value("route").toString();
    QCOMPARE(routes, QStringList({"login", "gallery", "login", "gallery"}));
    QCOMPARE(log.at(2).value("cookie").toString(), QString());
    QVERIFY(log.at(3).value("session").toBool());
    QVERIFY(log.at(1).value("cookie").toString() != log.at(3).value("cookie").toString());
}

void WorkerTest::cancelBeforeLoginMakesNoRequest()
{
    TestSite site;
    QVERIFY(site.start());
    MessageLog messages;
    QTemporaryDir dir;
    QStandardItemModel model(0, picturelist::ColumnCount);
    fillList(model, dir.path(), 2);
    auto worker = makeWorker(site.url());
    worker->setFilelistData(model);
    uploadThread* raw = worker.get();
    // started() comes on the worker's thread just before the run begins.
    connect(
        raw, &QThread::started, raw, [raw] { raw->cancel(); }, Qt::DirectConnection);
    QSignalSpy finished(raw, &QThread::finished);
    worker->startUpload();
    QVERIFY(finishRun(*worker, finished));
    QCOMPARE(site.log().size(), 0);
    QCOMPARE(messages.seen.size(), 0);
}

void WorkerTest::cancelDuringLoginSendsNothing()
{
    TestSite site;
    QVERIFY(site.start());
    QVERIFY(site.setFault("login", "stall", 0, 1));
    MessageLog messages;
    QTemporaryDir dir;
    QStandardItemModel model(0, picturelist::ColumnCount);
    fillList(model, dir.path(), 3);
    auto worker = makeWorker(site.url());
    worker->setFilelistData(model);
    QSignalSpy finished(worker.get(), &QThread::finished);
    QSignalSpy loggedIn(worker.get(), &uploadThread::loginFinished);
    worker->startUpload();
    QVERIFY(site.waitForLog("login", 1));
    worker->cancel();
    QVERIFY(finishRun(*worker, finished));
    QCOMPARE(loggedIn.size(), 1);
    QVERIFY(loggedIn.first().first().toBool()); // the login itself went through
    QCOMPARE(site.log("upload").size(), 0);
    QCOMPARE(worker->progressWindow(), nullptr);

    // A cancel while idle does not touch the next job.
    worker->cancel();
    finished.clear();
    worker->startUpload();
    QVERIFY(finishRun(*worker, finished, 30000));
    QCOMPARE(site.log("upload").size(), 3);
}

void WorkerTest::progressWindowGoesAfterRun_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("pictures");
    QTest::newRow("empty list still logs in") << "secret" << 0;
    QTest::newRow("two pictures") << "secret" << 2;
    QTest::newRow("failed login") << "wrong" << 2;
}

void WorkerTest::progressWindowGoesAfterRun()
{
    QFETCH(QString, password);
    QFETCH(int, pictures);

    TestSite site;
    QVERIFY(site.start());
    MessageLog messages;
    QTemporaryDir dir;
    QStandardItemModel model(0, picturelist::ColumnCount);
    fillList(model, dir.path(), pictures);
    auto worker = makeWorker(site.url(), "admin", password);
    worker->setFilelistData(model);
    QSignalSpy finished(worker.get(), &QThread::finished);
    worker->startUpload();
    QPointer<Upload> window = worker->progressWindow();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(finishRun(*worker, finished));
    QVERIFY(!window);
    QCOMPARE(site.log("login").size(), 1);
    QCOMPARE(site.log("upload").size(), password == "secret" ? pictures : 0);
    QCOMPARE(model.rowCount(), pictures); // a batch never changes the list

    // The next batch gets a window of its own.
    finished.clear();
    worker->startUpload();
    QPointer<Upload> second = worker->progressWindow();
    QVERIFY(second);
    QVERIFY(finishRun(*worker, finished));
    QVERIFY(!second);
}

void WorkerTest::uploadWhileFetchingShowsWindowOnly()
{
    TestSite site;
    QVERIFY(site.start());
    QVERIFY(site.setFault("gallery", "stall", 0, 1));
    MessageLog messages;
    QTemporaryDir dir;
    QStandardItemModel model(0, picturelist::ColumnCount);
    fillList(model, dir.path(), 1);
    auto worker = makeWorker(site.url());
    worker->setFilelistData(model);
    QSignalSpy finished(worker.get(), &QThread::finished);
    worker->getCategories();
    QVERIFY(site.waitForLog("gallery", 1));
    worker->startUpload();
    QPointer<Upload> window = worker->progressWindow();
    QVERIFY(window && window->isVisible());
    QVERIFY(finishRun(*worker, finished));
    QVERIFY(!window);
    QCOMPARE(site.log("upload").size(), 0);
    QCOMPARE(site.log("login").size(), 1);
}

// Only requests that send a body report progress: the login's form body here,
// never the page fetch.
void WorkerTest::progressOnlyForRequestsWithBody()
{
    TestSite site;
    QVERIFY(site.start());
    MessageLog messages;
    auto worker = makeWorker(site.url());
    QSignalSpy finished(worker.get(), &QThread::finished);
    QSignalSpy progress(worker.get(), &uploadThread::updateProgress);
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));
    const int loginBody = int(QByteArray("name=admin&pass=secret&user_login_sub=Login").size());
    QVERIFY(!progress.isEmpty());
    for (const QList<QVariant>& report : progress) {
        QCOMPARE(report.at(0).toInt(), loginBody);
        QVERIFY(report.at(1).toInt() >= 0 && report.at(1).toInt() <= loginBody);
    }
    QCOMPARE(progress.last().at(1).toInt(), loginBody);
}

// Without a handler the message is a real box on the GUI thread, and the
// worker goes on only once it has been closed.
void WorkerTest::realMessageBox()
{
    TestSite site;
    QVERIFY(site.start());
    auto worker = makeWorker(site.url(), "admin", "wrong");
    QSignalSpy finished(worker.get(), &QThread::finished);
    QString title, text;
    bool workerWaited = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        title = box->windowTitle();
        text = box->text();
        workerWaited = worker->isRunning() && finished.isEmpty();
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    worker->getCategories();
    QVERIFY(finishRun(*worker, finished));
    QCOMPARE(title, QString("login error"));
    QCOMPARE(text, QString("could not log in"));
    QVERIFY(workerWaited);
}

QTEST_MAIN(WorkerTest)
#include "tst_worker.moc"
