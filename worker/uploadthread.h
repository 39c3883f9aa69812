#pragma once

#include "worker/picturelist.h"
#include "worker/transfer.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>

class QStandardItemModel;
class Upload;

// The program's one transfer worker. It holds the inputs of a job, runs one job
// at a time on its own thread (an upload batch, or a category fetch), talks to
// the site through libcurl and reports back by signals. For a batch it shows a
// progress window and disposes of it when the thread has finished.
class uploadThread : public QThread, private transfer::ProgressReceiver
{
    Q_OBJECT

public:
    // What became of one picture of a batch.
    enum PictureResult { Sent = 0, Failed = 1, Skipped = 2 };
    Q_ENUM(PictureResult)

    explicit uploadThread(QObject* parent = nullptr);
    ~uploadThread() override;

    // Time-outs of later runs (connection, and no byte moving).
    void setTimeouts(const transfer::Timeouts& timeouts);
    // Without a progress window (the command-line mode): a batch reports only
    // through the signals, and announces its pictures without thumbnails.
    void setProgressWindowEnabled(bool enabled);
    // The progress window of the batch under way, if any.
    Upload* progressWindow() const;

signals:
    void updateFilename(QString nicename, QImage thumbnail);
    void updateProgress(int ultotal, int ulnow);
    void updateCategories(QByteArray ba);
    // The login of a run has been answered: accepted or not.
    void loginFinished(bool accepted);
    // One row of a batch is done; `row` counts from 0 in the list's order.
    void pictureFinished(int row, QString name, uploadThread::PictureResult result);

public slots:
    void cancel();
    void setLoginData(QString website, QString username, QString password);
    void setCategory(int category);
    void setResize(int resize);
    void setResizeData(int maxwidth, int maxheight);
    void setFilelistData(QStandardItemModel& filelistmodel);
    void startUpload();
    void getCategories();
    void threadend();

protected:
    void run() override;

private:
    enum JobMode { UploadBatch = 0, CategoryFetch = 1 };

    // The inputs of one run, copied under the lock when the run starts.
    struct Job
    {
        QString website;
        QString username;
        QString password;
        int category = 0;
        int resize = 0;
        int maxwidth = 0;
        int maxheight = 0;
        int jobMode = UploadBatch;
        QList<picturelist::Row> rows;
        transfer::Timeouts timeouts;
        bool thumbnails = true; // someone shows them
    };

    bool login(CURL* handle);
    bool processFilelist(CURL* handle);
    bool emitContentAsBA(CURL* handle);
    bool uploadGallery(CURL* handle, const QString& filename, const QString& fullPath,
                       const QString& comment, const QByteArray* bytes);
    bool resizeImage(const QString& path, QByteArray* bytes);
    bool resizeImageFromQImage(QImage* image, QByteArray* bytes);
    bool saveImage(QImage* image, QByteArray* bytes);
    PictureResult processRow(CURL* handle, const picturelist::Row& row);
    // Performs the request set up on `handle`. True when the answer holds
    // `marker` before any zero byte; otherwise tells the user: libcurl's own
    // description under "curl" when the transfer failed, else `title`, `text`.
    bool exchange(CURL* handle, QByteArray* answer, QLatin1StringView marker, const QString& title,
                  const QString& text);

    // Shows a message box on the GUI thread and waits until it is closed.
    void informUser(const QString& title, const QString& text);

    bool isCancelled();
    void start(JobMode mode, Upload* window);

    void reportProgress(int ultotal, int ulnow) override;
    bool abortTransfer() const override;

    QMutex mutex;
    bool cancelled = false;
    QPointer<Upload> uploadWindow;
    QString website;
    QString username;
    QString password;
    int category = 0;
    int resize = 0;
    int maxwidth = 0;
    int maxheight = 0;
    QStandardItemModel* filelistmodel = nullptr;
    int jobMode = UploadBatch;

    QList<picturelist::Row> batchRows; // taken from the list when a batch starts
    transfer::Timeouts timeouts;
    bool progressWindowEnabled = true;
    std::atomic<bool> stopping{false}; // the worker is being destroyed
    // The progress windows to dispose of when each started run has ended, in
    // the order the runs were started (a window shown while a job ran belongs
    // to that job).
    QList<QList<QPointer<Upload>>> runWindows;
    Job job; // the running job's own copy (worker thread)
};
