#include "core/batch/lookahead.h"

#include "core/history/contenthash.h"
#include "core/history/sentjournal.h"
#include "core/site/sitesession.h"

#include <QFileInfo>
#include <QMutexLocker>

namespace {

imageprep::Options optionsOf(const UploadJob& job)
{
    imageprep::Options options;
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
    : job(job), stopped(std::move(stopped)), options(optionsOf(job)), budget(budget),
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

qint64 Lookahead::costOf(int row) const
{
    const picturelist::Row& r = job.rows.at(row);
    if (r.fullPath.isEmpty())
        return 2 * r.image.sizeInBytes();
    if (!needsPreparing(job, r))
        return imageprep::UnknownDecodeCost; // a thumbnail at most
    return imageprep::decodeCost(r.fullPath, options, true);
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
        if (stopped && stopped()) {
            cancelled = true;
            return;
        }
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
        slot.started = true;
        slot.cost = cost;
        inFlight += cost;
        const int row = nextRow++;
        pool.start([this, row] { work(row); });
    }
}

Lookahead::Ready Lookahead::prepare(int row) const
{
    // Each pool thread keeps its own decode buffer from picture to picture.
    thread_local imageprep::Preparer preparer;
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
        if (job.options.thumbnails)
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
            inFlight -= entries[row].cost;
            entries[row].done = true;
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
    if (!slot.done) // cancelled before it started: prepare it here
    {
        lock.unlock();
        return prepare(row);
    }
    return std::exchange(slot.ready, Ready());
}
