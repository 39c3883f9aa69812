#pragma once

#include "core/batch/uploadjob.h"
#include "core/outcome.h"
#include "core/pictures/imageprep.h"

#include <QImage>
#include <QList>
#include <QMutex>
#include <QThreadPool>
#include <QWaitCondition>

#include <functional>

// Gets the pictures of a batch ready while earlier ones are being sent: on a
// small pool of threads, in list order, never more than a few pictures ahead
// and, apart from the one picture needed next, never more decoded pixels at a
// time than the budget allows; a picture that alone needs more is refused
// as too large. What each row needs is worked out as the batch sends it: a
// prepared (scaled, re-encoded) picture, or, for a file sent as it is, only
// the thumbnail for whoever shows the batch (none that would not fit the
// budget). Each row's
// file is checked once, before anything opens it: one that must never be
// opened (SiteSession::checkFile) is neither read nor prepared. When the batch
// keeps a journal, each picture's content hash is made here too.
class Lookahead
{
public:
    struct Ready
    {
        // Not made: the batch was cancelled before its turn came. Such a row
        // is never sent.
        bool dropped = false;
        bool prepared = false;       // `picture` holds the bytes to send
        imageprep::Prepared picture; // when prepared (its failure, if any)
        QImage thumbnail;            // for the progress window; null when not wanted
        Outcome refused;             // why the row's file is never opened, if so
        // The content hash of the picture (core/history/contenthash.h), made
        // where it is read anyway: while it is prepared; for a file sent as it
        // is only when it must be known before it is sent (the batch skips
        // pictures sent before and the journal knows a file of that size).
        QByteArray hash;
    };

    static constexpr qint64 DefaultBudget = qint64(256) << 20;

    // `stopped` is asked before each picture is queued and again before its
    // work begins: once it answers true (the batch was cancelled), nothing
    // more is prepared, and what was queued is dropped.
    explicit Lookahead(const UploadJob& job, std::function<bool()> stopped = {},
                       int threads = QThread::idealThreadCount(), qint64 budget = DefaultBudget);
    // Drops what was not started and waits for what was.
    ~Lookahead();
    Lookahead(const Lookahead&) = delete;
    Lookahead& operator=(const Lookahead&) = delete;

    // Whether `row` is sent prepared (scaled and encoded as JPEG) rather than
    // as the file it is.
    static bool needsPreparing(const UploadJob& job, const picturelist::Row& row);

    // The row's result, waiting for it when needed. Rows are taken in order;
    // taking one lets the pool go on further. Once cancelled, a row not
    // started comes back dropped.
    Ready take(int row);
    // Nothing more is started.
    void cancel();

private:
    struct Slot
    {
        bool started = false;
        bool done = false;
        bool checked = false; // the row's file (ready.refused)
        qint64 cost = 0;
        Ready ready;
    };

    void check(int row); // the row's file, once; a refused row is done (lock held)
    void fill();         // starts what may start (lock held)
    void work(int row);  // on a pool thread
    Ready prepare(int row) const;
    qint64 costOf(int row) const;
    qint64 thumbnailCost(const QString& path) const;

    const UploadJob job;
    const std::function<bool()> stopped;
    const imageprep::Options options;
    const qint64 budget;
    const int ahead; // how many pictures may be under way or waiting
    QMutex mutex;
    QWaitCondition changed;
    QList<Slot> entries;
    int nextRow = 0;   // the next row to start
    int takenRows = 0; // rows handed out
    qint64 inFlight = 0;
    bool cancelled = false;
    QThreadPool pool;
};
