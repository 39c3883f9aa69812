#pragma once

#include <QString>
#include <QtGlobal>

// The speed of a batch and the time it has left, smoothed so that neither
// jumps with every report. Both become known once the batch has run for a
// moment and moved some bytes.
class TransferRate
{
public:
    // A report: `done` of `total` bytes, at `msecs` on a steady clock.
    void update(qint64 done, qint64 total, qint64 msecs);

    bool known() const { return known_; }
    double bytesPerSecond() const { return rate_; }
    // Whole seconds, rounded up; -1 while unknown.
    qint64 secondsLeft() const;
    // "1.2 MiB/s, about 14 s left" (minutes from a minute on), in the user's
    // language; empty while unknown.
    QString text() const;

private:
    qint64 startMsecs_ = -1;
    qint64 lastMsecs_ = 0;
    qint64 lastDone_ = 0;
    qint64 left_ = 0;
    double rate_ = 0;
    bool known_ = false;
};
