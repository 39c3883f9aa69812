// The transfer worker against the bundled test site, through the real libcurl.

#include "forms/messages.h"
#include "forms/upload.h"
#include "support/pictures.h"
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

using Message = QPair<QString, QString>;
using Messages = QList<Message>;

// A test site, a worker with short time-outs pointed at it, a picture list,
// and a record of every message the worker shows.
struct Harness
{
    explicit Harness(const TestSite::Options& options = {}, int pictures = 0) : site(options)
    {
        QVERIFY(site.start());
        worker.setTimeouts({2, 2});
        worker.setLoginData(site.url(), options.user, options.password);
        worker.setCategory(7);
        QVERIFY(pictures::write(pictures::pattern(40, 30), dir.filePath("pic.png")));
        for (int i = 0; i < pictures; ++i)
            picturelist::appendFileRow(model, dir.filePath("pic.png"));
        worker.setFilelistData(model);
        messages::setHandler([this](const QString& t, const QString& m) { seen.append({t, m}); });
    }
    ~Harness() { messages::setHandler({}); }

    // Waits until the run has ended and its end was handled on the GUI thread.
    bool finish(int timeoutMs = 20000)
    {
        if (finished.isEmpty() && !finished.wait(timeoutMs))
            return false;
        worker.wait();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        finished.clear();
        return true;
    }
    QStringList routes() const
    {
        QStringList all;
        for (const QJsonObject& line : site.log())
            all << line.value("route").toString();
        return all;
    }

    TestSite site;
    QTemporaryDir dir;
    QStandardItemModel model{0, picturelist::ColumnCount};
    uploadThread worker;
    QSignalSpy finished{&worker, &QThread::finished};
    QSignalSpy loggedIn{&worker, &uploadThread::loginFinished};
    QSignalSpy categories{&worker, &uploadThread::updateCategories};
    Messages seen;
};

TestSite::Options account(const QString& user, const QString& password)
{
    TestSite::Options options;
    options.user = user;
    options.password = password;
    return options;
}

class WorkerTest : public QObject
{
    Q_OBJECT

private slots:
    void login_data();
    void login();
    void passwordsAsTyped_data();
    void passwordsAsTyped();
    void transferFailures_data();
    void transferFailures();
    void categoryPage_data();
    void categoryPage();
    void busyWorkerStartsNoSecondJob();
    void everyRunLogsInAnew();
    void cancel();
    void progressWindowGoesAfterRun_data();
    void progressWindowGoesAfterRun();
    void progressOnlyForRequestsWithBody();
    void realMessageBox();

private:
    curl::Global curlGlobal;
};

void WorkerTest::login_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("accepted") << "" << "secret" << true;
    QTest::newRow("wrong password") << "" << "wrong" << false;
    QTest::newRow("zero byte before title") << "zero-before" << "secret" << false;
    QTest::newRow("zero byte after title") << "zero-after" << "secret" << true;
    QTest::newRow("redirect") << "redirect" << "secret" << false;
    QTest::newRow("empty answer") << "empty" << "secret" << false;
    QTest::newRow("status 500, normal page") << "status500" << "secret" << true;
}

// A login is judged by the marker alone; a refused one is told once and ends
// the run without another request.
void WorkerTest::login()
{
    QFETCH(QString, fault);
    QFETCH(QString, password);
    QFETCH(bool, accepted);

    Harness h(account("admin", "secret"));
    if (!fault.isEmpty())
        QVERIFY(h.site.setFault("login", fault));
    h.worker.setLoginData(h.site.url(), "admin", password);
    h.worker.getCategories();
    QVERIFY(h.finish());

    QCOMPARE(h.seen, accepted ? Messages() : Messages({{"login error", "could not log in"}}));
    QCOMPARE(h.loggedIn.size(), 1);
    QCOMPARE(h.loggedIn.first().first().toBool(), accepted);
    QCOMPARE(h.categories.size(), accepted ? 1 : 0);
    QCOMPARE(h.routes(), accepted ? QStringList({"login", "gallery"}) : QStringList({"login"}));
}

