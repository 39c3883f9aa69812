#include "support/testsite.h"

#include "core/site/curl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>

bool TestSite::start(int timeoutMs)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(VEMO_TESTSITE_BIN),
                   QStringList{"--port", url_.isEmpty() ? "0" : url_.section(':', -1), "--log",
                               logPath(), "--store", storeDir(), "--user", options_.user,
                               "--password", options_.password, "--stop-on-stdin-eof"} +
                       options_.extraArgs);
    const QDeadlineTimer deadline(timeoutMs);
    while (!process_.canReadLine() && process_.waitForReadyRead(int(deadline.remainingTime()))) {
    }
    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
    static const QRegularExpression ready(QStringLiteral("^listening on (https?://[0-9.:]+)$"));
    url_ = ready.match(line).captured(1);
    if (url_.isEmpty()) {
        qWarning("orva-testsite said \"%s\"", qPrintable(line));
        stop();
    }
    return !url_.isEmpty();
}

void TestSite::stop()
{
    process_.closeWriteChannel();
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool TestSite::setFault(const QString& target, const QString& kind, int nth, int seconds)
{
    return control(QStringLiteral("fault?target=%1&kind=%2&nth=%3&seconds=%4")
                       .arg(target, kind, QString::number(nth), QString::number(seconds)));
}

bool TestSite::control(const QString& request)
{
    const QByteArray address = (url_ + "/_control/" + request).toLatin1();
    QByteArray answer;
    curl::Easy easy;
    easy.set(CURLOPT_URL, address.constData());
    easy.set(CURLOPT_PROXY, "");
    easy.set(CURLOPT_SSL_VERIFYPEER, 0L); // the site's own certificate is made up
    easy.set(CURLOPT_SSL_VERIFYHOST, 0L);
    easy.set(CURLOPT_TIMEOUT, 10L);
    easy.set(CURLOPT_WRITEDATA, &answer);
    easy.set(
        CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* to) {
            static_cast<QByteArray*>(to)->append(data, qsizetype(size * count));
            return size * count;
        });
    return !url_.isEmpty() && easy.perform() == CURLE_OK && answer.trimmed() == "ok";
}

QList<QJsonObject> TestSite::log(const QString& route) const
{
    QFile file(logPath());
    file.open(QIODevice::ReadOnly);
    QList<QJsonObject> lines;
    // A line still being written is no JSON object yet; it is read next time.
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (!o.isEmpty() && (route.isEmpty() || o.value(QLatin1String("route")) == route))
            lines.append(o);
    }
    return lines;
}

bool TestSite::waitForLog(const QString& route, int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (log(route).size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return log(route).size() >= count;
}
