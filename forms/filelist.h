#pragma once

#include <QTreeView>

class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QUrl;

// The picture list view. Besides being a plain tree view it takes files dropped
// from a file manager: every dropped local file whose extension names a readable
// image format is appended as a file row to the view's picture list model (a
// QStandardItemModel laid out as in core/pictures/picturelist.h).
//
// Comments are typed without the mouse: F2 or Enter opens the editor of the
// current cell, or of the row's comment when the cell cannot be edited; a
// character typed on a row starts its comment with that character. Tab and
// Shift+Tab go from cell to cell, name and comment, row after row, and leave
// the list after its last cell (before its first).
class FileList : public QTreeView
{
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);
    ~FileList() override;

    // Whether a cell editor is open.
    bool isEditing() const { return state() == EditingState; }
    // Stores what the open cell editor holds and closes it.
    void commitEditor();

    // Appends a file row for each local file among the first MaxDroppedUrls
    // of `urls` whose extension names a readable image format; returns how
    // many were added.
    int addUrls(const QList<QUrl>& urls);

    // At most this many URLs of one drop are looked at; the rest are ignored.
    static constexpr int MaxDroppedUrls = 32;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
