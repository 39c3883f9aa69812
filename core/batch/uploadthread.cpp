#include "core/batch/uploadthread.h"

#include "core/batch/lookahead.h"
#include "core/history/contenthash.h"
#include "core/history/sentjournal.h"
#include "core/site/sitesession.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QImageReader>
#include <QMutexLocker>
#include <QStandardItemModel>

#include <chrono>
#include <optional>
#include <utility>

uploadThread::uploadThread(QObject* parent) : QThread(parent)
{
    qRegisterMetaType<Outcome>();
    QMutexLocker lock(&mutex);
    cancelled = false;
    connect(this, &QThread::finished, this, &uploadThread::threadend);
}

uploadThread::~uploadThread()
{
    stopping = true;
    {
        QMutexLocker lock(&mutex);
        cancelled = true;
    }
    acknowledged.release();
    wait();
}

void uploadThread::setWaitForAcknowledgement(bool wait)
{
    QMutexLocker lock(&mutex);
    waitForAcknowledgement = wait;
}

void uploadThread::cancel()
{
    QMutexLocker lock(&mutex);
    if (!cancelled && isRunning())
        cancelledAt = now();
    cancelled = true;
}

qint64 uploadThread::now()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void uploadThread::setLoginData(QString website, QString username, QString password)
{
    QMutexLocker lock(&mutex);
    next.login = {website, username, password};
}

void uploadThread::setCategory(int category)
{
    QMutexLocker lock(&mutex);
    next.category = category;
}

void uploadThread::setResize(int resize)
{
    QMutexLocker lock(&mutex);
    next.resize = resize;
}

void uploadThread::setResizeData(int maxwidth, int maxheight)
{
    QMutexLocker lock(&mutex);
    next.maxwidth = maxwidth;
    next.maxheight = maxheight;
}

void uploadThread::setFilelistData(QStandardItemModel& model)
{
    QMutexLocker lock(&mutex);
    filelistmodel = &model;
}

void uploadThread::setJobOptions(JobOptions options)
{
    QMutexLocker lock(&mutex);
    next.options = options;
}

void uploadThread::startUpload()
{
    UploadJob batch;
    {
        // The batch works on its own copy of the rows, so the list may change
        // while it runs.
        QMutexLocker lock(&mutex);
        batch = next;
        if (!isRunning() && filelistmodel)
            batch.rows = picturelist::snapshot(*filelistmodel);
    }
    startBatch(batch);
}

void uploadThread::startBatch(UploadJob batch)
{
    if (isRunning()) {
        // No second job: the request ends with the running one.
        emit uploadRequested(startedRuns.isEmpty() ? lastRun : startedRuns.last(), false);
        return;
    }
    emit uploadRequested(lastRun + 1, true);
    startJob(batch, UploadBatch);
}

void uploadThread::getCategories()
{
    if (isRunning())
        return;
    UploadJob fetch;
    {
        QMutexLocker lock(&mutex);
        fetch = next;
    }
    startJob(fetch, CategoryFetch);
}

void uploadThread::startJob(const UploadJob& value, JobKind kind)
{
    if (isRunning())
        return;
    {
        QMutexLocker lock(&mutex);
        cancelled = false;
        cancelledAt = 0;
        jobMode = kind;
        job = value;
        if (kind != UploadBatch)
            job.rows.clear();
    }
    while (acknowledged.tryAcquire()) {
    }
    startedRuns.append(++lastRun);
    QThread::start(QThread::LowPriority);
}

void uploadThread::threadend()
{
    if (!startedRuns.isEmpty())
        emit jobEnded(startedRuns.takeFirst());
}

void uploadThread::acknowledge()
{
    acknowledged.release();
}

bool uploadThread::isCancelled()
{
    QMutexLocker lock(&mutex);
    return cancelled;
}

