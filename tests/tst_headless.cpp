// The program without a window, run as a separate process against the test
// site, and the demo script.

#include "support/pictures.h"
#include "support/testsite.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the program in `workDir` with `arguments`; `environment` entries are
// added to (or, with an empty value, removed from) the test's own.
Result vemo(const QString& workDir, const QStringList& arguments,
            const QStringList& environment = {})
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("VEMO_PASSWORD");
    for (const QString& entry : environment) {
        const QString name = entry.section('=', 0, 0);
        const QString value = entry.section('=', 1);
        if (value.isEmpty())
            env.remove(name);
        else
            env.insert(name, value);
    }
    // As in a desktop session; without it Qt warns about the missing directory.
    static QTemporaryDir runtimeDir;
    if (!env.contains("XDG_RUNTIME_DIR")) {
        QFile::setPermissions(runtimeDir.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("XDG_RUNTIME_DIR", runtimeDir.path());
    }
    process.setProcessEnvironment(env);
    process.start(VEMO_BIN, arguments);
    Result result;
    if (!process.waitForFinished(120000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A working directory with a settings file and a few pictures.
struct Work
{
    explicit Work(const QByteArray& ini)
    {
        QFile file(dir.filePath("vemo.ini"));
        file.open(QIODevice::WriteOnly);
        file.write("[General]\n" + ini);
        file.close();
        for (const char* name : {"one.jpg", "two.png", "three.png"})
            pictures::write(pictures::pattern(120, 90), dir.filePath(name));
    }
    QString path() const { return dir.path(); }
    QTemporaryDir dir;
};

} // namespace

class HeadlessTest : public QObject
{
    Q_OBJECT

private slots:
    void uploadsEveryPicture();
    void refusedPictureGivesOne();
    void refusedLoginGivesTwo_data();
    void refusedLoginGivesTwo();
    void optionsOverrideWithoutRewritingSettings();
    void passwordIsNeverPrinted();
    void listCategories();
    void usageErrors_data();
    void usageErrors();
    void demoScriptStopsItsSite();
};

void HeadlessTest::uploadsEveryPicture()
{
    TestSite site;
    QVERIFY(site.start());
    Work work("website=" + site.url().toLatin1() +
              "\nusername=admin\npassword=secret\ncategory=7\nresize=0\n");
    const Result r =
        vemo(work.path(), {"--upload", "--comment", "Grüße", "one.jpg", "two.png", "three.png"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString("sent     one.jpg\nsent     two.png\nsent     three.png\n"
                            "3 of 3 pictures uploaded to category 7\n"));
    const QList<QJsonObject> uploads = site.log("upload");
    QCOMPARE(uploads.size(), 3);
    for (const QJsonObject& upload : uploads) {
        const QJsonArray parts = upload.value("parts").toArray();
        QCOMPARE(parts.at(1).toObject().value("value").toString(), QString::fromUtf8("Grüße"));
    }
    // Resizing off: the files arrive as they are.
    QCOMPARE(fileBytes(uploads.at(1).value("stored").toString()),
             fileBytes(work.dir.filePath("two.png")));
}

void HeadlessTest::refusedPictureGivesOne()
{
    TestSite site;
    QVERIFY(site.start());
    QVERIFY(site.setFault("upload", "refuse", 2));
    Work work("website=" + site.url().toLatin1() +
              "\nusername=admin\npassword=secret\ncategory=3\n");
    const Result r = vemo(work.path(), {"--upload", "one.jpg", "two.png", "three.png"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QString("sent     one.jpg\nFAILED   two.png\nsent     three.png\n"
                            "2 of 3 pictures uploaded to category 3, 1 not\n"));
    QCOMPARE(r.err, QString("file upload error: could not upload file\n"));
    int stored = 0;
    for (const QJsonObject& upload : site.log("upload"))
        stored += upload.value("result").toString() == "ok";
    QCOMPARE(stored, 2);
}

void HeadlessTest::refusedLoginGivesTwo_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("message");
    QTest::newRow("English") << QStringList({"LANGUAGE=en"}) << "login error: could not log in\n";
    // No vemo_de in the working directory: a German system gets the built-in one.
    QTest::newRow("German system")
        << QStringList({"LANGUAGE=de", "LC_ALL=", "LC_MESSAGES=", "LANG=de_DE.UTF-8"})
        << "login error: Anmeldung fehlgeschlagen\n";
}

void HeadlessTest::refusedLoginGivesTwo()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, message);

    TestSite site;
    QVERIFY(site.start());
    Work work("website=" + site.url().toLatin1() + "\nusername=admin\npassword=wrong\n");
    const Result r = vemo(work.path(), {"--upload", "one.jpg"}, environment);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.err, message);
    QCOMPARE(r.out, QString());
    QCOMPARE(site.log("upload").size(), 0);
}

