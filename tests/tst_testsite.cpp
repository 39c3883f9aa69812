// The bundled gallery test site, driven through real libcurl over loopback: what the
// uploader's own tests rely on (the pages' markers, the session, the category table,
// the request log and every fault switch) must really behave that way on the wire.

#include "support/testsite.h"
#include "worker/curl.h"
#include "worker/sitetext.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

namespace {

struct Part
{
    QByteArray name;
    QByteArray data;
    QByteArray fileName; // empty: a plain field
};

struct Reply
{
    CURLcode code = CURLE_OK;
    long status = 0;
    QByteArray headers;
    QByteArray body;
    qint64 ms = 0;
};

size_t append(char* data, size_t size, size_t count, void* target)
{
    static_cast<QByteArray*>(target)->append(data, qsizetype(size * count));
    return size * count;
}

// One request: a GET, a url-encoded POST (`form` set) or a multipart POST (`parts`).
Reply perform(const QString& url, const QByteArray& cookie = {}, const QByteArray* form = nullptr,
              const QList<Part>* parts = nullptr)
{
    Reply reply;
    curl::Easy easy = curl::makeEasy();
    const QByteArray address = url.toLatin1();
    curl_easy_setopt(easy.get(), CURLOPT_URL, address.constData());
    curl_easy_setopt(easy.get(), CURLOPT_PROXY, "");
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, append);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, append);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, &reply.headers);
    if (!cookie.isEmpty())
        curl_easy_setopt(easy.get(), CURLOPT_COOKIE, cookie.constData());
    if (form) {
        curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, form->constData());
        curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE, long(form->size()));
    }
    curl::Mime mime;
    if (parts) {
        mime = curl::makeMime(easy);
        for (const Part& p : *parts) {
            curl_mimepart* part = curl_mime_addpart(mime.get());
            curl_mime_name(part, p.name.constData());
            curl_mime_data(part, p.data.constData(), size_t(p.data.size()));
            if (!p.fileName.isEmpty())
                curl_mime_filename(part, p.fileName.constData());
        }
        curl_easy_setopt(easy.get(), CURLOPT_MIMEPOST, mime.get());
    }
    QElapsedTimer timer;
    timer.start();
    reply.code = curl_easy_perform(easy.get());
    reply.ms = timer.elapsed();
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

QByteArray sessionCookie(const Reply& reply)
{
    static const QRegularExpression setCookie(
        QStringLiteral("\r\nSet-Cookie: (ORVASESSID=[0-9a-f]{32}); Path=/\r\n"));
    return setCookie.match(QString::fromLatin1(reply.headers)).captured(1).toLatin1();
}

const QByteArray goodLogin = "name=admin&pass=secret&user_login_sub=Login";

Reply login(const TestSite& site, const QByteArray& body = goodLogin)
{
    return perform(site.url() + QStringLiteral("/admin.php"), {}, &body);
}

QList<Part> uploadParts(const QByteArray& picture, const QByteArray& comment = "Ein Bild")
{
    return {{"file[]", picture, "bild.png"},
            {"besch[]", comment, {}},
            {"hochladen", "yes", {}},
            {"submit", "Absenden", {}}};
}

QByteArray pngBytes()
{
    QByteArray bytes("\x89PNG\r\n\x1A\n", 8);
    for (int i = 0; i < 2000; ++i)
        bytes.append(char(i * 7 % 256));
    return bytes;
}

int storedFiles(const TestSite& site)
{
    int n = 0;
    const QDir store(site.storeDir());
    for (const QString& dir : store.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        n += int(QDir(store.filePath(dir)).entryList(QDir::Files).size());
    return n;
}

// The category cells of a page as the uploader scrapes them: "<depth>|<id>|<name>".
QStringList scrapedCategories(const QByteArray& page)
{
    static const QRegularExpression cell(
        QStringLiteral("<td>([;nbsp& -]*)<a href=\".gallery-S([0-9]+)\">(.*?)</a></td>"),
        QRegularExpression::DotMatchesEverythingOption);
    QStringList found;
    auto it = cell.globalMatch(sitetext::bodyText(page));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        found << QStringLiteral("%1|%2|%3")
                     .arg(QString::number(m.capturedLength(1)), m.captured(2), m.captured(3));
    }
    return found;
}

