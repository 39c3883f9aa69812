#include "forms/filelist.h"

#include "core/pictures/picturelist.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QImageReader>
#include <QMimeData>
#include <QStandardItemModel>
#include <QUrl>

FileList::FileList(QWidget* parent) : QTreeView(parent)
{
    setAcceptDrops(true);
}

FileList::~FileList() = default;

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

void FileList::dropEvent(QDropEvent* event)
{
    // Image plug-ins may come and go while the program runs: ask every time.
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    const QMimeData* data = event->mimeData();
    auto* model = qobject_cast<QStandardItemModel*>(this->model());

    if (model && data && data->hasUrls()) {
        const QList<QUrl> urls = data->urls();
        const qsizetype count = qMin<qsizetype>(urls.size(), MaxDroppedUrls);
        for (qsizetype i = 0; i < count; ++i) {
            // Empty for anything that is not a local file.
            const QString path = urls.at(i).toLocalFile();
            if (path.isEmpty() || !picturelist::hasImageExtension(path, formats))
                continue;
            picturelist::appendFileRow(*model, path);
        }
    }

    event->acceptProposedAction();
}
