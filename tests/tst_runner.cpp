// The transfer worker on its own thread: whole jobs against the test site,
// watched through the worker's reports and the site's request log.

#include "core/batch/lookahead.h"
#include "core/batch/uploadthread.h"
#include "core/history/sentjournal.h"
#include "core/site/curl.h"
#include "support/pictures.h"
#include "support/testsite.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

#include <sys/stat.h>

namespace {

// A test site with `fault`, files to send (a.png, b.svg, notes.txt, pipe), a job
// for the site with `pictures` copies of a.png, and a worker with spies on
// its reports.
struct Run
{
    explicit Run(int pictures = 0, const QString& fault = {})
        : site({"admin", "secret", fault.isEmpty() ? QStringList() : QStringList{"--fault", fault}})
    {
        up = site.start() && pictures::write(pictures::pattern(300, 150), dir.filePath("a.png")) &&
             pictures::writeFile(dir.filePath("b.svg"), "<svg xmlns='http://www.w3.org/2000/svg' "
                                                        "width='300' height='150'/>") &&
             pictures::writeFile(dir.filePath("notes.txt"), "not a picture");
        // Never to be opened: it would block whoever reads it.
        up = up && mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600) == 0;
        job.login = {site.url(), "admin", "secret"};
        job.category = 7;
        job.maxwidth = job.maxheight = 100;
        job.rows.fill({"a.png", "", dir.filePath("a.png"), {}}, pictures);
    }

    QTemporaryDir dir;
    TestSite site;
    bool up;
    UploadJob job;
    uploadThread worker;
    QSignalSpy started{&worker, &uploadThread::pictureStarted};
    QSignalSpy finished{&worker, &uploadThread::pictureFinished};
    QSignalSpy loggedIn{&worker, &uploadThread::loginFinished};
    QSignalSpy fetched{&worker, &uploadThread::categoriesFetched};
    QSignalSpy requested{&worker, &uploadThread::uploadRequested};
    QSignalSpy ended{&worker, &uploadThread::jobEnded};
};

} // namespace

class RunnerTest : public QObject
{
    Q_OBJECT
    curl::Global global_;

private slots:
    void batch_data()
    {
        QTest::addColumn<int>("resize");
        // Each row's name, then its Outcome::Kind (4: Unreadable, 5: NotPrepared)
        // and message title, or what reached the site: the file as it is, or a
        // JPEG of the size given.
        QTest::addColumn<QString>("expected");
        QTest::newRow("resize off")
            << 0
            << "a.png as is|pipe 4 |b.svg JPEG 100x50|clipboard.jpg JPEG 300x150|"
               "missing.png 4 ";
        QTest::newRow("resize on") << 2
                                   << "notes.txt 5 |a.png JPEG 100x50|pipe 4 |clipboard.jpg "
                                      "JPEG 100x50|b.svg JPEG 100x50";
    }

    // Through the window's interface: each row's outcome, and what reached the
    // site in order: the file as it is, or prepared as JPEG (within 100 x 100
    // when resizing). While the batch runs, nothing new starts.
    void batch()
    {
        QFETCH(int, resize);
        QFETCH(QString, expected);
        Run r(0, "upload:stall:1:1");
        QStandardItemModel model(0, picturelist::ColumnCount);
        for (const QString& row : expected.split('|'))
            row.startsWith("clipboard.jpg")
                ? picturelist::appendClipboardRow(model, pictures::pattern(300, 150))
                : picturelist::appendFileRow(model, r.dir.filePath(row.section(' ', 0, 0)));
        r.worker.setLoginData(r.site.url(), "admin", "secret");
        r.worker.setCategory(7);
        r.worker.setResize(resize);
        r.worker.setResizeData(100, 100);
        r.worker.setFilelistData(model);
        r.worker.startUpload();
        QVERIFY(r.up && r.site.waitForLog("upload", 1));
        r.worker.getCategories();
        r.worker.startUpload();
        QTRY_COMPARE_WITH_TIMEOUT(r.ended.size(), 1, 30000);
        r.worker.getCategories(); // the next run, with a number of its own
        QTRY_COMPARE_WITH_TIMEOUT(r.ended.size(), 2, 30000);
        QCOMPARE(r.requested, (QList<QVariantList>{{1, true}, {1, false}})); // both by run 1
        QCOMPARE(r.ended, (QList<QVariantList>{{1}, {2}}));
        QCOMPARE(r.fetched.size() + r.site.log("gallery").size(), 2); // run 2's alone

        QStringList seen;
        for (int i = 0, sent = 0; i < r.finished.size(); ++i) {
            const Outcome o = r.finished[i][1].value<Outcome>();
            const QJsonObject line = r.site.log("upload").value(o.ok() ? sent++ : -1);
            const QImage jpeg =
                QImage::fromData(pictures::readFile(line["stored"].toString("-")), "JPEG");
            const auto name = model.item(i)->text(), file = line["parts"][0]["filename"].toString();
            seen << (!o.ok() ? name + " " + QString::number(o.kind) + " " + o.title
                     : pictures::readFile(line["stored"].toString("-")) ==
                             pictures::readFile(r.dir.filePath(name))
                         ? file + " as is"
                         : file + QString(" JPEG %1x%2").arg(jpeg.width()).arg(jpeg.height()));
        }
        QCOMPARE(seen, expected.split('|'));
    }

