#pragma once

#include "core/batch/uploadjob.h"

#include <QList>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <functional>

// The program's settings: "vemo.ini" in the working directory, INI format, no
// groups. This class alone knows its keys and their defaults. The file holds
// the password, so a writable store keeps it readable and writable by its
// owner only; a read-only store never changes the file.
class Settings
{
public:
    enum Key {
        Website,        // the site's base address, text
        Username,       // text
        Password,       // text, stored as typed
        Category,       // the gallery category's id
        Resize,         // the resize check box's state: 0 or 2
        MaxWidth,       // text of the width field ("1000" when missing)
        MaxHeight,      // text of the height field ("1000" when missing)
        Directory,      // where the file dialog last stood
        CaCertificates, // a PEM file of CA certificates to trust
        Quality,        // JPEG quality of prepared pictures, 0..100; -1: the toolkit's
        Metadata,       // 2: prepared pictures keep their location (GPS); 0: not
        Geometry,       // the main window's size and place (QWidget::saveGeometry)
        Columns,        // the picture list's columns (QHeaderView::saveState)
    };
    enum Access { ReadWrite, ReadOnly };

    static const QString FileName; // "vemo.ini"

    explicit Settings(Access access = ReadWrite, const QString& fileName = FileName);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    static QString keyName(Key key);

    // The stored value, or the key's default when it is missing.
    QVariant value(Key key) const;
    // As text, and as a number through the toolkit's conversion (empty or not
    // a number: 0).
    QString text(Key key) const { return value(key).toString(); }
    int number(Key key) const { return text(key).toInt(); }
    bool contains(Key key) const;

    // Stores the value and writes it to the file at once (ignored by a
    // read-only store).
    void setValue(Key key, const QVariant& value);
    // Called once, the first time a change cannot be written to the file
    // (a read-only file or folder, a full disk).
    void setWriteFailedHandler(std::function<void()> handler) { writeFailed_ = std::move(handler); }
    // Writes pending changes to the file now.
    void sync();

    // The job the settings describe: login, category, resizing, limits,
    // quality and metadata, trusted certificates. It has no pictures yet. A
    // limit of 0 or less, or not a number, counts as the default, with a
    // note on standard error (once).
    UploadJob job() const;

private:
    int size(Key key) const;

    QString path_;
    Access access_;
    QSettings store_;
    std::function<void()> writeFailed_;
    bool writeFailedTold_ = false;
    mutable QList<Key> noted_; // limits told about
};