QByteArray sha256Hex(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

Q_DECLARE_METATYPE(Part)

class TestTestSite : public QObject
{
    Q_OBJECT

private slots:
    void loginAnswers_data();
    void loginAnswers();
    void faultsOnTheWire_data();
    void faultsOnTheWire();
    void nthRequestOnly_data();
    void nthRequestOnly();
    void uploadLoggedInWireOrder_data();
    void uploadLoggedInWireOrder();
    void uploadRejected_data();
    void uploadRejected();
    void categoryTable_data();
    void categoryTable();
    void publicPagesShowUploads();
    void stopsPromptlyWhileStalled();

private:
    curl::Global global_;
};

void TestTestSite::loginAnswers_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("accepted"); // marker and session cookie
    QTest::addColumn<QString>("result");

    const QString admin = QStringLiteral("admin"), secret = QStringLiteral("secret");
    QTest::newRow("good") << admin << secret << goodLogin << QString() << 200 << true << "ok";
    QTest::newRow("wrong password")
        << admin << secret << QByteArray("name=admin&pass=Secret&user_login_sub=Login") << QString()
        << 200 << false << "refused";
    QTest::newRow("empty values") << QString() << QString()
                                  << QByteArray("name=&pass=&user_login_sub=Login") << QString()
                                  << 200 << true << "ok";
    QTest::newRow("raw ampersand splits the password")
        << admin << QStringLiteral("se&cret")
        << QByteArray("name=admin&pass=se&cret&user_login_sub=Login") << QString() << 200 << false
        << "refused";
    QTest::newRow("encoded ampersand")
        << admin << QStringLiteral("se&cret")
        << QByteArray("name=admin&pass=se%26cret&user_login_sub=Login") << QString() << 200 << true
        << "ok";
    QTest::newRow("plus is a blank")
        << admin << QStringLiteral("a b") << QByteArray("name=admin&pass=a+b&user_login_sub=Login")
        << QString() << 200 << true << "ok";
    QTest::newRow("latin-1 user") << QStringLiteral("J\u00fcrgen") << secret
                                  << QByteArray("name=J\xfcrgen&pass=secret&user_login_sub=Login")
                                  << QString() << 200 << true << "ok";
    QTest::newRow("utf-8 bytes are another user")
        << QStringLiteral("J\u00fcrgen") << secret
        << QByteArray("name=J\xc3\xbcrgen&pass=secret&user_login_sub=Login") << QString() << 200
        << false << "refused";
    QTest::newRow("no submit field") << admin << secret << QByteArray("name=admin&pass=secret")
                                     << QString() << 200 << false << "bad-request";
    QTest::newRow("refuse") << admin << secret << goodLogin << "login:refuse" << 200 << false
                            << "refused";
    QTest::newRow("any:refuse") << admin << secret << goodLogin << "any:refuse" << 200 << false
                                << "refused";
    QTest::newRow("upload fault leaves login alone")
        << admin << secret << goodLogin << "upload:refuse" << 200 << true << "ok";
}

void TestTestSite::loginAnswers()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, body);
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(bool, accepted);
    QFETCH(QString, result);

    TestSite::Options options;
    options.user = user;
    options.password = password;
    if (!fault.isEmpty())
        options.extraArgs << QStringLiteral("--fault") << fault;
    TestSite site(options);
    QVERIFY(site.start());

    const Reply reply = login(site, body);
    QCOMPARE(reply.code, CURLE_OK);
    QCOMPARE(reply.status, long(status));
    QVERIFY(reply.headers.contains("Content-Type: text/html; charset=ISO-8859-1"));
    QCOMPARE(sitetext::bodyContains(reply.body, sitetext::loginMarker), accepted);
    QCOMPARE(reply.body.contains("<title>orva Login</title>"), !accepted);
    const QByteArray cookie = sessionCookie(reply);
    QCOMPARE(!cookie.isEmpty(), accepted);

    // The log line is there as soon as the answer is.
    const QList<QJsonObject> lines = site.log(QStringLiteral("login"));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].value(QLatin1String("result")).toString(), result);
    // Form values are logged decoded, read as Latin-1.
    const QJsonObject form = lines[0].value(QLatin1String("form")).toObject();
    QCOMPARE(form.value(QLatin1String("name")).toString(),
             QString::fromLatin1(body.mid(5, body.indexOf('&') - 5)));

    // Only an accepted login opens the gallery administration.
    const Reply gallery = perform(site.url() + QStringLiteral("/admin.php?gallery"), cookie);
    QCOMPARE(sitetext::bodyContains(gallery.body, sitetext::categoryMarker), accepted);
}

