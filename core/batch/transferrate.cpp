#include "core/batch/transferrate.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace {
constexpr qint64 SampleMsecs = 250; // closer reports share a sample
} // namespace

void TransferRate::update(qint64 done, qint64 total, qint64 msecs)
{
    done = qMax(done, done_);
    const qint64 left = qMax<qint64>(0, total - done);
    if (startMsecs_ < 0) {
        startMsecs_ = msecs;
        fraction_ = total > 0 ? double(done) / double(total) : 0;
        samples_.append({msecs, done});
    } else if (const qint64 step = done - done_; step + left > 0) {
        // The part of the rest that this step took, whatever the rest is now.
        fraction_ = 1 - (1 - fraction_) * double(left) / double(step + left);
    }
    done_ = done;
    left_ = left;
    if (msecs - samples_.last().first >= SampleMsecs)
        samples_.append({msecs, done});
    while (samples_.size() > 2 && msecs - samples_.at(1).first >= WindowMsecs)
        samples_.removeFirst();
    const auto& [since, then] = samples_.first();
    rate_ = msecs - startMsecs_ >= SettleMsecs && msecs > since
                ? 1000.0 * double(done - then) / double(msecs - since)
                : 0;
}

qint64 TransferRate::secondsLeft() const
{
    if (!known())
        return -1;
    return qint64(std::ceil(double(left_) / rate_));
}

QString TransferRate::text() const
{
    if (!known())
        return QString();
    const qint64 left = secondsLeft();
    const QString time =
        left < 60 ? QCoreApplication::translate("TransferRate", "%1 s").arg(left)
                  : QCoreApplication::translate("TransferRate", "%1 min").arg((left + 59) / 60);
    return QCoreApplication::translate("TransferRate", "%1/s, about %2 left")
        .arg(QLocale().formattedDataSize(qint64(rate_), 1), time);
}
