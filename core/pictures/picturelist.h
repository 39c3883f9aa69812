#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

class QStandardItemModel;

// The picture list: a flat item model with the columns "file", "Comment",
// "full path", "Image" (hidden) and the result of the row's last batch. A row
// whose "full path" is empty holds a picture taken from the clipboard, kept as
// a QImage in "Image".
namespace picturelist {

enum Column { File = 0, Comment = 1, FullPath = 2, Image = 3, Result = 4, ColumnCount = 5 };

// One row as the upload batch sees it, copied out of the model.
struct Row
{
    QString name;     // "file": the name the picture travels under
    QString comment;  // "Comment"
    QString fullPath; // "full path": empty for a clipboard picture
    QImage image;     // "Image": only for a clipboard picture
};

// The picture's bare name: everything up to and including the last "/" (on
// Windows also "\\", a separator there) removed. Elsewhere a backslash is
// part of the name.
QString fileNameOf(const QString& path);

// True when the lower-cased text after the last "." (the whole lower-cased text
// when there is none) is one of the readable image formats.
bool hasImageExtension(const QString& path, const QList<QByteArray>& formats);

// Appends a file row for `path` at the end: name, empty comment, the path as
// given. Name and path are selectable and enabled only (not editable).
void appendFileRow(QStandardItemModel& model, const QString& path);

// Appends a clipboard row holding `image`, named "clipboard.jpg", or, when a
// row has that name, "clipboard-2.jpg" and so on. Name and comment stay
// editable; path and image items are selectable and enabled only.
void appendClipboardRow(QStandardItemModel& model, const QImage& image);

// Copies every top-level row of the model, in order, through the display role.
QList<Row> snapshot(const QStandardItemModel& model);
// Copies the given rows, in the order given.
QList<Row> snapshot(const QStandardItemModel& model, const QList<int>& rows);

} // namespace picturelist