void TestTestSite::faultsOnTheWire_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("request"); // login, gallery or upload
    QTest::addColumn<int>("code");        // CURLcode
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("markerOnWire");
    QTest::addColumn<bool>("markerRead"); // found in the text up to the first zero byte
    QTest::addColumn<int>("zero");        // -1: no zero byte; 0: before the marker; 1: after
    QTest::addColumn<int>("stored");      // pictures in the store afterwards

    const int ok = CURLE_OK, partial = CURLE_PARTIAL_FILE;
    // clang-format off
    QTest::newRow("no fault: login")     << "login" << "" << "login" << ok << 200 << true << true << -1 << 0;
    QTest::newRow("no fault: gallery")   << "gallery" << "" << "gallery" << ok << 200 << true << true << -1 << 0;
    QTest::newRow("no fault: upload")    << "upload" << "" << "upload" << ok << 200 << true << true << -1 << 1;
    QTest::newRow("close login")         << "login" << "close" << "login" << partial << 200 << false << false << -1 << 0;
    QTest::newRow("close gallery")       << "gallery" << "close" << "gallery" << partial << 200 << false << false << -1 << 0;
    QTest::newRow("close upload")        << "upload" << "close" << "upload" << partial << 200 << false << false << -1 << 1;
    QTest::newRow("close any")           << "any" << "close" << "gallery" << partial << 200 << false << false << -1 << 0;
    QTest::newRow("zero-before login")   << "login" << "zero-before" << "login" << ok << 200 << true << false << 0 << 0;
    QTest::newRow("zero-before gallery") << "gallery" << "zero-before" << "gallery" << ok << 200 << true << false << 0 << 0;
    QTest::newRow("zero-before upload")  << "upload" << "zero-before" << "upload" << ok << 200 << true << false << 0 << 1;
    QTest::newRow("zero-after login")    << "login" << "zero-after" << "login" << ok << 200 << true << true << 1 << 0;
    QTest::newRow("zero-after gallery")  << "gallery" << "zero-after" << "gallery" << ok << 200 << true << true << 1 << 0;
    QTest::newRow("zero-after upload")   << "upload" << "zero-after" << "upload" << ok << 200 << true << true << 1 << 1;
    QTest::newRow("status500 login")     << "login" << "status500" << "login" << ok << 500 << true << true << -1 << 0;
    QTest::newRow("status500 upload")    << "upload" << "status500" << "upload" << ok << 500 << true << true << -1 << 1;
    QTest::newRow("empty gallery")       << "gallery" << "empty" << "gallery" << ok << 200 << false << false << -1 << 0;
    QTest::newRow("empty upload")        << "upload" << "empty" << "upload" << ok << 200 << false << false << -1 << 1;
    QTest::newRow("redirect login")      << "login" << "redirect" << "login" << ok << 302 << false << false << -1 << 0;
    QTest::newRow("redirect gallery")    << "gallery" << "redirect" << "gallery" << ok << 302 << false << false << -1 << 0;
    QTest::newRow("no-categories")       << "gallery" << "no-categories" << "gallery" << ok << 200 << false << false << -1 << 0;
    QTest::newRow("refuse upload")       << "upload" << "refuse" << "upload" << ok << 200 << false << false << -1 << 0;
    QTest::newRow("refuse gallery")      << "gallery" << "refuse" << "gallery" << ok << 200 << false << false << -1 << 0;
    QTest::newRow("stall upload")        << "upload" << "stall" << "upload" << ok << 200 << true << true << -1 << 1;
    QTest::newRow("stall any")           << "any" << "stall" << "gallery" << ok << 200 << true << true << -1 << 0;
    QTest::newRow("upload fault on login") << "upload" << "empty" << "login" << ok << 200 << true << true << -1 << 0;
    // clang-format on
}

