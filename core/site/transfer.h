#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <utility>

// What every request of a run has in common: the callbacks that carry the
// answer into the request's own buffer and the upload progress out to the
// worker, the in-memory cookie engine, the time-outs and the allowed protocols.
namespace transfer {

// Receives the progress of the body being sent.
class ProgressReceiver
{
public:
    virtual ~ProgressReceiver() = default;
    // Bytes of the request body in all, and sent so far.
    virtual void reportProgress(int ultotal, int ulnow) = 0;
    // True when the transfer under way must be abandoned.
    virtual bool abortTransfer() const { return false; }
};

// Limits of a run. No request may be held forever: a connection that cannot
// be made within `connectSeconds`, or a transfer slower than `minimumSpeed`
// bytes a second for `slowSeconds`, fails with libcurl's own description of
// the time-out. An answer longer than `maxAnswerBytes` ends its request.
struct Timeouts
{
    long connectSeconds = 30;
    long slowSeconds = 60;
    long minimumSpeed = 100;
    qint64 maxAnswerBytes = 16 * 1024 * 1024;
};

// Where a request's answer goes: the bytes, up to a limit.
struct Sink
{
    QByteArray* body = nullptr;
    qint64 limit = 0;
    bool overflowed = false;
};

// Appends the received bytes to the Sink* given as user pointer; refuses them
// (which ends the transfer) once the answer would exceed the sink's limit.
size_t writeCallback(char* data, size_t size, size_t nmemb, void* sink);

// Reports (ultotal, ulnow) to the ProgressReceiver* given as user pointer while
// the total to send is above zero, with a trace line; lets the transfer go on
// unless the receiver asks for an abort.
int progressCallback(void* receiver, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                     curl_off_t ulnow);

// The two byte counts as ints: cut toward zero, and both scaled down together
// when the total does not fit, so the ratio between them stays right.
std::pair<int, int> progressValues(curl_off_t ultotal, curl_off_t ulnow);

// libcurl's description of a result code.
QString describe(CURLcode code);

// The content type libcurl gives a file part by the file name's extension
// (compared without regard to case), "application/octet-stream" when the
// extension is not one it knows.
const char* contentTypeFor(const QString& fileName);

// True when `address` names a scheme other than http or https ("ftp://...",
// "file:///..."). An address without a scheme is left to libcurl, which
// takes it as http.
bool hasForeignScheme(const QString& address);

} // namespace transfer
