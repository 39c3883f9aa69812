#pragma once

#include <QMetaType>
#include <QString>

// What became of one exchange with the site, or of one picture of a batch.
// What the user is told of it is in core/batch/results.h.
struct Outcome
{
    enum Kind {
        Ok,
        TransferFailed, // libcurl could not complete the request
        Refused,        // the site answered, but not with what was asked for
        TooLarge,       // the site's answer exceeded what is read of it
        Unreadable,     // a file the job needs (a picture, the CA file) cannot be read
        NotPrepared,    // the picture cannot be read as a picture, or is too large
        BadAddress,     // the site address is not one the program may use
        Cancelled,      // the user cancelled before it was done
        Stopped,        // the batch stopped before this picture
        AlreadySent,    // sent to the same site and category before, with the same content
    };

    Kind kind = Ok;
    // The failure is told in a message box: `title` (one of the site's
    // exchanges: "curl", "login error", "error", "file upload error") over
    // message(). Other failures are reported with their picture only.
    bool needsMessage = false;
    // No connection, or no answer in time: the next request to the site would
    // most likely fare no better.
    bool siteUnreachable = false;
    QString title;
    QString text;
    QString detail;      // more on the cause: libcurl's own text, the HTTP status, ...
    long httpStatus = 0; // of the answer, when there was one
    int curlCode = 0;    // libcurl's result code of a failed transfer, for the record
    QString file;        // the picture file concerned, if any
    qint64 bytes = 0;    // size of the picture sent, when one was

    bool ok() const { return kind == Ok; }
    // The text and, on its own line, the detail when it adds something.
    QString message() const
    {
        if (detail.isEmpty() || detail == text)
            return text;
        return text + QLatin1Char('\n') + detail;
    }

    // A failure told in a message box.
    static Outcome failure(Kind kind, const QString& title, const QString& text,
                           const QString& detail = QString())
    {
        Outcome o = quiet(kind, text);
        o.needsMessage = true;
        o.title = title;
        o.detail = detail;
        return o;
    }
    // A failure reported with its picture only, for `reason`.
    static Outcome quiet(Kind kind, const QString& reason)
    {
        Outcome o;
        o.kind = kind;
        o.text = reason;
        return o;
    }
};

Q_DECLARE_METATYPE(Outcome)
