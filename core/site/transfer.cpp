#include "core/site/transfer.h"

#include <QDebug>
#include <QRegularExpression>

#include <climits>

namespace transfer {

size_t writeCallback(char* data, size_t size, size_t nmemb, void* userdata)
{
    auto* sink = static_cast<Sink*>(userdata);
    const size_t n = size * nmemb;
    if (!sink || !sink->body)
        return n;
    if (sink->body->size() + qint64(n) > sink->limit) {
        sink->overflowed = true;
        return 0; // anything short of n ends the transfer
    }
    sink->body->append(data, qsizetype(n));
    return n;
}

std::pair<int, int> progressValues(curl_off_t ultotal, curl_off_t ulnow)
{
    while (ultotal > INT_MAX) {
        ultotal /= 2;
        ulnow /= 2;
    }
    return {int(ultotal), int(qMin(ulnow, ultotal))};
}

int progressCallback(void* receiver, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow)
{
    auto* r = static_cast<ProgressReceiver*>(receiver);
    if (r && r->abortTransfer())
        return 1;
    if (ultotal <= 0)
        return 0;
    qDebug() << double(ultotal) << double(ulnow);
    const auto [total, now] = progressValues(ultotal, ulnow);
    if (r)
        r->reportProgress(total, now);
    return 0;
}

QString describe(CURLcode code)
{
    return QString::fromUtf8(curl_easy_strerror(code));
}

const char* contentTypeFor(const QString& fileName)
{
    static const struct
    {
        const char* extension;
        const char* type;
    } known[] = {
        {".gif", "image/gif"},       {".jpg", "image/jpeg"},    {".jpeg", "image/jpeg"},
        {".png", "image/png"},       {".svg", "image/svg+xml"}, {".txt", "text/plain"},
        {".htm", "text/html"},       {".html", "text/html"},    {".pdf", "application/pdf"},
        {".xml", "application/xml"},
    };
    for (const auto& k : known) {
        if (fileName.endsWith(QLatin1String(k.extension), Qt::CaseInsensitive))
            return k.type;
    }
    return "application/octet-stream";
}

bool hasForeignScheme(const QString& address)
{
    static const QRegularExpression scheme(QStringLiteral("^\\s*([A-Za-z][A-Za-z0-9+.-]*):"));
    const QRegularExpressionMatch m = scheme.match(address);
    if (!m.hasMatch())
        return false;
    const QString name = m.captured(1).toLower();
    if (name == QLatin1String("http") || name == QLatin1String("https"))
        return false;
    // "host:8080/..." has no scheme: what follows the colon is a port.
    static const QRegularExpression port(QStringLiteral("^[0-9]+(/|$)"));
    return !port.match(address.mid(m.capturedEnd(0))).hasMatch();
}

} // namespace transfer
