#pragma once

#include <QString>
#include <QtGlobal>

// What the program knows of a transfer without libcurl: its limits, who
// hears how far it got, and what may be sent where. libcurl itself stays
// behind core/site/curl.h.
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

// The content type libcurl gives a file part by the file name's extension
// (compared without regard to case), "application/octet-stream" when the
// extension is not one it knows.
const char* contentTypeFor(const QString& fileName);

// True when `address` names a scheme other than http or https ("ftp://...",
// "file:///..."). An address without a scheme is left to libcurl, which
// takes it as http.
bool hasForeignScheme(const QString& address);

// `address` as it may be shown or written to a log: user information
// ("user:password@" before the host) is replaced by "***@". So that a
// password holding "/", "?" or "#" is not half shown, everything from the
// scheme (or the start) up to the last "@" before a "?" or "#" counts as
// user information.
QString withoutUserInfo(const QString& address);

} // namespace transfer
