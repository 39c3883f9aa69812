// The program without a window, run as a process against the test site, and
// the demo script.

#include "support/pictures.h"
#include "support/session.h"
#include "support/testsite.h"

#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <tuple>

namespace {

// Runs `command` (the program first) in `dir`, in English, with the
// environment entries "NAME=value" added; VEMO_PASSWORD only when given.
// Returns the exit code (-1 for a crash or a hang), standard output and error.
std::tuple<int, QString, QString> run(const QStringList& command, const QString& dir,
                                      const QStringList& environment = {})
{
    static QTemporaryDir runtime; // as in a desktop session, so that Qt does not warn
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("VEMO_PASSWORD");
    env.remove("QT_LOGGING_RULES"); // the trace as the program itself sets it
    for (const QString& entry : QStringList{"LANGUAGE=en", "QT_QPA_PLATFORM=offscreen",
                                            "XDG_RUNTIME_DIR=" + runtime.path()} +
                                    environment)
        env.insert(entry.section('=', 0, 0), entry.section('=', 1));
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessEnvironment(env);
    process.start(command.first(), command.mid(1));
    const bool done =
        process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {done ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A working directory whose vemo.ini names the site address `website` and
// holds `ini`, with three pictures.
struct Work : WorkDir
{
    explicit Work(const QString& website,
                  const QByteArray& ini = "username=admin\npassword=secret\ncategory=7\n")
        : WorkDir("website=" + website.toLatin1() + "\n" + ini)
    {
        for (const char* name : {"one.jpg", "two.png", "three.png"})
            pictures::write(pictures::pattern(120, 90), QDir(path()).filePath(name));
        pictures::writeFile(QDir(path()).filePath("notes.png"), "no picture");
    }
};

} // namespace

class HeadlessTest : public QObject
{
    Q_OBJECT

private slots:
    // Options win over vemo.ini, which stays as it was; the password comes
    // from the environment and, like one written into the address, is never
    // printed, not even in the trace.
    void optionsOverrideSettings()
    {
        TestSite site({"editor", "Zebra-7531", {}});
        QVERIFY(site.start());
        const Work work("http://127.0.0.1:1/nothing",
                        "username=admin\npassword=stale-4242\ncategory=3\nresize=0\n");
        const QByteArray before = work.iniText();
        const auto [code, out, err] =
            run({VEMO_BIN, "--upload", "--verbose", "--site",
                 "http://editor:Quagga-8642@" + site.url().mid(7), "--user", "editor", "--category",
                 "250", "--resize", "60x40", "two.png"},
                work.path(), {"VEMO_PASSWORD=Zebra-7531"});
        QCOMPARE(code, 0);
        QVERIFY(err.contains("URL:")); // the trace is there ...
        for (const char* secret : {"Zebra", "4242", "Quagga"})
            QVERIFY2(!(out + err).contains(secret), secret);
        const QJsonObject upload = site.log("upload").value(0);
        QCOMPARE(upload["category"].toInt(), 250);
        QCOMPARE(QImage(upload["stored"].toString()).size(), QSize(53, 40));
        QCOMPARE(work.iniText(), before);
        QVERIFY(std::get<1>(run({VEMO_BIN, "--help"}, work.path())).contains("Exit status: 0"));

        // The window takes the same options and stores them, as if typed;
        // --upload-now ends it with 0 when every picture was sent.
        const Work window("http://127.0.0.1:1/old", "username=admin\npassword=Zebra-7531\n");
        const auto [shown, o, e] =
            run({VEMO_BIN, "--upload-now", "--site", site.url() + "/admin.php", "--user", "editor",
                 "-category", "250", "--resize=60x40", "two.png"},
                window.path());
        QVERIFY2(shown == 0, qPrintable(o + e));
        for (const QByteArray& line :
             QByteArrayList{"website=" + site.url().toLatin1(), "username=editor", "category=250",
                            "maxwidth=60"})
            QVERIFY2(window.iniText().contains("\n" + line + "\n"), line.constData());
        QCOMPARE(QImage(site.log("upload").value(1)["stored"].toString()).size(), QSize(53, 40));
    }

    void commands_data()
    {
        QTest::addColumn<QString>("fault"); // the site's
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("error");      // what standard error must hold; empty: nothing
        QTest::addColumn<QStringList>("before"); // a command run first
        const auto row = [](const char* name, const char* fault, const QString& arguments,
                            int exitCode, const QString& output, const char* error,
                            const QString& before = {}) {
            QTest::newRow(name) << QString(fault) << arguments.split(' ') << exitCode << output
                                << QString(error) << before.split(' ', Qt::SkipEmptyParts);
        };
        const QString upload = "--upload --comment Gr\u00fc\u00dfe one.jpg two.png three.png";
        row("all sent", "", upload, 0,
            "sent     one.jpg\nsent     two.png\nsent     three.png\n"
            "3 of 3 pictures uploaded to category 7\n",
            "");
        row("one refused", "upload:refuse:2", upload, 1,
            "sent     one.jpg\nFAILED   two.png: could not upload file\nsent     three.png\n"
            "2 of 3 pictures uploaded to category 7, 1 failed\n",
            "file upload error: could not upload file\n");
        row("one refused, as JSON", "upload:refuse:2", upload + " --json", 1,
            "{\"bytes\":N,\"file\":\"one.jpg\",\"reason\":\"\",\"result\":\"sent\"}\n"
            "{\"bytes\":0,\"file\":\"two.png\",\"reason\":\"could not upload file\",\"result\":"
            "\"failed\"}\n{\"bytes\":N,\"file\":\"three.png\",\"reason\":\"\",\"result\":\"sent\"}"
            "\n"
            "{\"bytes\":N,\"category\":7,\"failed\":1,\"not sent\":0,\"sent\":2,\"skipped\":0,"
            "\"summary\":true}\n",
            "file upload error: could not upload file\n");
        row("sent before, left out", "", upload + " --json --skip-sent", 0,
            "{\"bytes\":0,\"file\":\"one.jpg\",\"reason\":\"already sent on DATE\",\"result\":"
            "\"skipped\"}\n{\"bytes\":N,\"file\":\"two.png\",\"reason\":\"\",\"result\":\"sent\"}\n"
            "{\"bytes\":N,\"file\":\"three.png\",\"reason\":\"\",\"result\":\"sent\"}\n"
            "{\"bytes\":N,\"category\":7,\"failed\":0,\"not sent\":0,\"sent\":2,\"skipped\":1,"
            "\"summary\":true}\n",
            "", "--upload --no-resize one.jpg");
        row("reasons, a name with a newline", "",
            "--upload --resize 60x40 --comment Gr\u00fc\u00dfe one.jpg new\nline.png notes.png", 1,
            "sent     one.jpg\nFAILED   new\\nline.png: does not exist\n"
            "SKIPPED  notes.png: not a picture that can be read\n"
            "1 of 3 pictures uploaded to category 7, 1 failed, 1 skipped\n",
            "");
        row("login refused", "login:refuse", upload, 2, "", "login error: could not log in\n");
        row("categories, CA certificates given", "", "--list-categories --cacert ca.pem", 0,
            "     3  Allgemein\n     7  Urlaub & Reisen\n    12    Italien\n"
            "    45      Rom & Umgebung\n    13    Fr\u00e4nkische Schweiz\n   250  Tom & Jerry\n"
            "   251    Cartoons <alt>\n  1200  Archiv 2006\n",
            "");
        row("categories, none on the page", "gallery:no-categories", "--list-categories", 1, "",
            "error: no Categories found");
        row("category not in the tree", "", "--upload --category 8 one.jpg", 2, "",
            "category 8 is not in the site's gallery; --list-categories shows");
        row("no category", "", "--upload one.jpg", 2, "", "no category: give --category ID");
        row("tree not read: nothing refused", "gallery:no-categories",
            "--upload --category 8 one.jpg", 1,
            "FAILED   one.jpg: could not upload file\n0 of 1 pictures uploaded to category 8, 1 "
            "failed\n",
            "file upload error");
        row("no files", "", "--upload", 2, "", "at least one FILE");
        row("both jobs", "", "--upload --list-categories one.jpg", 2, "", "either --upload or");
        row("bad size", "", "--upload --resize big one.jpg", 2, "", "WIDTHxHEIGHT");
        row("bad category", "", "--upload --category x one.jpg", 2, "",
            "--category needs a number");
        row("no site", "", "--upload --site= one.jpg", 2, "", "no site address");
        row("foreign scheme", "", "--list-categories --site ftp://a/b", 2, "",
            "must begin with http://");
    }

    // One line per picture and a summary, and an exit status telling whether
    // all arrived; the category tree with its numbers; usage errors, which
    // send nothing.
    void commands()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, error);
        QFETCH(QStringList, before);
        TestSite site(
            {"admin", "secret", fault.isEmpty() ? QStringList() : QStringList{"--fault", fault}});
        QVERIFY(site.start());
        const Work work(site.url(), QTest::currentDataTag() == QString("no category")
                                        ? "username=admin\npassword=secret\n"
                                        : "username=admin\npassword=secret\ncategory=7\n");
        if (!before.isEmpty())
            QCOMPARE(std::get<0>(run(QStringList{VEMO_BIN} + before, work.path())), 0);
        const qsizetype earlier = site.log("upload").size();
        const auto [code, out, err] = run(QStringList{VEMO_BIN} + arguments, work.path());
        QCOMPARE(code, exitCode);
        QCOMPARE(QString(out)
                     .replace(QRegularExpression("\"bytes\":[1-9][0-9]*"), "\"bytes\":N")
                     .replace(QRegularExpression("on 20[0-9-]+ [0-9:]+"), "on DATE"),
                 output);
        QVERIFY2(error.isEmpty() ? err.isEmpty() : err.contains(error), qPrintable(err));
        // Usage errors send nothing; only the tree may be read for them.
        QVERIFY(exitCode != 2 || site.log("upload").isEmpty());
        QCOMPARE(site.log().isEmpty(),
                 exitCode == 2 && fault.isEmpty() && !error.contains("site's gallery"));
        int arrived = 0; // with the comment
        for (const QJsonObject& line : site.log("upload").mid(earlier))
            arrived += line["result"] == "ok" && line["parts"][1]["value"] == "Gr\u00fc\u00dfe";
        QCOMPARE(arrived, out.count(QRegularExpression("^sent |\"result\":\"sent\"",
                                                       QRegularExpression::MultilineOption)));
    }

    // The demo starts its own site, uploads, and leaves no process behind.
    void demoScript()
    {
        QTemporaryDir demo;
        const auto [code, out, err] =
            run({"bash", VEMO_SOURCE_DIR "/scripts/run", "--no-window"}, demo.path(),
                {"VEMO_BUILD_DIR=" VEMO_BUILD_DIR, "VEMO_DEMO_DIR=" + demo.path()});
        QVERIFY2(code == 0 && out.contains("pictures uploaded"), qPrintable(out + err));
        const int pid = (out + err).section("site pid ", 1).section('\n', 0, 0).toInt();
        QVERIFY2(pid > 0, qPrintable(out + err));
        QTRY_VERIFY(::kill(pid, 0) != 0 && errno == ESRCH);
        QVERIFY(QFile::exists(demo.filePath("vemo.ini"))); // the demo's own settings
    }
};

QTEST_GUILESS_MAIN(HeadlessTest)
#include "tst_headless.moc"
