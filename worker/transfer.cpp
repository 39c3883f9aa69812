#include "worker/transfer.h"

#include <QBuffer>
#include <QDebug>

#include <climits>

namespace transfer {

size_t writeCallback(char* data, size_t size, size_t nmemb, void* device)
{
    const size_t n = size * nmemb;
    if (device)
        static_cast<QIODevice*>(device)->write(data, qint64(n));
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
    if (r->abortTransfer())
        return 1;
    if (ultotal <= 0)
        return 0;
    qDebug() << double(ultotal) << double(ulnow);
    const auto [total, now] = progressValues(ultotal, ulnow);
    r->reportProgress(total, now);
    return 0;
}

void setUpHandle(CURL* handle, ProgressReceiver* receiver, const Timeouts& timeouts)
{
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &writeCallback);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &progressCallback);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, static_cast<void*>(receiver));
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, timeouts.connectSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, timeouts.stallSeconds);
    // The worker thread must never be woken by SIGALRM from name resolution.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
}

CURLcode perform(CURL* handle, QByteArray* body)
{
    QBuffer device(body);
    device.open(QIODevice::ReadWrite);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(&device));
    const CURLcode result = curl_easy_perform(handle);
    // The device dies with this call; no later request may write into it.
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, nullptr);
    return result;
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

} // namespace transfer
