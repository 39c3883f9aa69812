#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QtGlobal>

// How far a batch has come, its speed and the time it has left. The total is
// partly an estimate (pictures not prepared yet) and changes as sizes become
// known; the share done still never goes back: each report moves it on by
// the bytes sent since the last one, out of those and what is left now.
// The speed is the average over the last half minute, so that a site that
// thinks a while after each picture gives a steady time left.
class TransferRate
{
public:
    // A report: `done` bytes sent (never fewer than before) of `total` (done
    // and the estimate of the rest), at `msecs` on a steady clock.
    void update(qint64 done, qint64 total, qint64 msecs);

    // The share of the batch done, 0 to 1; never less than reported before.
    double fraction() const { return fraction_; }
    bool known() const { return rate_ > 0; }
    double bytesPerSecond() const { return rate_; }
    // Whole seconds, rounded up; -1 while unknown.
    qint64 secondsLeft() const;
    // "1.2 MiB/s, about 14 s left" (minutes from a minute on), in the user's
    // language; empty while unknown.
    QString text() const;

    static constexpr qint64 WindowMsecs = 30000; // the speed is averaged over this
    static constexpr qint64 SettleMsecs = 1500;  // nothing is told before this

private:
    QList<QPair<qint64, qint64>> samples_; // (msecs, done), oldest first
    qint64 startMsecs_ = -1;
    qint64 done_ = 0;
    qint64 left_ = 0;
    double fraction_ = 0;
    double rate_ = 0;
};
