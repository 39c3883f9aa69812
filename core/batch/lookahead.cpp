#include "core/batch/lookahead.h"

#include "core/history/contenthash.h"
#include "core/history/sentjournal.h"
#include "core/site/sitesession.h"

#include <QFileInfo>
#include <QMutexLocker>

namespace {

imageprep::Options optionsOf(const UploadJob& job, qint64 budget)
{
    imageprep::Options options;
    options.memoryBudget = budget;
    options.maxwidth = job.maxwidth;
    options.maxheight = job.maxheight;
    options.quality = job.options.quality;
    options.keepLocation = job.options.keepLocation;
    options.hashSource = job.options.journal != nullptr;
    return options;
}

} // namespace

Lookahead::Lookahead(const UploadJob& job, std::function<bool()> stopped, int threads,
                     qint64 budget)
    : job(job), stopped(std::move(stopped)), options(optionsOf(job, budget)), budget(budget),
      ahead(qMax(threads, 1) + 1), entries(job.rows.size())
{
    pool.setMaxThreadCount(qMax(threads, 1));
    QMutexLocker lock(&mutex);
    fill();
}

Lookahead::~Lookahead()
{
    cancel();
    pool.waitForDone();
}

bool Lookahead::needsPreparing(const UploadJob& job, const picturelist::Row& row)
{
    return row.fullPath.isEmpty() || job.resize != 0 || row.fullPath.endsWith(QLatin1String("svg"));
}

void Lookahead::cancel()
{
    QMutexLocker lock(&mutex);
    cancelled = true;
    changed.wakeAll();
}

// A thumbnail is made the way a picture is prepared, at the thumbnail's size.
qint64 Lookahead::thumbnailCost(const QString& path) const
{
    imageprep::Options box;
    box.maxwidth = box.maxheight = imageprep::ThumbnailBox;
    return imageprep::decodeCost(path, box, true);
}

qint64 Lookahead::costOf(int row) const
{
    const picturelist::Row& r = job.rows.at(row);
    if (r.fullPath.isEmpty())
        return 2 * r.image.sizeInBytes();
    if (!needsPreparing(job, r))
        return job.options.thumbnails ? qMin(thumbnailCost(r.fullPath), budget) : 0;
    const qint64 cost = imageprep::decodeCost(r.fullPath, options, true);
    // Refused before it is decoded: only its header is read.
    return cost > budget ? imageprep::UnknownDecodeCost : cost;
}

void Lookahead::check(int row)
{
    Slot& slot = entries[row];
    if (slot.checked)
        return;
    slot.checked = true;
    slot.ready.refused = SiteSession::checkFile(job.rows.at(row).fullPath);
    if (!slot.ready.refused.ok())
        slot.started = slot.done = true; // nothing of it is read
}

void Lookahead::fill()
{
    while (!cancelled && nextRow < entries.size() && nextRow - takenRows < ahead) {
        Slot& slot = entries[nextRow];
        check(nextRow);
        if (slot.done) {
            ++nextRow;
            continue;
        }
        const qint64 cost = costOf(nextRow);
        // Within the budget, or the pool is idle: one picture always goes.
        if (inFlight > 0 && inFlight + cost > budget)
            return;
        if (stopped && stopped()) {
            cancelled = true;
            return;
        }
        slot.started = true;
        slot.cost = cost;
        inFlight += cost;
        const int row = nextRow++;
        pool.start([this, row] { work(row); });
    }
}

Lookahead::Ready Lookahead::prepare(int row) const
{
    imageprep::Preparer preparer;
    const picturelist::Row& r = job.rows.at(row);
    Ready ready;
    if (needsPreparing(job, r)) {
        ready.prepared = true;
        ready.picture = r.fullPath.isEmpty()
                            ? preparer.prepareImage(r.image, options, job.resize != 0)
                            : preparer.prepareFile(r.fullPath, options, true);
        ready.thumbnail = ready.picture.thumbnail;
        ready.hash = r.fullPath.isEmpty() && options.hashSource ? history::hashOfImage(r.image)
                                                                : ready.picture.sourceHash;
    } else {
        if (job.options.thumbnails && thumbnailCost(r.fullPath) <= budget)
            ready.thumbnail = imageprep::quickThumbnail(r.fullPath);
        // Otherwise its hash is made while it is sent, from the bytes sent.
        if (job.options.skipSent && options.hashSource &&
            job.options.journal->mayHaveSent(job.login.website, job.category,
                                             QFileInfo(r.fullPath).size()))
            ready.hash = history::hashOfFile(r.fullPath);
    }
    if (!job.options.thumbnails)
        ready.thumbnail = QImage();
    return ready;
}

void Lookahead::work(int row)
{
    {
        QMutexLocker lock(&mutex);
        if (cancelled || (stopped && stopped())) {
            cancelled = true;
            Slot& slot = entries[row];
            inFlight -= slot.cost;
            slot.ready.dropped = true;
            slot.done = true;
            changed.wakeAll();
            return;
        }
    }
    Ready ready = prepare(row);
    QMutexLocker lock(&mutex);
    Slot& slot = entries[row];
    slot.ready = std::move(ready);
    slot.done = true;
    inFlight -= slot.cost;
    fill();
    changed.wakeAll();
}

Lookahead::Ready Lookahead::take(int row)
{
    QMutexLocker lock(&mutex);
    Slot& slot = entries[row];
    takenRows = qMax(takenRows, row + 1);
    fill();
    check(row);
    while (!slot.done && !(cancelled && !slot.started))
        changed.wait(&mutex);
    if (!slot.done) { // cancelled before it started
        Ready dropped;
        dropped.dropped = true;
        return dropped;
    }
    return std::exchange(slot.ready, Ready());
}
