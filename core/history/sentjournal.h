#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>

// The record of pictures the sites accepted: "vemo-sent.jsonl" in the working
// directory, one JSON object a line, only ever appended to. The first line
// names the file; each further line is one picture the site confirmed: when,
// the site's address (without any user name or password in it), the category,
// the SHA-256 of the content sent (of the picture file, also when a scaled copy
// was sent), the file's size and its name. Readable and writable by its owner
// only. Safe to share between threads.
namespace picturelist {
struct Row;
}

namespace history {

class SentJournal
{
public:
    static const QString FileName; // "vemo-sent.jsonl"

    struct Entry
    {
        QDateTime time;
        QString website; // as typed; stored as siteKey()
        int category = 0;
        QByteArray hash; // contenthash.h, hex
        qint64 bytes = 0;
        QString name;
    };

    explicit SentJournal(const QString& path = FileName);

    // Reads the file when it is there and changed since it was read. A file
    // that is not such a record, or is damaged, is set aside (setaside.h) and
    // the returned text tells the user so; otherwise it is empty. A last line
    // cut short by a crash while it was written is dropped from the file.
    QString load();

    // Whether a picture file of `bytes` may have been sent to `website` and
    // `category`: only such files need their content hashed before a batch.
    bool mayHaveSent(const QString& website, int category, qint64 bytes) const;
    // When the content `hash` was last sent to `website` and `category`;
    // invalid when never.
    QDateTime sentBefore(const QString& website, int category, const QByteArray& hash) const;
    // Appends `entry`; false when the file cannot be written.
    bool record(const Entry& entry);

    QString path() const { return path_; }

    // The site as recorded: the address cleaned as the session cleans it
    // (siteaddress::clean), with its user name and password left out.
    static QString siteKey(const QString& website);
    // A time as the user is told it: local, "2024-05-01 14:03".
    static QString describe(const QDateTime& time);

private:
    void index(const Entry& entry); // lock held
    QString readFile();             // lock held; the problem, if any

    const QString path_;
    mutable QMutex mutex;
    QHash<QString, QDateTime> sent; // site, category, hash
    QSet<QString> sizes;            // site, category, bytes
    qint64 knownSize = -1;          // of the file as read or written; -1: not read
    QDateTime knownTime;
    bool unusable = false; // a damaged file that could not be set aside
};

// For each of `rows`, when a picture with its content was last sent to
// `website` and `category`; invalid when never. Only clipboard pictures and the
// files of a size the journal knows are hashed, on every core.
QList<QDateTime> sentBefore(const SentJournal& journal, const QString& website, int category,
                            const QList<picturelist::Row>& rows);

} // namespace history