void TestTestSite::faultsOnTheWire()
{
    QFETCH(QString, target);
    QFETCH(QString, kind);
    QFETCH(QString, request);
    QFETCH(int, code);
    QFETCH(int, status);
    QFETCH(bool, markerOnWire);
    QFETCH(bool, markerRead);
    QFETCH(int, zero);
    QFETCH(int, stored);

    TestSite site;
    QVERIFY(site.start());
    QByteArray cookie;
    if (request != QLatin1String("login")) {
        cookie = sessionCookie(login(site));
        QVERIFY(!cookie.isEmpty());
    }
    const bool stall = kind == QLatin1String("stall");
    if (!kind.isEmpty())
        QVERIFY(site.setFault(target, kind, 0, stall ? 1 : 0));

    Reply reply;
    QLatin1StringView marker = sitetext::loginMarker;
    if (request == QLatin1String("login")) {
        reply = login(site);
    } else if (request == QLatin1String("gallery")) {
        marker = sitetext::categoryMarker;
        reply = perform(site.url() + QStringLiteral("/admin.php?gallery"), cookie);
    } else {
        marker = sitetext::uploadMarker;
        const QList<Part> parts = uploadParts(pngBytes());
        reply = perform(site.url() + QStringLiteral("/admin.php?gallery-uploadImages-12"), cookie,
                        nullptr, &parts);
    }

    QCOMPARE(int(reply.code), code);
    QCOMPARE(reply.status, long(status));
    QCOMPARE(storedFiles(site), stored);
    const QList<QJsonObject> lines = site.log(request);
    QCOMPARE(lines.size(), 1);
    const bool applies = !kind.isEmpty() && (target == request || target == QLatin1String("any"));
    QCOMPARE(lines[0].value(QLatin1String("fault")).toString(), applies ? kind : QString());
    if (reply.code != CURLE_OK)
        return; // what arrived of a broken answer says nothing
    if (stall)
        QVERIFY2(reply.ms >= 950, qPrintable(QString::number(reply.ms)));

    const QByteArray markerBytes = QByteArray(marker.data(), marker.size());
    QCOMPARE(reply.body.contains(markerBytes), markerOnWire);
    QCOMPARE(sitetext::bodyContains(reply.body, marker), markerRead);
    const qsizetype zeroAt = reply.body.indexOf('\0');
    const qsizetype markerAt = reply.body.indexOf(markerBytes);
    switch (zero) {
    case -1:
        QCOMPARE(zeroAt, qsizetype(-1));
        break;
    case 0:
        QCOMPARE(zeroAt, markerAt - 1);
        break;
    default:
        if (request == QLatin1String("gallery")) {
            // The text before the zero byte holds exactly the first category.
            QCOMPARE(scrapedCategories(reply.body), QStringList{QStringLiteral("0|3|Allgemein")});
            QVERIFY(reply.body.mid(zeroAt - 5, 5) == "</tr>");
        } else {
            QCOMPARE(zeroAt, markerAt + markerBytes.size());
        }
    }
    if (!applies)
        return;
    if (kind == QLatin1String("redirect"))
        QVERIFY(
            QString::fromLatin1(reply.headers)
                .contains(QRegularExpression(QStringLiteral("\r\nLocation: http://127\\.0\\.0\\.1:"
                                                            "[0-9]+/[^\r]*\r\n"))));
    if (kind == QLatin1String("empty"))
        QVERIFY(reply.body.isEmpty());
    if (kind == QLatin1String("no-categories"))
        QVERIFY(reply.body.contains("</table>"));
}

void TestTestSite::nthRequestOnly_data()
{
    QTest::addColumn<int>("nth");
    QTest::addColumn<QList<int>>("statuses");

    QTest::newRow("every") << 0 << QList<int>{500, 500, 500};
    QTest::newRow("first") << 1 << QList<int>{500, 200, 200};
    QTest::newRow("second") << 2 << QList<int>{200, 500, 200};
    QTest::newRow("beyond") << 4 << QList<int>{200, 200, 200};
}

