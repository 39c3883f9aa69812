#pragma once

#include <QMetaType>
#include <QString>

// What became of one exchange with the site, or of one picture of a batch.
struct Outcome
{
    enum Kind {
        Ok,
        TransferFailed, // libcurl could not complete the request
        Refused,        // the site answered, but not with what was asked for
        TooLarge,       // the site's answer exceeded what is read of it
        Unreadable,     // the picture file cannot be read as a file
        NotPrepared,    // the picture cannot be read as a picture, or is too large
        BadAddress,     // the site address is not one the program may use
        Cancelled,      // the user cancelled before it was done
        Stopped,        // the batch stopped before this picture
    };

    // What the user is told became of a picture.
    enum Result { Sent, Failed, Skipped, NotSent };

    Kind kind = Ok;
    // The message the user is told: a title of the site's exchanges ("curl",
    // "login error", "error", "file upload error") and its text. An empty
    // title means the failure is reported without a message box.
    QString title;
    QString text;
    QString detail;      // more on the cause: libcurl's own text, the HTTP status, ...
    long httpStatus = 0; // of the answer, when there was one
    int curlCode = 0;    // CURLcode of a failed transfer
    QString file;        // the picture file concerned, if any
    qint64 bytes = 0;    // size of the picture sent, when one was

    bool ok() const { return kind == Ok; }
    Result result() const
    {
        switch (kind) {
        case Ok:
            return Sent;
        case NotPrepared:
            return Skipped;
        case Cancelled:
        case Stopped:
            return NotSent;
        default:
            return Failed;
        }
    }
    bool needsMessage() const { return !ok() && !title.isEmpty(); }
    // The text and, on its own line, the detail when it adds something.
    QString message() const
    {
        if (detail.isEmpty() || detail == text)
            return text;
        return text + QLatin1Char('\n') + detail;
    }
    // The site could not be reached at all (no connection, no answer in time):
    // the next request would most likely fare no better.
    bool siteUnreachable() const;

    static Outcome failure(Kind kind, const QString& title, const QString& text,
                           const QString& detail = QString())
    {
        Outcome o;
        o.kind = kind;
        o.title = title;
        o.text = text;
        o.detail = detail;
        return o;
    }
};

Q_DECLARE_METATYPE(Outcome)
