#include "forms/filelist.h"

#include "core/pictures/picturelist.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QMimeData>
#include <QStandardItemModel>
#include <QUrl>

FileList::FileList(QWidget* parent) : QTreeView(parent)
{
    setAcceptDrops(true);
    setTabKeyNavigation(true);
}

FileList::~FileList() = default;

void FileList::commitEditor()
{
    if (!isEditing())
        return;
    // The editor is the focus widget or holds it.
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (w->parentWidget() == viewport()) {
            commitData(w);
            closeEditor(w, QAbstractItemDelegate::NoHint);
            return;
        }
    }
}

bool FileList::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Keys edit the comment, unless they are on another cell that can be
    // edited (the name of a clipboard picture) and are not a typed character.
    const bool byKey = trigger == EditKeyPressed || trigger == AnyKeyPressed;
    if (byKey && index.isValid() && index.column() != picturelist::Comment &&
        (trigger == AnyKeyPressed || !(index.flags() & Qt::ItemIsEditable))) {
        const QModelIndex comment = index.siblingAtColumn(picturelist::Comment);
        if (!(comment.flags() & Qt::ItemIsEditable))
            return false;
        selectionModel()->setCurrentIndex(comment, QItemSelectionModel::NoUpdate);
        return QTreeView::edit(comment, trigger, event);
    }
    return QTreeView::edit(index, trigger, event);
}

void FileList::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier && !isEditing() && currentIndex().isValid()) {
        if (edit(currentIndex(), EditKeyPressed, event))
            return;
    }
    QTreeView::keyPressEvent(event);
}

QModelIndex FileList::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    if (cursorAction != MoveNext && cursorAction != MovePrevious)
        return QTreeView::moveCursor(cursorAction, modifiers);
    // Name, comment, next row's name...; nothing before the first cell and
    // after the last, so that Tab leaves the list there.
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return model() && model()->rowCount() > 0 ? model()->index(0, picturelist::File)
                                                  : QModelIndex();
    const int row = current.row();
    const bool onName = current.column() != picturelist::Comment;
    if (cursorAction == MoveNext)
        return onName ? current.siblingAtColumn(picturelist::Comment)
                      : model()->index(row + 1, picturelist::File);
    return onName ? model()->index(row - 1, picturelist::Comment)
                  : current.siblingAtColumn(picturelist::File);
}

// Any drag is welcome; what it carries is only looked at when it is dropped.
void FileList::dragEnterEvent(QDragEnterEvent* event)
{
    event->acceptProposedAction();
}

void FileList::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void FileList::dragLeaveEvent(QDragLeaveEvent* event)
{
    event->accept();
}

int FileList::addUrls(const QList<QUrl>& urls)
{
    auto* model = qobject_cast<QStandardItemModel*>(this->model());
    if (!model)
        return 0;
    // Image plug-ins may come and go while the program runs: ask every time.
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    int added = 0;
    const qsizetype count = qMin<qsizetype>(urls.size(), MaxDroppedUrls);
    for (qsizetype i = 0; i < count; ++i) {
        // Empty for anything that is not a local file.
        const QString path = urls.at(i).toLocalFile();
        if (path.isEmpty() || !picturelist::hasImageExtension(path, formats))
            continue;
        picturelist::appendFileRow(*model, path);
        ++added;
    }
    return added;
}

void FileList::dropEvent(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (data && data->hasUrls())
        addUrls(data->urls());
    event->acceptProposedAction();
}
