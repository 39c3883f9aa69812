#pragma once

#include "core/outcome.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QString>

class QStandardItemModel;
class uploadThread;

// What became of each picture of the list: a result cell per row ("waiting",
// "sending", then the result's label from core/batch/results.h) with an icon
// and, as tool tip, the reason. Results stay with their rows when the list is
// edited, and go when a row's file or name changes. Once a batch has ended, a
// summary of the list as it is, kept up to date as rows go or change.
class BatchResults : public QObject
{
    Q_OBJECT

public:
    // What a result cell holds in Qt::UserRole, besides results::Result.
    enum State {
        Waiting = 100,
        Sending = 101,
        SentBefore = 102, // the same content went to the same site and category before
        Missing = 103,    // the picture's file does not exist (any more)
    };

    BatchResults(QStandardItemModel* model, uploadThread* runner, QObject* parent = nullptr);

    // The rows of the batch about to be asked for, in its order.
    void expect(const QList<QPersistentModelIndex>& rows);
    // The rows still to be sent (failed, skipped, not sent), in list order.
    QList<QPersistentModelIndex> unsent() const;
    // The rows whose picture is in the gallery: sent, or sent before.
    QList<QPersistentModelIndex> sent() const;
    // True when the list has rows and every one of them was sent.
    bool allSent() const;
    // Shows that `row`'s picture was sent at `when` before.
    void markSentBefore(const QPersistentModelIndex& row, const QDateTime& when);
    // Marks a row whose file is not there, before any batch: as failed, but
    // not kept between runs (the file may be back).
    void markMissing(const QPersistentModelIndex& row);

    // A row's result as kept between runs: its word ("sent", "failed",
    // "skipped", "not sent", "sent before"), text and reason; empty for none
    // or one that does not outlive the run.
    QStringList saved(int row) const;
    void restore(const QPersistentModelIndex& row, const QStringList& result);

signals:
    // "18 sent, 1 failed, 1 skipped, 2 sent before" over the rows of the list
    // that have a result, and how many of them are still to be sent.
    void summaryChanged(const QString& summary, int unsent);

private:
    struct Batch
    {
        int run;
        QList<QPersistentModelIndex> rows;
    };

    void mark(const QPersistentModelIndex& row, int state, const QString& text,
              const QString& reason = QString());
    void requested(int run, bool started);
    void started(int row);
    void finished(int row, const Outcome& outcome);
    void ended(int run);
    void forgetChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight);
    int state(int row) const; // -1 for a row without a result
    void summarize();

    QStandardItemModel* model;
    QList<QPersistentModelIndex> expected;
    QList<Batch> batches; // under way, oldest first: reports belong to the first
    bool marking = false;
    bool summarized = false; // a batch has ended: the summary is shown
};
