#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QString>

// The working list as it is kept between runs: "vemo-list.json" in the working
// directory, each row's name, comment, file and last result; a picture taken
// from the clipboard is kept as a PNG file in "vemo-clipboard" beside it.
// Written whole to a new file that then takes the old one's place, so a crash
// leaves the old list or the new one, never a broken one; readable and
// writable by its owner only. Reading it opens no picture file.
namespace history {

struct ListRow
{
    QString name; // the name the picture travels under
    QString comment;
    QString path;   // the picture file; empty for a clipboard picture
    QImage image;   // a clipboard picture
    QString result; // the last result: "sent", "failed", ... (the window's words); empty: none
    QString text;   // the result as shown
    QString reason; // why, as shown in its tool tip
    bool missing = false; // load(): the picture's file (or kept clipboard picture) is gone
};

class ListFile
{
public:
    static const QString FileName;    // "vemo-list.json"
    static const QString PicturesDir; // "vemo-clipboard"

    explicit ListFile(const QString& path = FileName);

    struct Loaded
    {
        QList<ListRow> rows;
        // Set when the file was damaged or foreign: it was set aside
        // (setaside.h), and this tells the user.
        QString problem;
    };
    // The saved list; none when there is no file.
    Loaded load();
    // Replaces the saved list by `rows`; false (with the reason in *error)
    // when it could not be written, in which case the saved list is unchanged.
    bool save(const QList<ListRow>& rows, QString* error = nullptr);

private:
    QString pictureFile(const QImage& image); // saved once, by its content

    QString path_;
    QString picturesDir_;
    QHash<qint64, QString> savedPictures; // QImage::cacheKey() -> file name
    bool keepAway = false; // a damaged file that could not be set aside is not overwritten
};

} // namespace history
