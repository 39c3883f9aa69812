// The bundled gallery test site as the referee of the uploader's tests, driven through
// real libcurl over loopback: it stores a picture only for a session and a known
// category, logs every part as it arrived, and its "close" fault really breaks the
// transfer. The uploader's own tests drive every other fault and route.

#include "support/testsite.h"
#include "worker/curl.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QTest>

using Parts = QList<QByteArrayList>; // {name, data} for a field, {name, data, file name} for a file

// A session cookie of the right form that the site never issued; installed after the
// login, it takes the place of the real one.
const char forged[] = "127.0.0.1\tFALSE\t/\tFALSE\t0\tORVASESSID\t0123456789abcdef0123456789abcdef";

class TestTestSite : public QObject
{
    Q_OBJECT
    curl::Global global_;
    static size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

private slots:
    void uploads_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<bool>("close"); // the site hangs up halfway through its answer
        QTest::addColumn<Parts>("parts");
        QTest::addColumn<QString>("result"); // "no-session": sent with the forged cookie

        // Large enough for "Expect: 100-continue"; zero bytes and all.
        const QByteArray file = QByteArray("\x89PNG\r\n\x1A\n\0\xFE", 10).repeated(30000);
        const Parts usual{{"file[]", file, "a.png"}, {"besch[]", "Caf\xe9"}, {"hochladen", "yes"}};
        const Parts reordered{{"besch[]", ""}, {"file[]", file, "b.png"}, {"hochladen", "yes"}};
        QTest::newRow("uploader's order") << "45" << false << usual << "ok";
        QTest::newRow("file in the middle") << "7" << false << reordered << "ok";
        QTest::newRow("forged session") << "12" << false << usual << "no-session";
        QTest::newRow("unknown category") << "999" << false << usual << "no-category";
        QTest::newRow("connection closed") << "12" << true << usual << "ok";
    }

    void uploads()
    {
        QFETCH(QString, category);
        QFETCH(bool, close);
        QFETCH(Parts, parts);
        QFETCH(QString, result);
        TestSite site;
        QVERIFY(site.start());
        QVERIFY(!close || site.setFault("upload", "close"));

        // Log in, then send the parts with the session cookie on the same handle.
        const curl::Easy easy = curl::makeEasy();
        const curl::Mime mime = curl::makeMime(easy);
        CURL* h = easy.get();
        curl_easy_setopt(h, CURLOPT_PROXY, "");
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, discard);
        curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, "name=admin&pass=secret&user_login_sub=Login");
        curl_easy_setopt(h, CURLOPT_URL, (site.url() + "/admin.php").toLatin1().constData());
        QCOMPARE(curl_easy_perform(h), CURLE_OK);
        QVERIFY(result != "no-session" || curl_easy_setopt(h, CURLOPT_COOKIELIST, forged) == 0);
        for (const QByteArrayList& p : parts) {
            curl_mimepart* part = curl_mime_addpart(mime.get());
            curl_mime_name(part, p[0].constData());
            curl_mime_data(part, p[1].constData(), size_t(p[1].size()));
            curl_mime_filename(part, p.size() > 2 ? p[2].constData() : nullptr);
        }
        curl_easy_setopt(h, CURLOPT_MIMEPOST, mime.get());
        const QString upload = site.url() + "/admin.php?gallery-uploadImages-" + category;
        curl_easy_setopt(h, CURLOPT_URL, upload.toLatin1().constData());
        QCOMPARE(curl_easy_perform(h), close ? CURLE_PARTIAL_FILE : CURLE_OK);

        const QJsonObject line = site.log("upload").value(0);
        QCOMPARE(line.value("result").toString(), result);
        const QJsonArray logged = line.value("parts").toArray();
        QCOMPARE(logged.size(), parts.size());
        QByteArray file, sha;
        for (int i = 0; i < parts.size(); ++i) {
            const QJsonObject p = logged[i].toObject();
            QCOMPARE(p.value("name").toString().toLatin1(), parts[i][0]);
            QCOMPARE(p.value("size").toInteger(), parts[i][1].size());
            file = parts[i].size() > 2 ? parts[i][1] : file;
            sha += p.value("sha256").toString().toLatin1(); // for the file only
        }
        QCOMPARE(sha, QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());

        // Only an accepted picture is stored: under its category, byte for byte.
        QDirIterator stored(site.storeDir(), QDir::Files, QDirIterator::Subdirectories);
        QFile copy(stored.hasNext() ? stored.next() : QString());
        QCOMPARE(copy.fileName().section('/', -2, -2), result == "ok" ? category : "");
        QVERIFY(!stored.hasNext());
        QVERIFY(result != "ok" || (copy.open(QIODevice::ReadOnly) && copy.readAll() == file));
    }
};

QTEST_GUILESS_MAIN(TestTestSite)
#include "tst_testsite.moc"