void uploadThread::run()
{
    int mode;
    {
        QMutexLocker lock(&mutex);
        mode = jobMode;
    }
    planBatch();
    lastReport = 0;
    {
        // Pictures are prepared ahead, from the login on, while earlier ones
        // are sent; Cancel drops what was prepared ahead.
        std::optional<Lookahead> lookahead;
        if (mode == UploadBatch)
            lookahead.emplace(job, [this] { return isCancelled(); });
        SiteSession session(job.sessionConfig(), this);
        bool error = false;
        if (!isCancelled())
            error = !login(session);
        if (mode == UploadBatch) {
            if (!isCancelled() && !error)
                processFilelist(session, *lookahead);
            finishRemaining(isCancelled() ? results::Cancelled
                            : error       ? results::LoginFailed
                                          : results::SiteUnreachable);
        }
        if (mode == CategoryFetch && !isCancelled() && !error)
            emitContentAsBA(session);
    }
    job.rows.clear(); // nothing of the batch stays behind for later
    sizes.clear();
    finished.clear();
    qDebug(" thread end");
}

void uploadThread::planBatch()
{
    sizes.clear();
    finished = QList<bool>(job.rows.size(), false);
    // A prepared picture is planned from its header: the size it will have,
    // at the bytes a pixel its source spends (within what JPEG photos take).
    const QSize limits(qMax(job.maxwidth, 1), qMax(job.maxheight, 1));
    const auto prepared = [&](const QSize& source, qint64 sourceBytes) {
        if (source.isEmpty())
            return qint64(0);
        const QSize size =
            job.resize != 0 ? imageprep::fitWithin(source, limits).boundedTo(source) : source;
        const double pixels = double(source.width()) * source.height();
        const double perPixel = qBound(0.1, double(sourceBytes) / pixels, 0.5);
        return qint64(perPixel * size.width() * size.height());
    };
    for (const picturelist::Row& row : job.rows) {
        const QFileInfo info(row.fullPath);
        if (row.fullPath.isEmpty())
            sizes.append(prepared(row.image.size(), row.image.sizeInBytes() / 8));
        else if (!info.isFile())
            sizes.append(0);
        else if (!Lookahead::needsPreparing(job, row))
            sizes.append(info.size());
        else
            sizes.append(prepared(QImageReader(row.fullPath).size(), info.size()));
    }
}

bool uploadThread::login(SiteSession& session)
{
    qDebug("login");
    const Outcome outcome = session.login();
    emit loginFinished(outcome);
    informUser(outcome);
    return outcome.ok();
}

bool uploadThread::emitContentAsBA(SiteSession& session)
{
    qDebug("emitContentAsBA");
    QByteArray page;
    const Outcome outcome = session.galleryPage(&page);
    if (outcome.ok())
        emit updateCategories(page);
    emit categoriesFetched(outcome);
    informUser(outcome);
    return outcome.ok();
}

bool uploadThread::processFilelist(SiteSession& session, Lookahead& lookahead)
{
    qDebug("processFilelist");
    session.beginBatch(job.category);
    for (int r = 0; r < job.rows.size() && !isCancelled(); ++r) {
        current = r;
        emit pictureStarted(r);
        reportBatch(0);
        const Outcome outcome = processRow(session, lookahead, r);
        finishRow(r, outcome);
        informUser(outcome);
        // A site that cannot be reached takes no more of the user's time.
        if (outcome.siteUnreachable)
            break;
    }
    current = -1;
    return true;
}

void uploadThread::finishRow(int row, const Outcome& outcome)
{
    sizes[row] = outcome.bytes; // what was sent: nothing for a picture not sent
    finished[row] = true;
    emit pictureFinished(row, outcome);
}

void uploadThread::finishRemaining(results::Stop why)
{
    for (int r = 0; r < finished.size(); ++r) {
        if (!finished.at(r))
            finishRow(r, results::stopped(why));
    }
}

void uploadThread::reportBatch(qint64 currentDone)
{
    qint64 done = currentDone;
    qint64 total = 0;
    for (int r = 0; r < sizes.size(); ++r) {
        total += sizes.at(r);
        if (finished.at(r))
            done += sizes.at(r);
    }
    emit updateBatch(current + 1, int(sizes.size()), qMin(done, total), total);
}