void HeadlessTest::optionsOverrideWithoutRewritingSettings()
{
    TestSite::Options options;
    options.user = "editor";
    TestSite site(options);
    QVERIFY(site.start());
    Work work("website=http://127.0.0.1:1/nothing\nusername=admin\npassword=secret\n"
              "category=3\nresize=0\nmaxwidth=1000\nmaxheight=1000\n");
    const QByteArray before = fileBytes(work.dir.filePath("vemo.ini"));
    const Result r = vemo(work.path(), {"--upload", "--site", site.url(), "--user", "editor",
                                        "--category", "250", "--resize", "60x40", "two.png"});
    QCOMPARE(r.exitCode, 0);
    const QList<QJsonObject> uploads = site.log("upload");
    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads.first().value("category").toInt(), 250);
    QImage arrived;
    QVERIFY(arrived.loadFromData(fileBytes(uploads.first().value("stored").toString())));
    QCOMPARE(arrived.size(), QSize(53, 40));
    QCOMPARE(fileBytes(work.dir.filePath("vemo.ini")), before);
}

void HeadlessTest::passwordIsNeverPrinted()
{
    TestSite::Options options;
    options.password = "Zebra-7531-secret";
    TestSite site(options);
    QVERIFY(site.start());
    Work work("website=" + site.url().toLatin1() +
              "\nusername=admin\npassword=stale\ncategory=3\n");
    // From the environment, with the whole diagnostic trace on.
    const Result r = vemo(work.path(), {"--upload", "--verbose", "one.jpg"},
                          {"VEMO_PASSWORD=Zebra-7531-secret"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.contains("URL:")); // the trace is there ...
    QVERIFY(!r.err.contains("Zebra"));
    QVERIFY(!r.out.contains("Zebra"));
    QVERIFY(!r.err.contains("stale"));
}

void HeadlessTest::listCategories()
{
    TestSite site;
    QVERIFY(site.start());
    Work work("website=" + site.url().toLatin1() + "\nusername=admin\npassword=secret\n");
    const Result r = vemo(work.path(), {"--list-categories"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QString::fromUtf8("     3  Allgemein\n"
                                      "     7  Urlaub & Reisen\n"
                                      "    12    Italien\n"
                                      "    45      Rom & Umgebung\n"
                                      "    13    Fränkische Schweiz\n"
                                      "   250  Tom & Jerry\n"
                                      "   251    Cartoons <alt>\n"
                                      "  1200  Archiv 2006\n"));
    QCOMPARE(site.log("upload").size(), 0);
}

void HeadlessTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("no files") << QStringList({"--upload"}) << "at least one FILE";
    QTest::newRow("both jobs") << QStringList({"--upload", "--list-categories", "a.jpg"})
                               << "either --upload or --list-categories";
    QTest::newRow("bad size") << QStringList({"--upload", "--resize", "big", "a.jpg"})
                              << "WIDTHxHEIGHT";
    QTest::newRow("bad category") << QStringList({"--upload", "--category", "x", "a.jpg"})
                                  << "--category needs a number";
    QTest::newRow("no site") << QStringList({"--upload", "--site", "", "a.jpg"})
                             << "no site address";
}

void HeadlessTest::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    Work work("username=admin\n");
    const Result r = vemo(work.path(), arguments);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
}

// The demo starts its own site, uploads, and leaves no process behind.
void HeadlessTest::demoScriptStopsItsSite()
{
    QTemporaryDir demo;
    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VEMO_BUILD_DIR", VEMO_BUILD_DIR);
    env.insert("VEMO_DEMO_DIR", demo.path());
    script.setProcessEnvironment(env);
    script.start("bash", {QString(VEMO_SOURCE_DIR) + "/scripts/run", "--no-window"});
    QVERIFY(script.waitForFinished(120000));
    const QString out = QString::fromUtf8(script.readAllStandardOutput());
    const QString err = QString::fromUtf8(script.readAllStandardError());
    QVERIFY2(script.exitCode() == 0, qPrintable(out + err));
    QVERIFY2(out.contains("pictures uploaded"), qPrintable(out));

    const QRegularExpressionMatch pid = QRegularExpression("site pid (\\d+)").match(out + err);
    QVERIFY2(pid.hasMatch(), qPrintable(out + err));
    QTRY_VERIFY(::kill(pid.captured(1).toInt(), 0) != 0 && errno == ESRCH);
    // The demo's own settings, never one in the caller's directory.
    QVERIFY(QFile::exists(demo.filePath("vemo.ini")));
}

QTEST_GUILESS_MAIN(HeadlessTest)
#include "tst_headless.moc"
