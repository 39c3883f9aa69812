#include "core/history/listfile.h"

#include "core/history/contenthash.h"
#include "core/history/setaside.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

namespace history {

const QString ListFile::FileName = QStringLiteral("vemo-list.json");
const QString ListFile::PicturesDir = QStringLiteral("vemo-clipboard");

namespace {

const QLatin1String Marker("picture list");
constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

ListFile::ListFile(const QString& path)
    : path_(path), picturesDir_(QFileInfo(path).dir().filePath(PicturesDir))
{
}

ListFile::Loaded ListFile::load()
{
    Loaded loaded;
    QFile file(path_);
    if (!file.exists())
        return loaded;
    QString problem;
    QJsonObject top;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
    } else {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
        file.close();
        top = doc.object();
        if (error.error != QJsonParseError::NoError)
            problem = QCoreApplication::translate("history", "damaged: %1 at byte %2")
                          .arg(error.errorString())
                          .arg(error.offset);
        else if (top.value(QLatin1String("vemo")).toString() != Marker ||
                 !top.value(QLatin1String("rows")).isArray())
            problem = QCoreApplication::translate("history", "not a list of this program");
    }
    const QDir pictures(picturesDir_);
    for (const QJsonValue& value : top.value(QLatin1String("rows")).toArray()) {
        if (!problem.isEmpty())
            break;
        const QJsonObject o = value.toObject();
        ListRow row;
        row.name = o.value(QLatin1String("name")).toString();
        row.comment = o.value(QLatin1String("comment")).toString();
        row.path = o.value(QLatin1String("path")).toString();
        row.result = o.value(QLatin1String("result")).toString();
        row.text = o.value(QLatin1String("text")).toString();
        row.reason = o.value(QLatin1String("reason")).toString();
        const QString picture = o.value(QLatin1String("picture")).toString();
        if (!value.isObject() || row.name.isEmpty() || row.path.isEmpty() == picture.isEmpty()) {
            problem = QCoreApplication::translate("history", "damaged: row %1")
                          .arg(loaded.rows.size() + 1);
            break;
        }
        if (!picture.isEmpty()) {
            // Only a bare name in the pictures folder.
            const QString name = QFileInfo(picture).fileName();
            row.image = QImage(pictures.filePath(name));
            row.missing = row.image.isNull();
            if (!row.missing)
                savedPictures.insert(row.image.cacheKey(), name);
        } else {
            row.missing = !QFileInfo::exists(row.path);
        }
        loaded.rows.append(row);
    }
    if (!problem.isEmpty()) {
        loaded.rows.clear();
        const QString aside = setAside(path_);
        keepAway = aside.isEmpty();
        loaded.problem =
            setAsideMessage(QCoreApplication::translate("history", "The saved picture list"), path_,
                            problem, aside);
    }
    return loaded;
}

QString ListFile::pictureFile(const QImage& image)
{
    QString name = savedPictures.value(image.cacheKey());
    if (!name.isEmpty() && QFile::exists(QDir(picturesDir_).filePath(name)))
        return name;
    name = QString::fromLatin1(hashOfImage(image).left(32)) + QLatin1String(".png");
    const QString file = QDir(picturesDir_).filePath(name);
    if (!QFile::exists(file)) {
        QDir().mkpath(picturesDir_);
        QFile::setPermissions(picturesDir_, OwnerOnly | QFileDevice::ExeOwner);
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly) || !out.setPermissions(OwnerOnly) ||
            !image.save(&out, "PNG") || !out.commit())
            return QString();
    }
    savedPictures.insert(image.cacheKey(), name);
    return name;
}

bool ListFile::save(const QList<ListRow>& rows, QString* error)
{
    if (keepAway) {
        if (error)
            *error = QCoreApplication::translate("history", "the damaged list is in the way");
        return false;
    }
    // One row a line, so that the file reads well and compares well.
    QByteArray bytes =
        QJsonDocument(QJsonObject{{"vemo", Marker}, {"version", 1}}).toJson(QJsonDocument::Compact);
    bytes.chop(1); // the closing brace: the rows go before it
    bytes += ",\"rows\":[";
    QSet<QString> pictures;
    for (const ListRow& row : rows) {
        QJsonObject o{{"name", row.name}, {"comment", row.comment}};
        if (!row.path.isEmpty()) {
            o.insert(QLatin1String("path"), row.path);
        } else {
            const QString picture = pictureFile(row.image);
            if (picture.isEmpty())
                continue; // cannot be kept; the list itself still is
            o.insert(QLatin1String("picture"), picture);
            pictures.insert(picture);
        }
        if (!row.result.isEmpty()) {
            o.insert(QLatin1String("result"), row.result);
            o.insert(QLatin1String("text"), row.text);
            o.insert(QLatin1String("reason"), row.reason);
        }
        bytes += bytes.endsWith('[') ? "\n" : ",\n";
        bytes += QJsonDocument(o).toJson(QJsonDocument::Compact);
    }
    bytes += "\n]}\n";
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(OwnerOnly) ||
        file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // Clipboard pictures no row holds any more go.
    const QDir dir(picturesDir_);
    for (const QString& name : dir.entryList({QStringLiteral("*.png")}, QDir::Files)) {
        if (!pictures.contains(name) && name.size() == 36)
            QFile::remove(dir.filePath(name));
    }
    return true;
}

} // namespace history
