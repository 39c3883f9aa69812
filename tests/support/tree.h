#pragma once

#include <QAbstractItemModel>
#include <QStringList>

// A tree model as text: "name:id(child,child),next" from columns 0 and 1.
inline QString renderTree(const QAbstractItemModel* model, const QModelIndex& parent = {})
{
    QStringList rows;
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex name = model->index(r, 0, parent);
        QString row = name.data().toString() + ":" + model->index(r, 1, parent).data().toString();
        if (model->rowCount(name) > 0)
            row += "(" + renderTree(model, name) + ")";
        rows << row;
    }
    return rows.join(",");
}