    void stops_data()
    {
        QTest::addColumn<int>("sent");
        // The site's fault. Once the site has seen its request, a stalled one is
        // cancelled; a refused one is acknowledged after a while.
        QTest::addColumn<QString>("fault");
        QTest::newRow("cancel while the 3rd of 5 is sent") << 3 << "upload:stall:3:1";
        QTest::newRow("cancel during login") << 0 << "login:stall:1:1";
        QTest::newRow("login refused") << 0 << "login:refuse";
        QTest::newRow("picture refused") << 5 << "upload:refuse:1";
    }

    // A batch stops after the picture being sent, or after the login; no
    // request follows a refused login. Told to, the worker waits after a
    // failure that needs a message until it has been seen.
    void stops()
    {
        QFETCH(int, sent);
        QFETCH(QString, fault);
        Run r(5, fault);
        r.worker.setWaitForAcknowledgement(true);
        r.job.resize = 2; // prepared ahead: Cancel drops what was
        r.worker.startBatch(r.job);
        QVERIFY(r.up && r.requested.value(0) == QVariantList({1, true}));
        const QString target = fault.section(':', 0, 0);
        const int nth = qMax(1, fault.section(':', 2, 2).toInt());
        QVERIFY(r.site.waitForLog(target, nth));
        if (fault.contains("stall"))
            r.worker.cancel();
        QTest::qWait(500);
        QCOMPARE(r.site.log().size(), target == "upload" ? nth + 1 : nth); // nothing more yet
        r.worker.acknowledge();
        QTRY_COMPARE_WITH_TIMEOUT(r.ended.size(), 1, 30000);
        QVERIFY(r.loggedIn.size() == 1 && r.started.size() == sent && r.finished.size() == 5);
        for (int row = sent; row < 5; ++row) // every row is reported, those never started too
            QVERIFY(fault.contains("refuse:1") ||
                    results::of(r.finished[row][1].value<Outcome>()) == results::NotSent);
        QCOMPARE(r.loggedIn[0][0].value<Outcome>().ok(), fault != "login:refuse");
        QCOMPARE(r.site.log().size(), 1 + sent);
    }

