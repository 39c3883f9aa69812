#pragma once

#include "core/outcome.h"
#include "core/pictures/imageprep.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// What the user is told became of each picture of a batch, in the window, on
// the command line and in its JSON: the four results, their words, their
// counts and the summary line; and the outcomes the runner gives the pictures
// it does not send.
namespace results {

enum Result { Sent, Failed, Skipped, NotSent };
constexpr int Count = NotSent + 1;

// English words are those of the command line's lines and of its JSON;
// translated ones those of the window.
enum Language { English, Translated };

Result of(const Outcome& outcome);

// "sent", "failed", "skipped", "not sent".
QString word(Result result, Language language);
// A picture's result cell: its word or, for one not sent, "not sent (reason)".
QString label(const Outcome& outcome);
// Why the picture was not sent: the outcome's message; empty when it was.
QString reason(const Outcome& outcome);

// A picture skipped because it could not be prepared, with a reason the user
// can act on (for one too large, what it needs and the limit).
Outcome notPrepared(const imageprep::Prepared& picture, const QString& file);
// A picture left out because its content went to the same site and category
// at `when` ("already sent on 2024-05-01 14:03").
Outcome alreadySent(const QDateTime& when, const QString& file);

// Why a batch stopped before a picture.
enum Stop { Cancelled, LoginFailed, SiteUnreachable };
Outcome stopped(Stop why);

// The results of a batch, counted.
class Tally
{
public:
    void add(const Outcome& outcome) { add(of(outcome), outcome.ok() ? outcome.bytes : 0); }
    void add(Result result, qint64 bytes = 0);

    int count(Result result) const { return counts[result]; }
    qint64 bytesSent() const { return bytes; }
    // "1 failed", "2 skipped": each result other than sent that occurred.
    QStringList unsent(Language language) const;
    // "18 sent, 1 failed, 1 skipped".
    QString summary(Language language) const;

private:
    int counts[Count] = {};
    qint64 bytes = 0;
};

} // namespace results