void TestTestSite::nthRequestOnly()
{
    QFETCH(int, nth);
    QFETCH(QList<int>, statuses);

    TestSite site;
    QVERIFY(site.start());
    // The counter starts when the fault is added, so earlier requests do not count.
    QVERIFY(!sessionCookie(login(site)).isEmpty());
    QVERIFY(site.setFault(QStringLiteral("login"), QStringLiteral("status500"), nth));
    for (int i = 0; i < statuses.size(); ++i) {
        QCOMPARE(login(site).status, long(statuses[i]));
        // Requests of another route are not counted.
        perform(site.url() + QStringLiteral("/index.php"));
    }

    // Clearing removes the fault; a new one counts from zero again.
    QVERIFY(site.clearFaults());
    QCOMPARE(login(site).status, 200L);
    QVERIFY(site.setFault(QStringLiteral("login"), QStringLiteral("status500"), 1));
    QCOMPARE(login(site).status, 500L);
}

void TestTestSite::uploadLoggedInWireOrder_data()
{
    QTest::addColumn<QList<Part>>("parts");

    QByteArray binary = pngBytes();
    binary.append(QByteArray(300000, '\0')); // large enough for "Expect: 100-continue"
    binary.append("\xFF\xD8 end", 7);

    QTest::newRow("uploader order") << uploadParts(pngBytes(), "Caf\xe9 am Meer");
    QTest::newRow("comment first") << QList<Part>{{"besch[]", "vorne", {}},
                                                  {"hochladen", "yes", {}},
                                                  {"file[]", pngBytes(), "C:\\Bilder\\x.png"},
                                                  {"submit", "Absenden", {}}};
    QTest::newRow("zero bytes, large") << uploadParts(binary, QByteArray());
    QTest::newRow("latin-1 file name") << QList<Part>{{"file[]", pngBytes(), "S\xfc\xdf.png"},
                                                      {"besch[]", "&#9749;", {}},
                                                      {"hochladen", "yes", {}},
                                                      {"submit", "Absenden", {}}};
}

void TestTestSite::uploadLoggedInWireOrder()
{
    QFETCH(QList<Part>, parts);

    TestSite site;
    QVERIFY(site.start());
    const QByteArray cookie = sessionCookie(login(site));
    const Reply reply = perform(site.url() + QStringLiteral("/admin.php?gallery-uploadImages-45"),
                                cookie, nullptr, &parts);
    QCOMPARE(reply.code, CURLE_OK);
    QVERIFY(sitetext::bodyContains(reply.body, sitetext::uploadMarker));

    const QList<QJsonObject> lines = site.log(QStringLiteral("upload"));
    QCOMPARE(lines.size(), 1);
    const QJsonObject line = lines[0];
    QCOMPARE(line.value(QLatin1String("result")).toString(), QStringLiteral("ok"));
    QCOMPARE(line.value(QLatin1String("category")).toInt(), 45);
    QVERIFY(line.value(QLatin1String("session")).toBool());
    QCOMPARE(line.value(QLatin1String("cookie")).toString(), QString::fromLatin1(cookie));
    const QJsonArray logged = line.value(QLatin1String("parts")).toArray();
    QCOMPARE(logged.size(), parts.size());
    const Part* file = nullptr;
    for (int i = 0; i < parts.size(); ++i) {
        const QJsonObject p = logged[i].toObject();
        QCOMPARE(p.value(QLatin1String("name")).toString(), QString::fromLatin1(parts[i].name));
        QCOMPARE(p.value(QLatin1String("size")).toInteger(), parts[i].data.size());
        if (parts[i].fileName.isEmpty()) {
            QVERIFY(!p.contains(QLatin1String("filename")));
            QCOMPARE(p.value(QLatin1String("value")).toString(),
                     QString::fromLatin1(parts[i].data));
        } else {
            file = &parts[i];
            QCOMPARE(p.value(QLatin1String("filename")).toString(),
                     QString::fromLatin1(parts[i].fileName));
            QCOMPARE(p.value(QLatin1String("sha256")).toString().toLatin1(),
                     sha256Hex(parts[i].data));
        }
    }
    QVERIFY(file);

    // The stored file holds the bytes exactly, under the category's directory.
    const QString stored = line.value(QLatin1String("stored")).toString();
    QVERIFY(stored.startsWith(QDir(site.storeDir()).absoluteFilePath(QStringLiteral("45/1_"))));
    QFile storedFile(stored);
    QVERIFY(storedFile.open(QIODevice::ReadOnly));
    QCOMPARE(storedFile.readAll(), file->data);
    QCOMPARE(storedFiles(site), 1);
}