void WorkerTest::passwordsAsTyped_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    QTest::newRow("form delimiters") << "admin" << "a&b=c+d%e f";
    QTest::newRow("percent escapes") << "admin" << "%41%2B";
    QTest::newRow("latin-1 letters") << QString::fromUtf8("Jürgen") << QString::fromUtf8("Päßwörd€");
}

// Whatever the user typed reaches the site as typed (in Latin-1).
void WorkerTest::passwordsAsTyped()
{
    QFETCH(QString, user);
    QFETCH(QString, password);

    // The site compares Latin-1 bytes; "€" has none and travels as "?".
    const QString onSite = QString::fromLatin1(password.toLatin1());
    Harness h(account(user, onSite));
    h.worker.setLoginData(h.site.url(), user, password);
    h.worker.getCategories();
    QVERIFY(h.finish());

    QCOMPARE(h.seen, Messages());
    QCOMPARE(h.categories.size(), 1);
    const QJsonObject form = h.site.log("login").first().value("form").toObject();
    QCOMPARE(form.value("pass").toString(), onSite);
    QCOMPARE(form.value("name").toString(), user);
}

void WorkerTest::transferFailures_data()
{
    QTest::addColumn<bool>("siteUp");
    QTest::addColumn<int>("code");
    QTest::newRow("site down") << false << int(CURLE_COULDNT_CONNECT);
    QTest::newRow("site stalls") << true << int(CURLE_OPERATION_TIMEDOUT);
}

// No request hangs: a site that is down or stops answering ends the run with
// libcurl's own words.
void WorkerTest::transferFailures()
{
    QFETCH(bool, siteUp);
    QFETCH(int, code);

    Harness h;
    if (siteUp) {
        QVERIFY(h.site.setFault("gallery", "stall", 0, 30));
    } else {
        h.site.stop(); // nothing listens on that port any more
    }
    QElapsedTimer clock;
    clock.start();
    h.worker.getCategories();
    QVERIFY(h.finish());
    QVERIFY2(clock.elapsed() < 15000, "the time-out did not end the request");
    QCOMPARE(h.seen, Messages({{"curl", transfer::describe(CURLcode(code))}}));
    QCOMPARE(h.categories.size(), 0);
}

void WorkerTest::categoryPage_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("expectedTitle");
    QTest::addColumn<bool>("emitted");

    QTest::newRow("normal page") << "" << "" << true;
    QTest::newRow("page without categories") << "no-categories" << "error" << false;
    QTest::newRow("zero byte before marker") << "zero-before" << "error" << false;
    QTest::newRow("zero byte after marker") << "zero-after" << "" << true;
    QTest::newRow("empty page") << "empty" << "error" << false;
    QTest::newRow("redirect") << "redirect" << "error" << false;
    QTest::newRow("connection closed mid-page") << "close" << "curl" << false;
}

// The page is handed over whole (zero bytes and all) only when it holds the
// marker before any zero byte; the request carries the login's session.
void WorkerTest::categoryPage()
{
    QFETCH(QString, fault);
    QFETCH(QString, expectedTitle);
    QFETCH(bool, emitted);

    Harness h;
    if (!fault.isEmpty())
        QVERIFY(h.site.setFault("gallery", fault));
    h.worker.getCategories();
    QVERIFY(h.finish());

    QCOMPARE(h.seen.size(), expectedTitle.isEmpty() ? 0 : 1);
    if (expectedTitle == "error")
        QCOMPARE(h.seen.first(), Message("error", "no Categories found"));
    else if (!expectedTitle.isEmpty())
        QCOMPARE(h.seen.first().first, expectedTitle);
    QCOMPARE(h.categories.size(), emitted ? 1 : 0);
    const QJsonObject gallery = h.site.log("gallery").first();
    QVERIFY(gallery.value("session").toBool());
    QCOMPARE(gallery.value("method").toString(), QString("GET"));
    if (emitted) {
        const QByteArray page = h.categories.first().first().toByteArray();
        QVERIFY(page.contains("?gallery-S1200")); // bytes after a zero byte too
        QCOMPARE(page.contains('\0'), fault == "zero-after");
    }
}

