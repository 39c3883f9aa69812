#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>

struct Outcome;
class Upload;
class uploadThread;

// The window side of the transfer worker: an application-modal progress window
// for every upload asked for, gone when the run that answers it has ended, and
// an information box for every failure the worker reports, which the worker
// waits for before it goes on.
class RunnerView : public QObject
{
    Q_OBJECT

public:
    explicit RunnerView(uploadThread* runner, QObject* parent = nullptr);
    ~RunnerView() override;

    // The progress window shown last, while it is there.
    Upload* progressWindow() const;
    // The failures of the job about to start are not shown in boxes but
    // handed to failedQuietly().
    void quietNextJob() { quiet = true; }

signals:
    void failedQuietly(const Outcome& outcome);

private:
    void openWindow(int run);
    void closeWindows(int run);
    void tell(const Outcome& outcome);

    uploadThread* runner;
    QList<QPair<int, QPointer<Upload>>> windows; // with the run whose end closes each
    bool quiet = false;
};