void TestTestSite::uploadRejected_data()
{
    QTest::addColumn<bool>("session");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<Part>>("parts");
    QTest::addColumn<QString>("result");

    const QString cat12 = QStringLiteral("gallery-uploadImages-12");
    QTest::newRow("no session") << false << cat12 << uploadParts(pngBytes()) << "no-session";
    QTest::newRow("unknown category") << true << QStringLiteral("gallery-uploadImages-999")
                                      << uploadParts(pngBytes()) << "no-category";
    QTest::newRow("category not a number") << true << QStringLiteral("gallery-uploadImages-x")
                                           << uploadParts(pngBytes()) << "no-category";
    QTest::newRow("empty file") << true << cat12 << uploadParts(QByteArray()) << "bad-request";
    QTest::newRow("file without name")
        << true << cat12 << QList<Part>{{"file[]", pngBytes(), {}}, {"hochladen", "yes", {}}}
        << "bad-request";
    QTest::newRow("hochladen missing")
        << true << cat12 << QList<Part>{{"file[]", pngBytes(), "a.png"}, {"besch[]", "x", {}}}
        << "bad-request";
    QTest::newRow("hochladen not yes")
        << true << cat12 << QList<Part>{{"file[]", pngBytes(), "a.png"}, {"hochladen", "Yes", {}}}
        << "bad-request";
}

void TestTestSite::uploadRejected()
{
    QFETCH(bool, session);
    QFETCH(QString, query);
    QFETCH(QList<Part>, parts);
    QFETCH(QString, result);

    TestSite site;
    QVERIFY(site.start());
    // A cookie of the right form that the site never issued is no session.
    const QByteArray cookie =
        session ? sessionCookie(login(site)) : "ORVASESSID=" + QByteArray(32, 'a');
    const Reply reply =
        perform(site.url() + QStringLiteral("/admin.php?") + query, cookie, nullptr, &parts);
    QCOMPARE(reply.code, CURLE_OK);
    QVERIFY(!reply.body.contains("erfolgreich"));
    QCOMPARE(reply.body.contains("<title>orva Login</title>"), !session);
    QCOMPARE(storedFiles(site), 0);

    const QList<QJsonObject> lines = site.log(QStringLiteral("upload"));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].value(QLatin1String("result")).toString(), result);
    QVERIFY(!lines[0].contains(QLatin1String("stored")));
}

void TestTestSite::categoryTable_data()
{
    QTest::addColumn<QByteArray>("file"); // --categories contents; empty: the built-in tree
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QByteArray>("wireName"); // bytes of one name as sent

    QTest::newRow("built-in") << QByteArray()
                              << QStringList{QStringLiteral("0|3|Allgemein"),
                                             QStringLiteral("0|7|Urlaub &amp; Reisen"),
                                             QStringLiteral("12|12|Italien"),
                                             QStringLiteral("24|45|Rom &amp; Umgebung"),
                                             QStringLiteral("12|13|Fr\u00e4nkische Schweiz"),
                                             QStringLiteral("0|250|Tom &amp; Jerry"),
                                             QStringLiteral("12|251|Cartoons &lt;alt&gt;"),
                                             QStringLiteral("0|1200|Archiv 2006")}
                              << QByteArray(">Fr\xe4nkische Schweiz</a>");
    QTest::newRow("custom")
        << QByteArray("# comment\n0\t1\tCaf\xc3\xa9 &amp; Bar\n3\t20\ttief\r\n\n1\t2\t<b>x</b>\n")
        << QStringList{QStringLiteral("0|1|Caf\u00e9 &amp; Bar"), QStringLiteral("36|20|tief"),
                       QStringLiteral("12|2|<b>x</b>")}
        << QByteArray(">Caf\xe9 &amp; Bar</a>");
}

