#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// How to run the site.
struct TestSiteOptions
{
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("secret");
    QStringList extraArgs; // e.g. {"--categories", file} or {"--tls-cert", c, "--tls-key", k}
};

// Runs the bundled gallery test site (orva-testsite) on a free loopback port for
// the life of the object, with its request log and picture store in a temporary
// directory. The site stops when its standard input closes, so a test that dies
// never leaves it running.
class TestSite
{
public:
    using Options = TestSiteOptions;

    explicit TestSite(const Options& options = {}) : options_(options) {}
    ~TestSite() { stop(); }

    // Starts the site and waits for its "listening on" line; false when it did
    // not come up within the time. Once started, it comes back on the same port.
    bool start(int timeoutMs = 10000);
    // Closes the site's standard input and waits for it to end (kills it if needed).
    void stop();
    // Ends the site at once, as a server that crashed.
    void kill()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }

    QString url() const { return url_; } // "http://127.0.0.1:<port>", https with a certificate
    QString storeDir() const { return dir_.filePath(QStringLiteral("store")); }

    // Adds a fault through the site's control requests (see orva-testsite --help).
    bool setFault(const QString& target, const QString& kind, int nth = 0, int seconds = 0);
    // Removes every fault and resets their counters.
    bool clearFaults() { return control(QStringLiteral("clear")); }

    // The request log, one JSON object per request; only those of `route` when given.
    QList<QJsonObject> log(const QString& route = QString()) const;
    // Waits, processing events, until the log holds `count` lines of `route`.
    bool waitForLog(const QString& route, int count, int timeoutMs = 10000) const;

private:
    QString logPath() const { return dir_.filePath(QStringLiteral("requests.jsonl")); }
    bool control(const QString& request);

    Options options_;
    QTemporaryDir dir_;
    QProcess process_;
    QString url_;
};