    // Photos prepared ahead on the pool arrive in list order, each turned,
    // fitting the limits, with its own date and camera and without its location.
    void preparedAhead()
    {
        Run r(0, "upload:stall:1:1"); // the pool works on while the first answer is held
        const QStringList tags{"Exif.Photo.DateTimeOriginal=2024:05:01 10:00:0",
                               "Exif.Image.Make=Camera", "Exif.GPSInfo.GPSLatitudeRef=N"};
        for (int i = 0; i < 6; ++i) {
            const QString name = QString("p%1.jpg").arg(i);
            QStringList photo = tags;
            photo[0] += QString::number(i);
            photo << QString("Exif.Image.Orientation=%1").arg(i % 2 ? 6 : 1);
            QVERIFY(pictures::writeFile(
                r.dir.filePath(name),
                pictures::withMetadata(pictures::jpeg(pictures::quadrants({400, 200})), photo)));
            r.job.rows.append({name, "", r.dir.filePath(name), {}});
        }
        r.job.resize = 2;
        r.worker.startBatch(r.job);
        QVERIFY(r.up);
        QTRY_COMPARE_WITH_TIMEOUT(r.ended.size(), 1, 30000);
        const QList<QJsonObject> uploads = r.site.log("upload");
        QCOMPARE(uploads.size(), 6);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(uploads[i]["parts"][0]["filename"].toString(), QString("p%1.jpg").arg(i));
            const QByteArray bytes = pictures::readFile(uploads[i]["stored"].toString());
            QCOMPARE(QImage::fromData(bytes).size(), i % 2 ? QSize(50, 100) : QSize(100, 50));
            const QString kept = pictures::exifTags(bytes).join(' ');
            QVERIFY(kept.contains(QString("DateTimeOriginal=2024:05:01 10:00:0%1").arg(i)) &&
                    kept.contains("Make=Camera") && kept.contains("Orientation=1") &&
                    !kept.contains("GPS"));
        }
    }

    void journal_data()
    {
        QTest::addColumn<QString>("change"); // between the two batches
        QTest::addColumn<int>("first");      // resize, of the first batch
        QTest::addColumn<int>("second");     // and of the second
        QTest::addColumn<bool>("skipped");
        QTest::newRow("same content, same category") << "" << 0 << 0 << true;
        QTest::newRow("scaled, then as it is") << "" << 2 << 0 << true;
        QTest::newRow("as it is, then scaled") << "" << 0 << 2 << true;
        QTest::newRow("changed content") << "content" << 0 << 0 << false;
        QTest::newRow("other category") << "category" << 2 << 2 << false;
        QTest::newRow("torn last line") << "torn" << 0 << 0 << true;
        QTest::newRow("foreign file") << "foreign" << 0 << 0 << false;
    }

    // What the site accepted is recorded, with the hash of the file's content
    // however it was sent; skipping pictures sent before leaves out the same
    // content sent to the same site and category. A line cut short by a crash
    // is dropped; a file that is not such a record is moved aside.
    void journal()
    {
        QFETCH(QString, change);
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(bool, skipped);
        Run r(1);
        const QString path = r.dir.filePath("vemo-sent.jsonl");
        r.job.options.journal = std::make_shared<history::SentJournal>(path);
        r.job.options.skipSent = true;
        r.job.resize = first;
        QVERIFY(r.up);
        r.worker.startBatch(r.job);
        QTRY_COMPARE_WITH_TIMEOUT(r.ended.size(), 1, 30000);
        if (change == "content")
            QVERIFY(pictures::write(pictures::pattern(301, 150), r.dir.filePath("a.png")));
        if (change == "category")
            r.job.category = 3;
        if (change == "torn" || change == "foreign")
            QVERIFY(pictures::writeFile(path, change == "torn"
                                                  ? pictures::readFile(path) + "{\"time\":\"20"
                                                  : "name,size\na.png,1\n"));
        // As at the next start.
        r.job.options.journal = std::make_shared<history::SentJournal>(path);
        QCOMPARE(r.job.options.journal->load().contains(".damaged"), change == "foreign");
        r.job.resize = second;
        r.worker.startBatch(r.job);
        QTRY_COMPARE_WITH_TIMEOUT(r.ended.size(), 2, 30000);

        const Outcome o = r.finished.last()[1].value<Outcome>();
        QCOMPARE(o.kind, skipped ? Outcome::AlreadySent : Outcome::Ok);
        QVERIFY(!skipped || o.text.startsWith("already sent on 20"));
        QCOMPARE(r.site.log("upload").size(), skipped ? 1 : 2);
        const QList<QByteArray> lines = pictures::readFile(path).split('\n');
        QCOMPARE(lines.size(), change == "foreign" || skipped ? 3 : 4); // the last one empty
        for (const QByteArray& line : lines.mid(1, lines.size() - 2))
            QVERIFY2(!QJsonDocument::fromJson(line)["time"].toString().isEmpty(), line.data());
        QVERIFY(!lines.join().contains("secret") && !lines.join().contains("admin"));
        QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
        QCOMPARE(history::SentJournal::siteKey("HTTP://u:pw@Example.org/orva/#x"),
                 QString("http://example.org/orva"));
    }

    void lookahead_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("budget");       // in pictures
        QTest::addColumn<int>("answers");      // how often `stopped` says no before it says yes
        QTest::addColumn<QString>("expected"); // each row: Prepared or Dropped
        // With a budget of one picture, `stopped` is asked before a picture is queued and
        // again before its work begins, one picture after the other.
        QTest::newRow("cancelled with the look-ahead full") << 1 << 100 << 2 << "DDDD";
        QTest::newRow("cancelled between queueing and work") << 2 << 1 << 1 << "DDDD";
        QTest::newRow("one at a time, cancelled at the 2nd") << 2 << 1 << 3 << "PDDD";
    }

    // Whenever Cancel comes, a row to be prepared is prepared or dropped, never handed
    // back unprepared (which would send the file as it is).
    void lookahead()
    {
        QFETCH(int, threads);
        QFETCH(int, budget);
        QFETCH(int, answers);
        QFETCH(QString, expected);
        Run r(4);
        r.job.resize = 2;
        r.job.options.thumbnails = false;
        const qint64 cost = imageprep::decodeCost(r.dir.filePath("a.png"), {100, 100});
        int asked = 0;
        Lookahead lookahead(
            r.job, [&] { return ++asked > answers; }, threads, budget * cost);
        QString seen;
        for (int row = 0; row < 4; ++row) {
            const Lookahead::Ready ready = lookahead.take(row);
            QVERIFY(ready.dropped ? !ready.prepared : ready.picture.size == QSize(100, 50));
            seen += ready.dropped ? 'D' : 'P';
        }
        QCOMPARE(seen, expected);
    }

    // Destroying the worker abandons a transfer under way.
    void destroyedWhileStalled()
    {
        auto r = std::make_unique<Run>(1, "upload:stall:0:30");
        r->worker.startBatch(r->job);
        QVERIFY(r->up && r->requested.size() == 1);
        QVERIFY(r->site.waitForLog("upload", 1));
        const QDeadlineTimer deadline(5000);
        r.reset(); // the worker first, then the site
        QVERIFY2(!deadline.hasExpired(), "the worker waited for the stalled site");
    }
};

QTEST_MAIN(RunnerTest)
#include "tst_runner.moc"
