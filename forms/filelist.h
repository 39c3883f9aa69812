#pragma once

#include <QTreeView>

class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;

// The picture list view. Besides being a plain tree view it takes files dropped
// from a file manager: every dropped local file whose extension names a readable
// image format is appended as a file row to the view's picture list model (a
// QStandardItemModel laid out as in core/pictures/picturelist.h).
class FileList : public QTreeView
{
    Q_OBJECT

public:
    explicit FileList(QWidget* parent = nullptr);
    ~FileList() override;

    // Whether a cell editor is open.
    bool isEditing() const { return state() == EditingState; }

    // At most this many URLs of one drop are looked at; the rest are ignored.
    static constexpr int MaxDroppedUrls = 32;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