Outcome uploadThread::processRow(SiteSession& session, Lookahead& lookahead, int r)
{
    const picturelist::Row& row = job.rows.at(r);
    qDebug() << row.fullPath;
    if (row.fullPath.isEmpty())
        qDebug("clipboard");
    const Lookahead::Ready ready = lookahead.take(r);
    emit updateFilename(row.name, ready.thumbnail);
    if (!ready.refused.ok()) // missing, a FIFO or a device: nothing of it was opened
        return ready.refused;
    // A picture to be prepared is never sent as it is on disk, also when the
    // batch was cancelled before it could be prepared.
    if (ready.dropped || (!ready.prepared && Lookahead::needsPreparing(job, row)))
        return results::stopped(results::Cancelled);
    history::SentJournal* journal = job.options.journal.get();
    if (job.options.skipSent && journal && !ready.hash.isEmpty()) {
        const QDateTime sent = journal->sentBefore(job.login.website, job.category, ready.hash);
        if (sent.isValid())
            return results::alreadySent(sent, row.fullPath);
    }
    if (!ready.prepared) {
        sizes[r] = QFileInfo(row.fullPath).size();
        QByteArray streamed; // hashed as it is sent
        const Outcome outcome = uploadGallery(
            session, row, nullptr, journal && ready.hash.isEmpty() ? &streamed : nullptr);
        record(row, outcome, ready.hash.isEmpty() ? streamed : ready.hash);
        return outcome;
    }

    qDebug(row.fullPath.isEmpty() ? (job.resize != 0 ? "resizeImageFromQImage" : "saveImage")
                                  : "resizeImage");
    if (ready.picture.failure != imageprep::Prepared::None)
        return results::notPrepared(ready.picture, row.fullPath);
    sizes[r] = ready.picture.bytes.size();
    const Outcome outcome = uploadGallery(session, row, &ready.picture.bytes);
    record(row, outcome, ready.hash);
    return outcome;
}

void uploadThread::record(const picturelist::Row& row, const Outcome& outcome, QByteArray hash)
{
    history::SentJournal* journal = job.options.journal.get();
    if (!journal || !outcome.ok())
        return;
    if (hash.isEmpty()) // libcurl read the file in another way than once through
        hash = row.fullPath.isEmpty() ? history::hashOfImage(row.image)
                                      : history::hashOfFile(row.fullPath);
    const qint64 bytes = row.fullPath.isEmpty() ? 0 : QFileInfo(row.fullPath).size();
    if (!hash.isEmpty() && !journal->record({QDateTime::currentDateTimeUtc(), job.login.website,
                                             job.category, hash, bytes, row.name}))
        qDebug() << "could not record" << row.name << "in" << journal->path();
}

Outcome uploadThread::uploadGallery(SiteSession& session, const picturelist::Row& row,
                                    const QByteArray* bytes, QByteArray* contentHash)
{
    qDebug("uploadGallery");
    return session.upload({row.name, row.comment, row.fullPath, bytes, contentHash});
}

void uploadThread::informUser(const Outcome& outcome)
{
    if (!outcome.needsMessage)
        return;
    {
        QMutexLocker lock(&mutex);
        if (!waitForAcknowledgement)
            return;
    }
    while (!acknowledged.tryAcquire(1, 50)) {
        if (stopping)
            return;
    }
}

void uploadThread::reportProgress(int ultotal, int ulnow)
{
    // Nobody reads faster than ten reports a second; the last one of a
    // request always goes.
    const qint64 t = now();
    if (ulnow < ultotal && t - lastReport < 100)
        return;
    lastReport = t;
    emit updateProgress(ultotal, ulnow);
    if (current >= 0 && current < sizes.size())
        reportBatch(qint64(double(sizes.at(current)) * ulnow / qMax(1, ultotal)));
}

bool uploadThread::abortTransfer() const
{
    const qint64 at = cancelledAt;
    return stopping || (at > 0 && now() - at >= CancelGraceSeconds * 1000);
}