// While a fetch runs, another fetch is dropped and an upload only shows a
// window, which goes when the fetch ends.
void WorkerTest::busyWorkerStartsNoSecondJob()
{
    Harness h({}, 1);
    QVERIFY(h.site.setFault("gallery", "stall", 0, 1));
    h.worker.getCategories();
    QVERIFY(h.site.waitForLog("gallery", 1));
    h.worker.getCategories();
    h.worker.startUpload();
    QPointer<Upload> window = h.worker.progressWindow();
    QVERIFY(window && window->isVisible());
    QVERIFY(h.finish());
    QTest::qWait(300);
    QVERIFY(!window);
    QCOMPARE(h.finished.size(), 0);
    QCOMPARE(h.categories.size(), 1);
    QCOMPARE(h.routes(), QStringList({"login", "gallery"}));
}

// The session lives in one run's handle only: the next run logs in again and
// sends no cookie with its login.
void WorkerTest::everyRunLogsInAnew()
{
    Harness h;
    for (int run = 0; run < 2; ++run) {
        h.worker.getCategories();
        QVERIFY(h.finish());
    }
    const QList<QJsonObject> log = h.site.log();
    QCOMPARE(h.routes(), QStringList({"login", "gallery", "login", "gallery"}));
    QCOMPARE(log.at(2).value("cookie").toString(), QString());
    QVERIFY(log.at(3).value("session").toBool());
    QVERIFY(log.at(1).value("cookie").toString() != log.at(3).value("cookie").toString());
}

// Cancel acts between requests: before the login nothing is sent; during it,
// the login completes and no picture follows; while idle, it does not touch
// the next job.
void WorkerTest::cancel()
{
    Harness h({}, 3);
    uploadThread* worker = &h.worker;
    // started() comes on the worker's thread just before the run begins.
    auto early = connect(worker, &QThread::started, worker, [worker] { worker->cancel(); },
                         Qt::DirectConnection);
    h.worker.startUpload();
    QVERIFY(h.finish());
    disconnect(early);
    QCOMPARE(h.site.log().size(), 0);

    QVERIFY(h.site.setFault("login", "stall", 0, 1));
    h.worker.startUpload();
    QVERIFY(h.site.waitForLog("login", 1));
    h.worker.cancel();
    QVERIFY(h.finish());
    QCOMPARE(h.loggedIn.size(), 1);
    QVERIFY(h.loggedIn.first().first().toBool());
    QCOMPARE(h.site.log("upload").size(), 0);

    QVERIFY(h.site.clearFaults());
    h.worker.cancel();
    h.worker.startUpload();
    QVERIFY(h.finish(30000));
    QCOMPARE(h.site.log("upload").size(), 3);
    QCOMPARE(h.seen, Messages());
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

    Harness h({}, pictures);
    h.worker.setLoginData(h.site.url(), "admin", password);
    for (int batch = 0; batch < 2; ++batch) { // each batch has a window of its own
        h.worker.startUpload();
        QPointer<Upload> window = h.worker.progressWindow();
        QVERIFY(window && window->isVisible());
        QVERIFY(h.finish());
        QVERIFY(!window);
    }
    QCOMPARE(h.site.log("login").size(), 2);
    QCOMPARE(h.site.log("upload").size(), password == "secret" ? 2 * pictures : 0);
    QCOMPARE(h.model.rowCount(), pictures); // a batch never changes the list
}

// Only requests that send a body report progress: the login's form body here,
// never the page fetch.
void WorkerTest::progressOnlyForRequestsWithBody()
{
    Harness h;
    QSignalSpy progress(&h.worker, &uploadThread::updateProgress);
    h.worker.getCategories();
    QVERIFY(h.finish());
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
    Harness h;
    messages::setHandler({});
    h.worker.setLoginData(h.site.url(), "admin", "wrong");
    QString title, text;
    bool workerWaited = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        title = box->windowTitle();
        text = box->text();
        workerWaited = h.worker.isRunning() && h.finished.isEmpty();
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(20);
    h.worker.getCategories();
    QVERIFY(h.finish());
    QCOMPARE(Message(title, text), Message("login error", "could not log in"));
    QVERIFY(workerWaited);
}

QTEST_MAIN(WorkerTest)
#include "tst_worker.moc"
