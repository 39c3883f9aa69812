#include "core/batch/transferrate.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace {
constexpr qint64 SampleMsecs = 250;  // shorter gaps are folded into the next sample
constexpr qint64 SettleMsecs = 1500; // nothing is shown before this
constexpr double Weight = 0.3;       // of the newest sample
} // namespace

void TransferRate::update(qint64 done, qint64 total, qint64 msecs)
{
    left_ = qMax<qint64>(0, total - done);
    if (startMsecs_ < 0) {
        startMsecs_ = lastMsecs_ = msecs;
        lastDone_ = done;
        return;
    }
    const qint64 gap = msecs - lastMsecs_;
    if (gap < SampleMsecs)
        return;
    const double sample = 1000.0 * double(qMax<qint64>(0, done - lastDone_)) / double(gap);
    rate_ = rate_ > 0 ? Weight * sample + (1 - Weight) * rate_ : sample;
    lastMsecs_ = msecs;
    lastDone_ = done;
    known_ = msecs - startMsecs_ >= SettleMsecs && rate_ > 0;
}

qint64 TransferRate::secondsLeft() const
{
    if (!known_)
        return -1;
    return qint64(std::ceil(double(left_) / rate_));
}

QString TransferRate::text() const
{
    if (!known_)
        return QString();
    const qint64 left = secondsLeft();
    const QString time =
        left < 60 ? QCoreApplication::translate("TransferRate", "%1 s").arg(left)
                  : QCoreApplication::translate("TransferRate", "%1 min").arg((left + 59) / 60);
    return QCoreApplication::translate("TransferRate", "%1/s, about %2 left")
        .arg(QLocale().formattedDataSize(qint64(rate_), 1), time);
}
