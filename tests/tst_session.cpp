// One job's conversation with the site: SiteSession on the test's own thread,
// through the real libcurl over loopback to the bundled test site, whose
// request log shows what arrived.

#include "core/site/address.h"
#include "core/site/curl.h"
#include "core/site/sitesession.h"
#include "support/pictures.h"
#include "support/testsite.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Records the progress reports; at the first one after `shrink` names a file,
// cuts that file short.
struct Recorder : transfer::ProgressReceiver
{
    QList<QPair<int, int>> reports;
    QString shrink;
    void reportProgress(int total, int now) override
    {
        reports.append({total, now});
        QFile::resize(std::exchange(shrink, QString()), 1000); // no file: nothing happens
    }
};

// A request the site is made to answer (after a login), and what the session
// must make of it. The site's password is "secret" when "wrong" is typed.
struct Exchange
{
    QString target; // login, gallery or upload
    QString fault;  // the site's fault: kind[:nth:seconds]
    Outcome::Kind kind;
    long code;         // the HTTP status of an answer, else libcurl's result code
    QString message;   // how the message of a failure begins: "title: text"
    QString file = {}; // the picture: "fifo", "shrinking" or a plain file; "fifo CA": the CA file
    qint64 cap = 0;    // the most read of an answer; 0: as usual
    QString user = "admin", password = "secret";
    QString scheme = "http"; // https: the site has a certificate of its own
    bool trusted = false;    // ... which the session is given
};

// A picture sent, and how its parts must arrive.
struct Wire
{
    QString name, comment, arrived, type;
    bool prepared; // sent from memory rather than from its file
};

} // namespace

Q_DECLARE_METATYPE(Exchange)
Q_DECLARE_METATYPE(Wire)

