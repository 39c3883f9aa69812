// The bundled gallery test site as the referee of the uploader's tests, driven through
// real libcurl over loopback: it stores a picture only for a session and a known
// category, logs every part as it arrived, and its "close" fault really breaks the
// transfer. The uploader's own tests drive every other fault and route.

#include "support/testsite.h"
#include "worker/curl.h"
#include "worker/sitetext.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QTest>

namespace {

using Parts = QList<QByteArrayList>; // {name, data} for a field, {name, data, file name} for a file

// Logs in (without `session` a made-up cookie stands in for one) and sends `parts`
// to `category` on the same handle; `body` gets the answer to the upload.
CURLcode upload(const TestSite& site, bool session, const QString& category, const Parts& parts,
                QByteArray* body)
{
    const curl::Easy easy = curl::makeEasy();
    const curl::Mime mime = curl::makeMime(easy);
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, body);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t n, void* to) {
        static_cast<QByteArray*>(to)->append(data, qsizetype(size * n));
        return size * n;
    });
    const auto perform = [&](const QString& path) {
        const QByteArray url = (site.url() + path).toLatin1();
        curl_easy_setopt(h, CURLOPT_URL, url.constData());
        return curl_easy_perform(h);
    };
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, session ? "" : nullptr);
    curl_easy_setopt(h, CURLOPT_COOKIE, session ? nullptr : "ORVASESSID=" + QByteArray(32, 'a'));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, "name=admin&pass=secret&user_login_sub=Login");
    if (session && perform("/admin.php") != CURLE_OK)
        return CURLE_LOGIN_DENIED;
    for (const QByteArrayList& p : parts) {
        curl_mimepart* part = curl_mime_addpart(mime.get());
        curl_mime_name(part, p[0].constData());
        curl_mime_data(part, p[1].constData(), size_t(p[1].size()));
        curl_mime_filename(part, p.size() > 2 ? p[2].constData() : nullptr);
    }
    curl_easy_setopt(h, CURLOPT_MIMEPOST, mime.get());
    body->clear();
    return perform("/admin.php?gallery-uploadImages-" + category);
}

} // namespace

class TestTestSite : public QObject
{
    Q_OBJECT

private slots:
    void uploads_data();
    void uploads();

private:
    curl::Global global_;
};

void TestTestSite::uploads_data()
{
    QTest::addColumn<bool>("session");
    QTest::addColumn<QString>("category");
    QTest::addColumn<Parts>("parts");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("result");

    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n\0\x01\xFE", 11).repeated(150);
    const Parts usual{{"file[]", png, "bild.png"},
                      {"besch[]", "Caf\xe9 am Meer"},
                      {"hochladen", "yes"},
                      {"submit", "Absenden"}};
    // Large enough for "Expect: 100-continue"; the file is neither first nor last.
    const Parts reordered{{"besch[]", ""},
                          {"hochladen", "yes"},
                          {"file[]", QByteArray(300000, '\0') + png, "x.jpg"},
                          {"submit", "Absenden"}};
    QTest::newRow("uploader's order") << true << "45" << usual << "" << "ok";
    QTest::newRow("file in the middle, large") << true << "7" << reordered << "" << "ok";
    QTest::newRow("no session") << false << "12" << usual << "" << "no-session";
    QTest::newRow("unknown category") << true << "999" << usual << "" << "no-category";
    QTest::newRow("category not a number") << true << "x" << usual << "" << "no-category";
    QTest::newRow("connection closed") << true << "12" << usual << "close" << "ok";
}

void TestTestSite::uploads()
{
    QFETCH(bool, session);
    QFETCH(QString, category);
    QFETCH(Parts, parts);
    QFETCH(QString, fault);
    QFETCH(QString, result);
    TestSite site;
    QVERIFY(site.start());
    QVERIFY(fault.isEmpty() || site.setFault("upload", fault));
    QByteArray body;
    // "close" announces the whole page, sends half of it and hangs up.
    QCOMPARE(upload(site, session, category, parts, &body),
             fault.isEmpty() ? CURLE_OK : CURLE_PARTIAL_FILE);
    QCOMPARE(sitetext::bodyContains(body, sitetext::uploadMarker),
             fault.isEmpty() && result == "ok");

    const QJsonObject line = site.log("upload").value(0);
    QCOMPARE(line.value("result").toString(), result);
    QCOMPARE(line.value("fault").toString(), fault);
    const QJsonArray logged = line.value("parts").toArray();
    QCOMPARE(logged.size(), parts.size());
    QByteArray file;
    for (int i = 0; i < parts.size(); ++i) {
        const QJsonObject p = logged[i].toObject();
        const bool isFile = parts[i].size() > 2;
        QCOMPARE(p.value("name").toString().toLatin1(), parts[i][0]);
        QCOMPARE(p.value("size").toInteger(), parts[i][1].size());
        QCOMPARE(p.value(isFile ? "filename" : "value").toString().toLatin1(), parts[i].last());
        QCOMPARE(p.value("sha256").toString().toLatin1(),
                 isFile ? QCryptographicHash::hash(parts[i][1], QCryptographicHash::Sha256).toHex()
                        : QByteArray());
        file = isFile ? parts[i][1] : file;
    }

    // Only an accepted picture is stored: under its category, byte for byte.
    QStringList store;
    for (QDirIterator it(site.storeDir(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        store << it.next();
    QFile stored(line.value("stored").toString());
    QCOMPARE(store, result == "ok" ? QStringList{stored.fileName()} : QStringList());
    QVERIFY(result != "ok" || stored.fileName().contains("/" + category + "/"));
    QCOMPARE(stored.open(QIODevice::ReadOnly) ? stored.readAll() : QByteArray(), file);
}

QTEST_GUILESS_MAIN(TestTestSite)
#include "tst_testsite.moc"
