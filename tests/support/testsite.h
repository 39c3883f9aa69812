#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the bundled gallery test site (orva-testsite) on a free loopback port for
// the life of the object, with its request log and picture store in a temporary
// directory. The site stops when its standard input closes, so a test that dies
// never leaves it running.
// How to run the site (TestSite::Options).
struct TestSiteOptions
{
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("secret");
    QStringList extraArgs; // e.g. {"--categories", file} or {"--fault", "login:refuse"}
};

class TestSite
{
public:
    using Options = TestSiteOptions;

    explicit TestSite(const Options& options = {});
    ~TestSite(); // stops the site (kills it if needed)
    TestSite(const TestSite&) = delete;
    TestSite& operator=(const TestSite&) = delete;

    // Starts the site and waits for its "listening on" line. False when it did not
    // come up within the time.
    bool start(int timeoutMs = 10000);
    // Stops the site: closes its standard input and waits, then kills it.
    void stop();

    QString url() const; // "http://127.0.0.1:<port>"
    int port() const { return port_; }
    QString storeDir() const;
    QString logPath() const;

    // Adds a fault through the site's control endpoint (see orva-testsite --help).
    bool setFault(const QString& target, const QString& kind, int nth = 0, int seconds = 0);
    // Removes every fault and resets their counters.
    bool clearFaults();

    QList<QJsonObject> log() const;                     // every line so far
    QList<QJsonObject> log(const QString& route) const; // only that route
    // Waits until the log holds at least `count` lines of `route`, processing Qt
    // events meanwhile.
    bool waitForLog(const QString& route, int count, int timeoutMs = 10000) const;

private:
    bool control(const QString& pathAndQuery);

    Options options_;
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};
