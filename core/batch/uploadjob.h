#pragma once

#include "core/pictures/picturelist.h"
#include "core/site/sitesession.h"
#include "core/site/transfer.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <memory>

namespace history {
class SentJournal;
}

// How a job is carried out, beyond what it sends.
struct JobOptions
{
    transfer::Timeouts timeouts;
    QString caCertificates;    // a PEM file of CA certificates to trust; empty: the system's
    bool thumbnails = true;    // announce each picture with a thumbnail (someone shows them)
    int quality = -1;          // of prepared pictures, 0..100; -1: the toolkit's default
    bool keepLocation = false; // prepared pictures keep their GPS tags
    // Where each picture the site accepts is recorded; none: nothing is, and
    // no content is hashed.
    std::shared_ptr<history::SentJournal> journal;
    // Pictures the journal says were sent to this site and category with the
    // same content are not sent again (Outcome::AlreadySent).
    bool skipSent = false;
};

// Everything one job needs, as one value: the window and the command line
// build it from the settings (core/settings.h) and hand it to the runner.
struct UploadJob
{
    SiteLogin login;
    int category = 0;
    // Non-zero: every picture is scaled down to the limits when larger and
    // sent as JPEG. Zero: files are sent as they are (SVG drawings excepted).
    int resize = 0;
    int maxwidth = 1000;
    int maxheight = 1000;
    QList<picturelist::Row> rows; // the pictures, in the order they are sent
    JobOptions options;

    SiteSession::Config sessionConfig() const
    {
        return {login, options.timeouts, options.caCertificates};
    }
};

Q_DECLARE_METATYPE(JobOptions)
