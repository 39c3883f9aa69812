#include "core/pictures/picturelist.h"

#include <QStandardItem>
#include <QStandardItemModel>
#include <QStringList>

#include <numeric>

namespace picturelist {

QString fileNameOf(const QString& path)
{
    QString name = path;
#ifdef Q_OS_WIN
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? name : name.mid(slash + 1);
}

bool hasImageExtension(const QString& path, const QList<QByteArray>& formats)
{
    QString ext = path.toLower();
    const qsizetype dot = ext.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        ext = ext.mid(dot + 1);
    return formats.contains(ext.toLatin1());
}

namespace {

void setReadOnly(QStandardItemModel& model, int row, int column)
{
    QStandardItem* item = model.item(row, column);
    if (!item) {
        item = new QStandardItem;
        model.setItem(row, column, item);
    }
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
}

} // namespace

void appendFileRow(QStandardItemModel& model, const QString& path)
{
    const int row = model.rowCount();
    model.insertRow(row);
    model.setData(model.index(row, File), fileNameOf(path), Qt::EditRole);
    model.setData(model.index(row, Comment), QString(), Qt::EditRole);
    model.setData(model.index(row, FullPath), path, Qt::EditRole);
    setReadOnly(model, row, File);
    setReadOnly(model, row, FullPath);
}

void appendClipboardRow(QStandardItemModel& model, const QImage& image)
{
    QStringList names;
    for (int r = 0; r < model.rowCount(); ++r)
        names << model.index(r, File).data().toString();
    QString name = QStringLiteral("clipboard.jpg");
    for (int n = 2; names.contains(name); ++n)
        name = QStringLiteral("clipboard-%1.jpg").arg(n);
    const int row = model.rowCount();
    model.insertRow(row);
    model.setData(model.index(row, File), name, Qt::EditRole);
    model.setData(model.index(row, Comment), QString(), Qt::EditRole);
    model.setData(model.index(row, Image), image, Qt::EditRole);
    setReadOnly(model, row, FullPath);
    setReadOnly(model, row, Image);
}

QList<Row> snapshot(const QStandardItemModel& model, const QList<int>& rows)
{
    QList<Row> copied;
    copied.reserve(rows.size());
    for (const int r : rows) {
        Row row;
        row.name = model.index(r, File).data(Qt::DisplayRole).toString();
        row.comment = model.index(r, Comment).data(Qt::DisplayRole).toString();
        row.fullPath = model.index(r, FullPath).data(Qt::DisplayRole).toString();
        if (row.fullPath.isEmpty())
            row.image = model.index(r, Image).data(Qt::DisplayRole).value<QImage>();
        copied.append(row);
    }
    return copied;
}

QList<Row> snapshot(const QStandardItemModel& model)
{
    QList<int> rows(model.rowCount());
    std::iota(rows.begin(), rows.end(), 0);
    return snapshot(model, rows);
}

} // namespace picturelist