void TestTestSite::categoryTable()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    QFETCH(QByteArray, wireName);

    QTemporaryDir dir;
    TestSite::Options options;
    if (!file.isEmpty()) {
        QFile tree(dir.filePath(QStringLiteral("tree.txt")));
        QVERIFY(tree.open(QIODevice::WriteOnly));
        tree.write(file);
        tree.close();
        options.extraArgs << QStringLiteral("--categories") << tree.fileName();
    }
    TestSite site(options);
    QVERIFY(site.start());
    const QByteArray cookie = sessionCookie(login(site));
    const Reply page = perform(site.url() + QStringLiteral("/admin.php?gallery"), cookie);
    QCOMPARE(page.code, CURLE_OK);
    // Nothing else on the page looks like a category cell.
    QCOMPARE(scrapedCategories(page.body), expected);
    QVERIFY(page.body.contains(wireName));
    QCOMPARE(site.log(QStringLiteral("gallery")).value(0).value(QLatin1String("session")).toBool(),
             true);

    // Without the session the same address gives the login page, no category marker.
    const Reply anonymous = perform(site.url() + QStringLiteral("/admin.php?gallery"));
    QVERIFY(!anonymous.body.contains("?gallery-S"));
    QVERIFY(anonymous.body.contains("<title>orva Login</title>"));
    QCOMPARE(site.log(QStringLiteral("gallery")).value(1).value(QLatin1String("result")).toString(),
             QStringLiteral("no-session"));
}

void TestTestSite::publicPagesShowUploads()
{
    TestSite site;
    QVERIFY(site.start());
    const QByteArray cookie = sessionCookie(login(site));
    const QByteArray png = pngBytes();
    const QList<Part> parts = uploadParts(png, "Kaffee &#9749; <b>hei\xdf</b> & mehr");
    const Reply upload = perform(site.url() + QStringLiteral("//admin.php?gallery-uploadImages-12"),
                                 cookie, nullptr, &parts);
    QVERIFY(sitetext::bodyContains(upload.body, sitetext::uploadMarker));

    const Reply index = perform(site.url() + QStringLiteral("/"));
    QVERIFY(index.body.contains("<a href=\"index.php?gallery-12\">Italien</a> (1 Bilder)"));

    const Reply category = perform(site.url() + QStringLiteral("/index.php?gallery-12"));
    QCOMPARE(category.status, 200L);
    QVERIFY(category.body.contains("<img src=\"pictures/12/1_bild.png\""));
    QVERIFY(category.body.contains("Kaffee &#9749; &lt;b&gt;hei\xdf&lt;/b&gt; &amp; mehr"));

    const Reply picture = perform(site.url() + QStringLiteral("/pictures/12/1_bild.png"));
    QCOMPARE(picture.status, 200L);
    QVERIFY(picture.headers.contains("Content-Type: image/png\r\n"));
    QCOMPARE(picture.body, png);
    QCOMPARE(perform(site.url() + QStringLiteral("/pictures/12/..%2f..%2fetc")).status, 404L);

    const Reply admin = perform(site.url() + QStringLiteral("/admin.php?gallery-S12"), cookie);
    QVERIFY(admin.body.contains("<img src=\"pictures/12/1_bild.png\""));
    QVERIFY(admin.body.contains("action=\"admin.php?gallery-uploadImages-12\""));
    QVERIFY(perform(site.url() + QStringLiteral("/admin.php?gallery"), cookie)
                .body.contains("<a href=\"?gallery-S12\">Italien</a></td><td>1 Bilder</td>"));
}

void TestTestSite::stopsPromptlyWhileStalled()
{
    TestSite site;
    QVERIFY(site.start());
    const QByteArray cookie = sessionCookie(login(site));
    QVERIFY(site.setFault(QStringLiteral("upload"), QStringLiteral("stall"), 0, 60));
    Reply stalled;
    std::thread client([&] {
        const QList<Part> parts = uploadParts(pngBytes());
        stalled = perform(site.url() + QStringLiteral("/admin.php?gallery-uploadImages-3"), cookie,
                          nullptr, &parts);
    });
    // While the answer stalls, the picture is stored and the request logged already.
    const bool logged = site.waitForLog(QStringLiteral("upload"), 1);
    const int stored = storedFiles(site);
    QElapsedTimer timer;
    timer.start();
    site.stop();
    const qint64 stopMs = timer.elapsed();
    client.join();
    QVERIFY(logged);
    QCOMPARE(stored, 1);
    QVERIFY2(stopMs < 3000, qPrintable(QString::number(stopMs)));
    QVERIFY(stalled.ms < 10000);
}

QTEST_GUILESS_MAIN(TestTestSite)
#include "tst_testsite.moc"
