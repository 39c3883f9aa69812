#pragma once

#include "core/outcome.h"
#include "core/site/transfer.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace curl {
class Easy;
}

// The login of a job.
struct SiteLogin
{
    QString website; // the site's base address as typed
    QString username;
    QString password;
};

// One picture as it goes to the site.
struct UploadItem
{
    QString name;                      // the file name in the part header
    QString comment;                   // may be empty
    QString path;                      // the file sent as it is on disk, when `bytes` is null
    const QByteArray* bytes = nullptr; // the prepared picture; must outlive upload()
    // For a file sent as it is: receives the content hash of the bytes sent
    // (core/history/contenthash.h), made as they go; left empty when they
    // were not read through once from start to end.
    QByteArray* contentHash = nullptr;
};

// One job's conversation with the site, over one libcurl handle whose cookie
// engine carries the login's session to the later requests. Every request
// reports an Outcome; the HTTP status counts (400 and above is a failure,
// whatever the page says), redirects are not followed, only http and https
// are spoken, answers are read up to a limit (compressed ones decoded), and
// certificates are always checked (against `caCertificates` when it names a
// file; one that is not a regular file refuses every request). User
// information in the site's address is never written to the trace. A failure that
// leaves the site out of reach (no connection, no answer in time) says so
// (Outcome::siteUnreachable); an upload abandoned because the progress
// receiver asked for it is Outcome::Cancelled.
class SiteSession
{
public:
    struct Config
    {
        SiteLogin login;
        transfer::Timeouts timeouts;
        QString caCertificates; // a PEM file of CA certificates; empty: the system's
    };

    explicit SiteSession(const Config& config, transfer::ProgressReceiver* progress = nullptr);
    ~SiteSession();
    SiteSession(const SiteSession&) = delete;
    SiteSession& operator=(const SiteSession&) = delete;

    // Posts the user name and password to "<site>/admin.php"; accepted when
    // the answer holds the administration menu's title.
    Outcome login();
    // Fetches "<site>/admin.php?gallery" into *page; found when it holds the
    // category link marker.
    Outcome galleryPage(QByteArray* page);
    // Sets the address the following uploads go to: category `category`.
    Outcome beginBatch(int category);
    // Posts one picture with its comment; arrived when the answer says so.
    Outcome upload(const UploadItem& item);

    // An Unreadable outcome, without a message box, when the picture file at
    // `path` does not exist, is not a regular file (reading a FIFO or a
    // device would block the job forever) or may not be read; its text says
    // which. An empty path (a picture in memory) passes. upload() never opens
    // such a file; whoever else opens picture files asks here first.
    static Outcome checkFile(const QString& path);

private:
    Outcome setAddress(const QString& url);
    Outcome perform(QByteArray* answer, QLatin1StringView marker, const QString& title,
                    const QString& text);

    Config config_;
    transfer::ProgressReceiver* progress_;
    std::unique_ptr<curl::Easy> easy_;
    Outcome refused_; // why no request may be made at all, if so
};
