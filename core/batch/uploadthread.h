#pragma once

#include "core/batch/results.h"
#include "core/batch/uploadjob.h"
#include "core/outcome.h"
#include "core/site/transfer.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <atomic>

class Lookahead;
class QStandardItemModel;
class SiteSession;

// The program's one transfer worker. It holds the inputs of the next job,
// runs one job at a time on its own thread (an upload batch, or a category
// fetch), talks to the site through a SiteSession, and reports what happens
// as data: the pictures started and finished with their outcomes, the bytes
// sent, the category page. It shows nothing itself; whoever shows its
// failures to the user can have it wait until each one has been seen.
class uploadThread : public QThread, private transfer::ProgressReceiver
{
    Q_OBJECT

public:
    enum JobKind { UploadBatch = 0, CategoryFetch = 1 };
    Q_ENUM(JobKind)

    // A transfer still running this long after Cancel is abandoned.
    static constexpr int CancelGraceSeconds = 5;

    explicit uploadThread(QObject* parent = nullptr);
    // Cancels, abandons any transfer under way and waits for the thread.
    ~uploadThread() override;

    // When on, the worker stops after each failure that needs a message
    // (Outcome::needsMessage) until acknowledge() is called.
    void setWaitForAcknowledgement(bool wait);

signals:
    // The picture about to be sent: its name and a thumbnail that fits
    // 100 x 100 (null when none is made).
    void updateFilename(QString nicename, QImage thumbnail);
    // Bytes of the current request's body in all, and sent so far.
    void updateProgress(int ultotal, int ulnow);
    // The whole gallery administration page, once it has been found good.
    void updateCategories(QByteArray ba);

    // A batch was asked for (startBatch()); `run` is the run whose end answers
    // the request: the one just `started` or, when the worker was busy, the
    // one running. Runs count from 1.
    void uploadRequested(int run, bool started);
    void loginFinished(Outcome outcome);
    void categoriesFetched(Outcome outcome);
    // Rows count from 0 in the batch's order. Every row of a batch finishes,
    // also those never started (Outcome::Stopped, with the reason).
    void pictureStarted(int row);
    void pictureFinished(int row, Outcome outcome);
    // The whole batch: the picture being sent (from 1) of all, the bytes of
    // pictures sent so far, and those plus the rest (estimated for the
    // pictures not yet prepared). Like updateProgress, at most about ten times
    // a second.
    void updateBatch(int picture, int pictures, qint64 done, qint64 total);
    // Run `run` is over and its thread has finished.
    void jobEnded(int run);

public slots:
    void cancel();
    void setLoginData(QString website, QString username, QString password);
    void setCategory(int category);
    void setResize(int resize);
    void setResizeData(int maxwidth, int maxheight);
    // The picture list; its rows are copied when the batch starts.
    void setFilelistData(QStandardItemModel& filelistmodel);
    void setJobOptions(JobOptions options);
    // Starts a batch of the inputs given so far, with the rows of the list as
    // they are now: startBatch() with them.
    void startUpload();
    // Every batch starts here, unless a job runs: the window's, the command
    // line's and a retry. Announces itself with uploadRequested().
    void startBatch(UploadJob batch);
    // Fetches the category page with the login and options given so far,
    // unless a job runs.
    void getCategories();
    void threadend();
    // The failure reported last has been seen; the job goes on.
    void acknowledge();

protected:
    void run() override;

private:
    // Starts `job` as the next run, unless a job runs.
    void startJob(const UploadJob& job, JobKind kind);
    // Each row's size, estimated from the file or its header until its
    // picture is ready, for the batch's progress.
    void planBatch();
    bool login(SiteSession& session);
    bool processFilelist(SiteSession& session, Lookahead& lookahead);
    bool emitContentAsBA(SiteSession& session);
    Outcome processRow(SiteSession& session, Lookahead& lookahead, int r);
    // `contentHash`, when given, receives the hash of a file sent as it is.
    Outcome uploadGallery(SiteSession& session, const picturelist::Row& row,
                          const QByteArray* bytes, QByteArray* contentHash = nullptr);
    // A picture the site accepted goes into the job's journal, if it has one.
    void record(const picturelist::Row& row, const Outcome& outcome, QByteArray hash);

    // Waits, when asked to, until a failure that needs a message has been
    // acknowledged (or the worker is being destroyed).
    void informUser(const Outcome& outcome);
    void finishRow(int row, const Outcome& outcome);
    // Reports every row not finished yet as not sent, for `why`.
    void finishRemaining(results::Stop why);
    void reportBatch(qint64 currentDone);
    static qint64 now();
    bool isCancelled();

    void reportProgress(int ultotal, int ulnow) override;
    bool abortTransfer() const override;

    QMutex mutex; // guards everything up to `job`
    bool cancelled = false;
    UploadJob next; // the inputs of the next job
    QStandardItemModel* filelistmodel = nullptr;
    int jobMode = UploadBatch;
    bool waitForAcknowledgement = false;
    UploadJob job; // the running job's own copy (worker thread)

    // The batch under way (worker thread).
    QList<qint64> sizes;  // each row's body, estimated until it is known
    QList<bool> finished; // each row's outcome has been reported
    int current = -1;     // the row being sent
    qint64 lastReport = 0;

    int lastRun = 0;
    QList<int> startedRuns; // runs whose end is still to be reported, oldest first
    QSemaphore acknowledged;
    std::atomic<bool> stopping{false};  // the worker is being destroyed
    std::atomic<qint64> cancelledAt{0}; // now() of the first Cancel of the job, or 0
};
