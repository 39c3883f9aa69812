#pragma once

#include "core/outcome.h"

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
    // What a result cell holds in Qt::UserRole.
    enum State { Waiting = 100, Sending = 101 }; // besides results::Result

    BatchResults(QStandardItemModel* model, uploadThread* runner, QObject* parent = nullptr);

    // The rows of the batch about to be asked for, in its order.
    void expect(const QList<QPersistentModelIndex>& rows);
    // The rows still to be sent (failed, skipped, not sent), in list order.
    QList<QPersistentModelIndex> unsent() const;
    // True when the list has rows and every one of them was sent.
    bool allSent() const;
    // Marks a row whose file is not there, before any batch.
    void markMissing(const QPersistentModelIndex& row);

signals:
    // "18 sent, 1 failed, 1 skipped" over the rows of the list that have a
    // result, and how many of them are still to be sent.
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
