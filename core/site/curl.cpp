#include "core/site/curl.h"

#include <QDebug>

#include <climits>

namespace curl {

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
    auto* r = static_cast<transfer::ProgressReceiver*>(receiver);
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

} // namespace curl