class SessionTest : public QObject
{
    Q_OBJECT
    curl::Global global_;
    QTemporaryDir dir_;
    QString cert_ = dir_.filePath("c.pem"), key_ = dir_.filePath("k.pem");
    static constexpr long timeout = CURLE_OPERATION_TIMEDOUT;

private slots:
    void initTestCase() // a certificate for the https site at 127.0.0.1
    {
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                  "-subj", "/CN=127.0.0.1", "-addext",
                                  "subjectAltName=IP:127.0.0.1", "-keyout", key_, "-out", cert_});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
    }

    void exchanges_data()
    {
        QTest::addColumn<Exchange>("x");
        const auto add = [](const char* name, const Exchange& x) { QTest::newRow(name) << x; };
        const QString login = "login error: could not log in", none = "error: no Categories found",
                      upload = "file upload error: could not upload file";
        const auto refused = Outcome::Refused, failed = Outcome::TransferFailed, ok = Outcome::Ok;
        const auto bad = Outcome::BadAddress, unread = Outcome::Unreadable,
                   large = Outcome::TooLarge;
        const long peer = CURLE_PEER_FAILED_VERIFICATION;
        add("wrong password", {"login", "", refused, 200, login, "", 0, "admin", "wrong"});
        add("form delimiters", {"login", "", ok, 200, "", "", 0, "a&b=c", "x+y%41 =&"});
        add("Latin-1", {"login", "", ok, 200, "", "", 0, "J\u00fcrgen", "P\u00e4\u00dfw\u00f6rd"});
        add("ftp", {"login", "", bad, 0, "error", "", 0, "admin", "secret", "ftp"});
        add("file", {"login", "", bad, 0, "error", "", 0, "admin", "secret", "file"});
        add("https, no CA", {"login", "", failed, peer, "curl", "", 0, "admin", "secret", "https"});
        add("https, CA given", {"login", "", ok, 200, "", "", 0, "admin", "secret", "https", true});
        add("login, zero byte before the title", {"login", "zero-before", refused, 200, login});
        add("login redirected, not followed", {"login", "redirect", refused, 302, login});
        add("login, status 500", {"login", "status500", refused, 500, login});
        add("gallery page", {"gallery", "", ok, 200, ""});
        add("no categories", {"gallery", "no-categories", refused, 200, none});
        add("zero byte before the marker", {"gallery", "zero-before", refused, 200, none});
        add("zero byte after the marker", {"gallery", "zero-after", ok, 200, ""});
        add("gallery, status 500", {"gallery", "status500", refused, 500, none});
        add("upload, status 500", {"upload", "status500", refused, 500, upload});
        add("upload refused", {"upload", "refuse", refused, 200, upload});
        add("endless login answer", {"login", "endless", large, 0, "curl"});
        add("endless page, 1 MiB read", {"gallery", "endless", large, 0, "curl", "", 1 << 20});
        add("trickling page", {"gallery", "trickle", failed, timeout, "curl"});
        add("stalled upload", {"upload", "stall:0:30", failed, timeout, "curl"});
        add("compressed page", {"gallery", "gzip", ok, 200, ""});
#ifdef Q_OS_UNIX
        add("FIFO as picture", {"upload", "", unread, CURLE_READ_ERROR, ": not a regular", "fifo"});
        add("FIFO as CA file", {"login", "", unread, 0, "error: the CA certificate file", "fifo CA",
                                0, "admin", "secret", "https", true});
#endif
        add("file shrinks", {"upload", "", unread, CURLE_READ_ERROR, "curl", "shrinking"});
    }

    // Only a real success counts; no answer holds a request for long or grows
    // without end; a picture file that cannot be read is not waited for.
    void exchanges()
    {
        QFETCH(Exchange, x);
        const QStringList tls = {"--tls-cert", cert_, "--tls-key", key_},
                          fault = {"--fault", x.target + ":" + x.fault};
        TestSite site({x.user, x.password == "wrong" ? "secret" : x.password,
                       (x.scheme == "https" ? tls : QStringList()) +
                           (x.fault.isEmpty() ? QStringList() : fault)});
        QVERIFY(site.start());
        const QString path = dir_.filePath("pic.png");
        QFile::remove(path);
#ifdef Q_OS_UNIX
        const bool fifo = x.file.startsWith("fifo");
        QVERIFY(!fifo || mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
#else
        const bool fifo = false;
#endif
        QVERIFY(fifo || pictures::writeFile(path, QByteArray(8 << 20, 'x')));
        Recorder recorder;
        SiteSession session({{x.scheme + "://" + site.url().section("//", 1), x.user, x.password},
                             {30, 2, 100, x.cap ? x.cap : transfer::Timeouts().maxAnswerBytes},
                             x.trusted ? (fifo ? path : cert_) : QString()},
                            &recorder);
        const QDeadlineTimer deadline(15000);
        QByteArray page;
        Outcome o = session.login();
        if (x.target != "login") {
            QVERIFY(o.ok() && session.beginBatch(7).ok());
            recorder.shrink = x.file == "shrinking" ? path : QString();
            o = x.target == "gallery" ? session.galleryPage(&page)
                                      : session.upload({"pic.png", "", path});
        }
        QVERIFY2(!deadline.hasExpired(), "the request was not ended in time");
        QCOMPARE(int(o.kind), int(x.kind));
        QCOMPARE(o.httpStatus ? o.httpStatus : o.curlCode, x.code);
        // Every failure of an exchange is told, a picture file's only with the picture; only
        // time-outs leave the site out of reach here.
        QVERIFY(o.needsMessage == !(o.ok() || x.file == "fifo") &&
                o.siteUnreachable == (x.code == timeout));
        QVERIFY((o.title + ": " + o.text).startsWith(x.message));
        QVERIFY(page.size() <= (x.cap ? x.cap : 16 << 20));
        if (o.ok() && x.target == "gallery") // every byte, a zero byte and all after it too
            QVERIFY(page.endsWith("</html>\n") && page.contains('\0') == (x.fault == "zero-after"));
        QVERIFY(x.file.isEmpty() || o.file == path);
        QVERIFY(x.code != CURLE_PEER_FAILED_VERIFICATION || o.detail.contains("certificate"));
        // Nothing reaches the site at an address refused, or from a picture not read.
        if (x.kind == Outcome::BadAddress || fifo)
            QVERIFY(site.log(x.target).isEmpty());
        const QJsonObject form = site.log().value(0)["form"].toObject();
        QVERIFY(!o.ok() || (form["name"] == x.user && form["pass"] == x.password)); // as typed
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("typed"); // %1: the site's address, %2: without "http://"
        QTest::addColumn<QString>("cleaned");
        QTest::addColumn<QString>("login"); // how the message begins; null: not tried, "": ok
        const auto row = [](const char* name, const char* typed, const char* cleaned,
                            const char* login) {
            QTest::newRow(name) << typed << cleaned << (login ? QString(login) : QString());
        };
        row("blanks, trailing slashes", " %1// ", "%1", "");
        row("pasted admin page", "%1/admin.php?gallery-S7#top", "%1", "");
        row("index page, slash", "%1/INDEX.PHP/", "%1", "");
        row("query, fragment", "%1#x?y=1", "%1", "");
        row("no scheme: http", "%2/admin.php", "%2", "");
        row("folder kept; not the site's base", "%1/orva/", "%1/orva",
            "could not log in\n%1/orva/admin.php was not found (HTTP status 404): the site "
            "address must be the part before /admin.php, such as http://www.example.com/orva");
        row("scheme only", "http://", "http://", nullptr);
        row("blank inside", "http://www.ex ample.org", "http://www.ex ample.org", nullptr);
        row("other scheme", "ftp://%2", "ftp://%2", nullptr);
    }

    // Addresses are cleaned before use; a login is tried only with one that
    // names an http site, and a 404 says which address was tried.
    void addresses()
    {
        QFETCH(QString, typed);
        QFETCH(QString, cleaned);
        QFETCH(QString, login);
        TestSite site;
        QVERIFY(site.start());
        const QString url = site.url(), host = url.mid(7);
        QCOMPARE(siteaddress::clean(typed.arg(url, host)), cleaned.arg(url, host));
        QCOMPARE(siteaddress::usable(siteaddress::clean(typed.arg(url, host))), !login.isNull());
        if (login.isNull())
            return;
        const Outcome o = SiteSession({{typed.arg(url, host), "admin", "secret"}, {}, {}}).login();
        QCOMPARE(o.message(), login.arg(url));
    }

    void uploadWire_data()
    {
        QTest::addColumn<Wire>("w");
        QTest::newRow("file") << Wire{"pic.png", "K\u00f6ln", "K\u00f6ln", "image/png", false};
        QTest::newRow("prepared from a PNG") << Wire{"plan.png", "", "", "image/jpeg", true};
        QTest::newRow("comment beyond Latin-1")
            << Wire{"Pic.JPEG", "\u2615 f\u00fcr 5 \u20ac", "&#9749; f\u00fcr 5 &#8364;",
                    "image/jpeg", false};
    }

    // The parts in order, the picture byte for byte under its bare name, the
    // comment in Latin-1.
    void uploadWire()
    {
        QFETCH(Wire, w);
        TestSite site;
        QVERIFY(site.start());
        QTemporaryDir dir;
        const QString path = dir.filePath("sub/" + w.name);
        const QByteArray picture = pictures::jpeg(pictures::pattern(640, 480));
        QVERIFY(QDir(dir.path()).mkdir("sub") && pictures::writeFile(path, picture + "tail"));
        const int form = int(strlen("name=admin&pass=secret&user_login_sub=Login"));
        for (int run = 0; run < 2; ++run) { // the second session logs in anew
            Recorder r;
            SiteSession s({{site.url(), "admin", "secret"}, {}, {}}, &r);
            QVERIFY(s.login().ok() && r.reports.last() == qMakePair(form, form));
            QByteArray page;
            r.reports.clear();
            QVERIFY(s.galleryPage(&page).ok() && r.reports.isEmpty()); // no body, no progress
            QVERIFY(s.beginBatch(7).ok());
            const Outcome o = s.upload({w.name, w.comment, w.prepared ? QString() : path,
                                        w.prepared ? &picture : nullptr});
            QVERIFY2(o.ok(), qPrintable(o.message()));
            const int total = r.reports.value(0).first; // the picture and the other parts
            QVERIFY(total > picture.size() && total < picture.size() + 2000);
            QVERIFY(std::is_sorted(r.reports.begin(), r.reports.end())); // the bytes sent grow
            QCOMPARE(r.reports.last(), qMakePair(total, total));
        }
        QStringList seen; // each request's route and cookie: the login's goes with the rest
        for (const QJsonObject& line : site.log())
            seen << line["route"].toString() + " " + line["cookie"].toString();
        const QString a = seen.value(1).mid(8), b = seen.value(4).mid(8);
        QVERIFY(a.startsWith("ORVASESSID=") && b.startsWith("ORVASESSID=") && a != b);
        QCOMPARE(seen, QStringList({"login ", "gallery " + a, "upload " + a, "login ",
                                    "gallery " + b, "upload " + b}));

        const QJsonObject line = site.log("upload").value(0);
        QVERIFY(!QJsonDocument(line).toJson().contains(dir.path().toUtf8())); // no folders
        QStringList parts = {QString::number(line["category"].toInt())};
        for (const QJsonValue& p : line.value("parts").toArray())
            parts << p["name"].toString() + "=" + p["value"].toString() + p["filename"].toString() +
                         " " + p["content_type"].toString() + p["sha256"].toString();
        const QByteArray sent = w.prepared ? picture : picture + "tail";
        const QString sha = QCryptographicHash::hash(sent, QCryptographicHash::Sha256).toHex();
        QCOMPARE(parts,
                 QStringList({"7", "file[]=" + w.name + " " + w.type + sha,
                              "besch[]=" + w.arrived + " ", "hochladen=yes ", "submit=Absenden "}));
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "tst_session.moc"
