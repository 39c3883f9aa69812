#include "support/testsite.h"

#include "worker/curl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

#ifndef VEMO_TESTSITE_BIN
#error "VEMO_TESTSITE_BIN must name the orva-testsite binary"
#endif

namespace {

size_t collect(char* data, size_t size, size_t count, void* userdata)
{
    static_cast<QByteArray*>(userdata)->append(data, qsizetype(size * count));
    return size * count;
}

} // namespace

TestSite::TestSite(const Options& options) : options_(options)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

TestSite::~TestSite()
{
    stop();
}

bool TestSite::start(int timeoutMs)
{
    if (process_.state() != QProcess::NotRunning || !dir_.isValid())
        return false;
    QStringList args = {QStringLiteral("--port"),
                        QStringLiteral("0"),
                        QStringLiteral("--log"),
                        logPath(),
                        QStringLiteral("--store"),
                        storeDir(),
                        QStringLiteral("--user"),
                        options_.user,
                        QStringLiteral("--password"),
                        options_.password,
                        QStringLiteral("--stop-on-stdin-eof")};
    args += options_.extraArgs;
    process_.start(QStringLiteral(VEMO_TESTSITE_BIN), args);

    const QDeadlineTimer deadline(timeoutMs);
    if (!process_.waitForStarted(int(deadline.remainingTime())))
        return false;
    static const QRegularExpression ready(
        QStringLiteral("^listening on (https?)://127\\.0\\.0\\.1:([0-9]+)$"));
    while (!process_.canReadLine()) {
        if (process_.state() != QProcess::Running || deadline.hasExpired()) {
            stop();
            return false;
        }
        process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
    const QRegularExpressionMatch m = ready.match(line);
    if (!m.hasMatch()) {
        qWarning("orva-testsite said \"%s\"", qPrintable(line));
        stop();
        return false;
    }
    port_ = m.captured(1).toInt();
    return true;
}

void TestSite::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString TestSite::url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

QString TestSite::storeDir() const
{
    return dir_.filePath(QStringLiteral("store"));
}

QString TestSite::logPath() const
{
    return dir_.filePath(QStringLiteral("requests.jsonl"));
}

bool TestSite::setFault(const QString& target, const QString& kind, int nth, int seconds)
{
    return control(QStringLiteral("/_control/fault?target=%1&kind=%2&nth=%3&seconds=%4")
                       .arg(QString::fromLatin1(QUrl::toPercentEncoding(target)),
                            QString::fromLatin1(QUrl::toPercentEncoding(kind)),
                            QString::number(nth), QString::number(seconds)));
}

bool TestSite::clearFaults()
{
    return control(QStringLiteral("/_control/clear"));
}

bool TestSite::control(const QString& pathAndQuery)
{
    if (port_ == 0)
        return false;
    curl::Easy easy;
    const QByteArray address = (url() + pathAndQuery).toLatin1();
    QByteArray body;
    easy.set(CURLOPT_URL, address.constData());
    easy.set(CURLOPT_PROXY, "");
    easy.set(CURLOPT_WRITEFUNCTION, collect);
    easy.set(CURLOPT_WRITEDATA, &body);
    easy.set(CURLOPT_TIMEOUT, 10L);
    if (easy.perform() != CURLE_OK)
        return false;
    const long status = easy.responseCode();
    if (status != 200)
        qWarning("orva-testsite control: %s", body.constData());
    return status == 200 && body.trimmed() == "ok";
}

QList<QJsonObject> TestSite::log() const
{
    QList<QJsonObject> lines;
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    // A line still being written has no newline yet; it is read next time.
    QByteArray all = file.readAll();
    all.truncate(all.lastIndexOf('\n') + 1);
    for (const QByteArray& line : all.split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject())
            lines.append(doc.object());
    }
    return lines;
}

QList<QJsonObject> TestSite::log(const QString& route) const
{
    QList<QJsonObject> lines;
    for (const QJsonObject& line : log()) {
        if (line.value(QLatin1String("route")).toString() == route)
            lines.append(line);
    }
    return lines;
}

bool TestSite::waitForLog(const QString& route, int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (log(route).size() < count) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}
