#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <utility>

class QIODevice;

// What every request of a run has in common: the callbacks that carry the
// answer into the request's own buffer and the upload progress out to the
// worker, the in-memory cookie engine, and the time-outs.
namespace transfer {

// Receives the progress of the body being sent.
class ProgressReceiver
{
public:
    virtual ~ProgressReceiver() = default;
    // Bytes of the request body in all, and sent so far.
    virtual void reportProgress(int ultotal, int ulnow) = 0;
    // True when the transfer under way must be abandoned (the program is
    // shutting down). A user's cancel never aborts a transfer.
    virtual bool abortTransfer() const { return false; }
};

// Time-outs of a run. No request may hang forever: a connection that cannot
// be made within `connectSeconds`, or a transfer that moves no byte for
// `stallSeconds`, fails with libcurl's own description of the time-out.
struct Timeouts
{
    long connectSeconds = 30;
    long stallSeconds = 60;
};

// Writes the received bytes to the QIODevice* given as user pointer and claims
// all of them.
size_t writeCallback(char* data, size_t size, size_t nmemb, void* device);

// Reports (ultotal, ulnow) to the ProgressReceiver* given as user pointer while
// the total to send is above zero, with a trace line; always lets the
// transfer go on unless the receiver asks for an abort.
int progressCallback(void* receiver, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                     curl_off_t ulnow);

// The two byte counts as ints: cut toward zero, and both scaled down together
// when the total does not fit, so the ratio between them stays right.
std::pair<int, int> progressValues(curl_off_t ultotal, curl_off_t ulnow);

// Sets up a fresh handle for a run: write and progress callbacks, progress
// reports on, cookie engine on without a file, time-outs.
void setUpHandle(CURL* handle, ProgressReceiver* receiver, const Timeouts& timeouts);

// Performs the request on `handle`, collecting the answer's body into *body
// through a QBuffer that lives only for this request.
CURLcode perform(CURL* handle, QByteArray* body);

// libcurl's description of a result code.
QString describe(CURLcode code);

// The content type libcurl gives a file part by the file name's extension
// (compared without regard to case), "application/octet-stream" when the
// extension is not one it knows.
const char* contentTypeFor(const QString& fileName);

} // namespace transfer
