#include "core/history/sentjournal.h"

#include "core/history/contenthash.h"
#include "core/history/setaside.h"
#include "core/pictures/picturelist.h"
#include "core/site/address.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QUrl>
#include <QtConcurrent/QtConcurrentMap>

namespace history {

const QString SentJournal::FileName = QStringLiteral("vemo-sent.jsonl");

namespace {

const QLatin1String Marker("sent pictures");
constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString sentKey(const QString& site, int category, const QByteArray& hash)
{
    return site + QLatin1Char('\n') + QString::number(category) + QLatin1Char('\n') +
           QString::fromLatin1(hash);
}

QString sizeKey(const QString& site, int category, qint64 bytes)
{
    return site + QLatin1Char('\n') + QString::number(category) + QLatin1Char('\n') +
           QString::number(bytes);
}

QByteArray headerLine()
{
    return QJsonDocument(QJsonObject{{"vemo", Marker}, {"version", 1}})
               .toJson(QJsonDocument::Compact) +
           '\n';
}

bool isHash(const QString& text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        if (!(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

} // namespace

SentJournal::SentJournal(const QString& path) : path_(path) {}

QString SentJournal::siteKey(const QString& website)
{
    // The address as the session uses it: "/admin.php" pasted from the
    // browser names the same site.
    const QUrl url(siteaddress::clean(website));
    return url
        .adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment | QUrl::StripTrailingSlash |
                  QUrl::NormalizePathSegments)
        .toString();
}

QString SentJournal::describe(const QDateTime& time)
{
    return time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

void SentJournal::index(const Entry& entry)
{
    const QString site = siteKey(entry.website);
    QDateTime& latest = sent[sentKey(site, entry.category, entry.hash)];
    if (!latest.isValid() || latest < entry.time)
        latest = entry.time;
    sizes.insert(sizeKey(site, entry.category, entry.bytes));
}

QString SentJournal::load()
{
    QMutexLocker lock(&mutex);
    const QFileInfo info(path_);
    if (!info.exists()) {
        sent.clear();
        sizes.clear();
        knownSize = 0;
        unusable = false;
        return QString();
    }
    if (info.size() == knownSize && info.lastModified() == knownTime)
        return QString();
    return readFile();
}

QString SentJournal::readFile()
{
    sent.clear();
    sizes.clear();
    knownSize = 0;
    QFile file(path_);
    QString problem;
    QByteArray bytes;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
    } else {
        file.setPermissions(OwnerOnly);
        bytes = file.readAll();
        file.close();
    }
    // A crash while a line was written leaves it without its end: that
    // picture's line is lost, the rest is good.
    const qsizetype complete = bytes.lastIndexOf('\n') + 1;
    if (problem.isEmpty() && complete < bytes.size()) {
        qDebug() << "sent journal: dropped an incomplete last line of" << path_;
        bytes.truncate(complete);
        if (!QFile::resize(path_, complete))
            problem = QCoreApplication::translate("history", "its last line is incomplete");
    }
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype n = 0; problem.isEmpty() && n < lines.size() - 1; ++n) {
        const QJsonObject o = QJsonDocument::fromJson(lines.at(n)).object();
        if (n == 0) {
            if (o.value(QLatin1String("vemo")).toString() != Marker)
                problem = QCoreApplication::translate("history", "not a record of this program");
            continue;
        }
        Entry entry;
        entry.time = QDateTime::fromString(o.value(QLatin1String("time")).toString(), Qt::ISODate);
        entry.website = o.value(QLatin1String("site")).toString();
        entry.category = o.value(QLatin1String("category")).toInt(-1);
        entry.hash = o.value(QLatin1String("sha256")).toString().toLatin1();
        entry.bytes = qint64(o.value(QLatin1String("bytes")).toDouble(-1));
        entry.name = o.value(QLatin1String("name")).toString();
        if (!entry.time.isValid() || entry.website.isEmpty() || entry.category < 0 ||
            entry.bytes < 0 || !isHash(QString::fromLatin1(entry.hash)))
            problem = QCoreApplication::translate("history", "damaged at line %1").arg(n + 1);
        else
            index(entry);
    }
    if (problem.isEmpty()) {
        knownSize = bytes.size();
        knownTime = QFileInfo(path_).lastModified();
        unusable = false;
        return QString();
    }
    sent.clear();
    sizes.clear();
    const QString aside = setAside(path_);
    unusable = aside.isEmpty();
    return setAsideMessage(QCoreApplication::translate("history", "The record of pictures sent"),
                           path_, problem, aside);
}

bool SentJournal::mayHaveSent(const QString& website, int category, qint64 bytes) const
{
    QMutexLocker lock(&mutex);
    return sizes.contains(sizeKey(siteKey(website), category, bytes));
}

QDateTime SentJournal::sentBefore(const QString& website, int category,
                                  const QByteArray& hash) const
{
    QMutexLocker lock(&mutex);
    return sent.value(sentKey(siteKey(website), category, hash));
}

bool SentJournal::record(const Entry& entry)
{
    QMutexLocker lock(&mutex);
    if (unusable)
        return false;
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, OwnerOnly)) {
        qDebug() << "sent journal:" << path_ << file.errorString();
        return false;
    }
    const QJsonObject line{{"time", entry.time.toUTC().toString(Qt::ISODate)},
                           {"site", siteKey(entry.website)},
                           {"category", entry.category},
                           {"sha256", QString::fromLatin1(entry.hash)},
                           {"bytes", entry.bytes},
                           {"name", entry.name}};
    // One write: a line is either there whole or, after a crash, cut short at
    // its end, where the next load drops it.
    const QByteArray bytes = (file.size() == 0 ? headerLine() : QByteArray()) +
                             QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    const qint64 before = file.size();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    if (written)
        index(entry);
    // Lines another program added meanwhile are read at the next load.
    const bool onlyOurs = written && before == knownSize;
    knownSize = onlyOurs ? file.size() : -1;
    file.close();
    knownTime = QFileInfo(path_).lastModified();
    return written;
}

QList<QDateTime> sentBefore(const SentJournal& journal, const QString& website, int category,
                            const QList<picturelist::Row>& rows)
{
    return QtConcurrent::blockingMapped(rows, [&](const picturelist::Row& row) {
        QByteArray hash;
        if (row.fullPath.isEmpty())
            hash = hashOfImage(row.image);
        else if (journal.mayHaveSent(website, category, QFileInfo(row.fullPath).size()))
            hash = hashOfFile(row.fullPath);
        return hash.isEmpty() ? QDateTime() : journal.sentBefore(website, category, hash);
    });
}

} // namespace history
