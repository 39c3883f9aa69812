#include "core/batch/results.h"

#include "core/history/sentjournal.h"

#include <QCoreApplication>

#include <iterator>

namespace results {

namespace {

struct Words
{
    const char* word;  // "sent"
    const char* count; // "%1 sent"
};

// In the order of Result.
const Words words[] = {
    {QT_TRANSLATE_NOOP("results", "sent"), QT_TRANSLATE_NOOP("results", "%1 sent")},
    {QT_TRANSLATE_NOOP("results", "failed"), QT_TRANSLATE_NOOP("results", "%1 failed")},
    {QT_TRANSLATE_NOOP("results", "skipped"), QT_TRANSLATE_NOOP("results", "%1 skipped")},
    {QT_TRANSLATE_NOOP("results", "not sent"), QT_TRANSLATE_NOOP("results", "%1 not sent")},
};
static_assert(std::size(words) == Count);

QString say(const char* text, Language language)
{
    return language == English ? QString::fromLatin1(text)
                               : QCoreApplication::translate("results", text);
}

QString runnerText(const char* text)
{
    return QCoreApplication::translate("uploadThread", text);
}

} // namespace

Result of(const Outcome& outcome)
{
    switch (outcome.kind) {
    case Outcome::Ok:
        return Sent;
    case Outcome::NotPrepared:
    case Outcome::AlreadySent:
        return Skipped;
    case Outcome::Cancelled:
    case Outcome::Stopped:
        return NotSent;
    default:
        return Failed;
    }
}

QString word(Result result, Language language)
{
    return say(words[result].word, language);
}

QString label(const Outcome& outcome)
{
    const Result result = of(outcome);
    if (result == NotSent)
        return QCoreApplication::translate("results", "not sent (%1)").arg(reason(outcome));
    return word(result, Translated);
}

QString reason(const Outcome& outcome)
{
    return outcome.ok() ? QString() : outcome.message();
}

Outcome notPrepared(const imageprep::Prepared& picture, const QString& file)
{
    using imageprep::Prepared;
    const auto megabytes = [](qint64 bytes) {
        return QString::number((bytes + (1 << 20) - 1) >> 20);
    };
    QString why;
    if (picture.failure == Prepared::TooLarge && picture.allowed > 0) {
        why = runnerText(QT_TRANSLATE_NOOP("uploadThread", "too large: preparing it needs %1 MB "
                                                           "of memory, more than the %2 MB "
                                                           "allowed"))
                  .arg(megabytes(picture.needed), megabytes(picture.allowed));
    } else if (picture.failure == Prepared::TooLarge) {
        why =
            runnerText(QT_TRANSLATE_NOOP("uploadThread", "too large: more than %1 million pixels"))
                .arg(imageprep::MaxPixels / 1000000);
    } else {
        why = runnerText(picture.failure == Prepared::Unreadable
                             ? QT_TRANSLATE_NOOP("uploadThread", "not a picture that can be read")
                             : QT_TRANSLATE_NOOP("uploadThread", "could not be converted"));
    }
    Outcome o = Outcome::quiet(Outcome::NotPrepared, why);
    o.file = file;
    return o;
}

Outcome alreadySent(const QDateTime& when, const QString& file)
{
    Outcome o = Outcome::quiet(Outcome::AlreadySent,
                               runnerText(QT_TRANSLATE_NOOP("uploadThread", "already sent on %1"))
                                   .arg(history::SentJournal::describe(when)));
    o.file = file;
    return o;
}

Outcome stopped(Stop why)
{
    const char* reason = why == Cancelled ? QT_TRANSLATE_NOOP("uploadThread", "cancelled")
                         : why == LoginFailed
                             ? QT_TRANSLATE_NOOP("uploadThread", "the login failed")
                             : QT_TRANSLATE_NOOP("uploadThread", "the site could not be reached");
    return Outcome::quiet(Outcome::Stopped, runnerText(reason));
}

void Tally::add(Result result, qint64 sent)
{
    ++counts[result];
    if (result == Sent)
        bytes += sent;
}

QStringList Tally::unsent(Language language) const
{
    QStringList parts;
    for (int r = Failed; r < Count; ++r) {
        if (counts[r] > 0)
            parts << say(words[r].count, language).arg(counts[r]);
    }
    return parts;
}

QString Tally::summary(Language language) const
{
    return (QStringList{say(words[Sent].count, language).arg(counts[Sent])} + unsent(language))
        .join(QLatin1String(", "));
}

} // namespace results
