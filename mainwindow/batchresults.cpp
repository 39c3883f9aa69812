#include "mainwindow/batchresults.h"

#include "core/batch/results.h"
#include "core/batch/uploadthread.h"
#include "core/pictures/picturelist.h"

#include <QApplication>
#include <QHash>
#include <QStandardItemModel>
#include <QStyle>

#include <iterator>

namespace {

// The words a result is kept under between runs, by state.
const QHash<int, QString> keptWords{{results::Sent, QStringLiteral("sent")},
                                    {results::Failed, QStringLiteral("failed")},
                                    {results::Skipped, QStringLiteral("skipped")},
                                    {results::NotSent, QStringLiteral("not sent")},
                                    {BatchResults::SentBefore, QStringLiteral("sent before")}};

} // namespace

BatchResults::BatchResults(QStandardItemModel* model, uploadThread* runner, QObject* parent)
    : QObject(parent), model(model)
{
    connect(runner, &uploadThread::uploadRequested, this, &BatchResults::requested);
    connect(runner, &uploadThread::pictureStarted, this, &BatchResults::started);
    connect(runner, &uploadThread::pictureFinished, this, &BatchResults::finished);
    connect(runner, &uploadThread::jobEnded, this, &BatchResults::ended);
    connect(model, &QAbstractItemModel::dataChanged, this, &BatchResults::forgetChanged);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &BatchResults::summarize);
}

void BatchResults::expect(const QList<QPersistentModelIndex>& rows)
{
    expected = rows;
}

int BatchResults::state(int row) const
{
    const QVariant value = model->index(row, picturelist::Result).data(Qt::UserRole);
    return value.isValid() ? value.toInt() : -1;
}

QList<QPersistentModelIndex> BatchResults::unsent() const
{
    QList<QPersistentModelIndex> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        const int s = state(r);
        if ((s > results::Sent && s < results::Count) || s == Missing)
            rows.append(model->index(r, 0));
    }
    return rows;
}

QList<QPersistentModelIndex> BatchResults::sent() const
{
    QList<QPersistentModelIndex> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        const int s = state(r);
        if (s == results::Sent || s == SentBefore)
            rows.append(model->index(r, 0));
    }
    return rows;
}

bool BatchResults::allSent() const
{
    for (int r = 0; r < model->rowCount(); ++r) {
        if (state(r) != results::Sent)
            return false;
    }
    return model->rowCount() > 0;
}

void BatchResults::markSentBefore(const QPersistentModelIndex& row, const QDateTime& when)
{
    mark(row, SentBefore, tr("sent before"), results::alreadySent(when, QString()).text);
}

void BatchResults::markMissing(const QPersistentModelIndex& row)
{
    const QString text = tr("does not exist");
    mark(row, Missing, text, text);
}

QStringList BatchResults::saved(int row) const
{
    const QModelIndex cell = model->index(row, picturelist::Result);
    const int s = state(row);
    if (!keptWords.contains(s))
        return {};
    return {keptWords.value(s), cell.data().toString(), cell.data(Qt::ToolTipRole).toString()};
}

void BatchResults::restore(const QPersistentModelIndex& row, const QStringList& result)
{
    const int state = keptWords.key(result.value(0), -1);
    if (state >= 0)
        mark(row, state, result.value(1), result.value(2));
}

void BatchResults::mark(const QPersistentModelIndex& row, int state, const QString& text,
                        const QString& reason)
{
    if (!row.isValid())
        return; // the row was removed meanwhile
    // In the order of results::Result.
    static const QStyle::StandardPixmap icons[] = {
        QStyle::SP_DialogApplyButton, QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxWarning,
        QStyle::SP_BrowserStop};
    static_assert(std::size(icons) == results::Count);
    auto* item = new QStandardItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setData(state, Qt::UserRole);
    // Sent before: in the gallery, as sent; missing: as failed.
    const int look = state == SentBefore ? results::Sent
                     : state == Missing  ? results::Failed
                                         : state;
    if (look < results::Count)
        item->setIcon(QApplication::style()->standardIcon(icons[look]));
    item->setToolTip(reason);
    item->setData(reason.isEmpty() ? text : text + QLatin1String(": ") + reason,
                  Qt::AccessibleTextRole);
    marking = true;
    model->setItem(row.row(), picturelist::Result, item);
    marking = false;
}

void BatchResults::requested(int run, bool started)
{
    const QList<QPersistentModelIndex> rows = std::exchange(expected, {});
    if (!started)
        return;
    batches.append({run, rows});
    for (const QPersistentModelIndex& row : rows)
        mark(row, Waiting, tr("waiting"));
}

void BatchResults::started(int row)
{
    if (!batches.isEmpty())
        mark(batches.first().rows.value(row), Sending, tr("sending"));
}

void BatchResults::finished(int row, const Outcome& outcome)
{
    if (batches.isEmpty())
        return;
    if (outcome.kind == Outcome::AlreadySent)
        mark(batches.first().rows.value(row), SentBefore, tr("sent before"),
             results::reason(outcome));
    else
        mark(batches.first().rows.value(row), results::of(outcome), results::label(outcome),
             results::reason(outcome));
}

void BatchResults::ended(int run)
{
    if (batches.isEmpty() || batches.first().run != run)
        return; // a category fetch
    batches.removeFirst();
    summarized = true;
    summarize();
}

void BatchResults::summarize()
{
    if (!summarized || !batches.isEmpty())
        return;
    results::Tally tally;
    int sentBefore = 0;
    for (int r = 0; r < model->rowCount(); ++r) {
        const int s = state(r);
        if (s >= results::Sent && s < results::Count)
            tally.add(results::Result(s));
        else if (s == Missing)
            tally.add(results::Failed);
        sentBefore += s == SentBefore;
    }
    const int unsent = tally.count(results::Failed) + tally.count(results::Skipped) +
                       tally.count(results::NotSent);
    // Nothing when no row has a result any more.
    QString summary;
    if (tally.count(results::Sent) + unsent + sentBefore > 0)
        summary = tally.summary(results::Translated);
    if (sentBefore > 0)
        summary += QLatin1String(", ") + tr("%1 sent before").arg(sentBefore);
    emit summaryChanged(summary, unsent);
}

void BatchResults::forgetChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    if (marking || topLeft.column() > picturelist::FullPath)
        return;
    const bool nameOrFile =
        topLeft.column() <= picturelist::File || bottomRight.column() >= picturelist::FullPath;
    if (!nameOrFile)
        return;
    for (int r = topLeft.row(); r <= bottomRight.row(); ++r) {
        if (model->item(r, picturelist::Result))
            model->setItem(r, picturelist::Result, nullptr);
    }
    summarize();
}
