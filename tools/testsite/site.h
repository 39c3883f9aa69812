#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace httplib {
class Server;
struct Request;
struct Response;
class ContentReader;
} // namespace httplib

namespace testsite {

// One gallery category; `name` is raw HTML.
struct Category
{
    int depth = 0;
    int id = 0;
    QString name;
};

// The site's built-in category tree.
QList<Category> defaultCategories();

// Reads a tree from UTF-8 lines "depth<TAB>id<TAB>name"; blank lines and lines
// starting with "#" are skipped.
bool loadCategories(const QString& path, QList<Category>* out, QString* error);

// A misbehaviour switched on for matching requests.
struct Fault
{
    QString target; // login, gallery, upload, any
    QString kind;   // refuse, stall, close, status500, redirect, zero-before, endless, trickle, ...
    int nth = 0;    // 0: every matching request; N: only the N-th one
    int seconds = 0;
    int seen = 0; // matching requests since the fault was added
};

// Parses "target:kind[:nth[:seconds]]".
bool parseFaultSpec(const QString& spec, Fault* out, QString* error);
// Checks target and kind names and the numbers.
bool validateFault(const Fault& fault, QString* error);

// A picture that the gallery holds.
struct Picture
{
    QString fileName; // inside the category's directory
    QString comment;
};

// The state and the pages of the gallery site; its handlers run on the HTTP
// server's worker threads.
class Site
{
public:
    struct Config
    {
        QByteArray user;     // Latin-1
        QByteArray password; // Latin-1
        QString logPath;     // empty: no log
        QString storeDir;
        QList<Category> categories;
        double uploadMbits = 0; // request bodies read at most this fast, all together; 0: at once
    };

    explicit Site(Config config);
    ~Site();
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;

    // Opens the log and reads the pictures already in the store.
    bool open(QString* error);
    void install(httplib::Server& server);

    bool addFault(const Fault& fault, QString* error);
    void clearFaults();

    // Wakes stalled requests and lets no new one stall.
    void shutdown();

private:
    struct Exchange;

    void handleGet(const httplib::Request& req, httplib::Response& res);
    void handlePost(const httplib::Request& req, httplib::Response& res,
                    const httplib::ContentReader& reader);
    void handleOther(const httplib::Request& req, httplib::Response& res);
    void handleControl(const httplib::Request& req, httplib::Response& res);

    void begin(Exchange& ex, const httplib::Request& req);
    void answerLogin(Exchange& ex, const QByteArray& body);
    void answerAdmin(Exchange& ex);
    void answerGallery(Exchange& ex);
    void answerCategoryAdmin(Exchange& ex, int id);
    void answerUpload(Exchange& ex, const QString& idText, const httplib::Request& req,
                      const httplib::ContentReader& reader);
    void answerPublic(Exchange& ex);
    void answerPicture(Exchange& ex, const QString& path);
    void finish(Exchange& ex, const httplib::Request& req, httplib::Response& res);

    bool hasSession(const QString& cookieHeader) const;
    QString newSession();
    const Category* category(int id) const;
    QString storePicture(int id, const QByteArray& fileName, const QByteArray& bytes,
                         const QString& comment);
    void writeLog(QJsonObject line);
    void stall(int seconds);
    bool stopping();
    // Holds a reader back so that request bodies arrive no faster than the set rate.
    void throttle(size_t bytes);

    Config config_;

    mutable std::mutex mutex_; // everything below
    QSet<QString> sessions_;
    QList<Fault> faults_;
    QMap<int, QList<Picture>> pictures_;
    int nextPictureSeq_ = 1;
    int nextLogSeq_ = 1;
    QFile log_;
    QFile comments_;

    std::mutex stallMutex_;
    std::condition_variable stallWake_;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point uplinkFree_; // when the throttled uplink is idle again
};

} // namespace testsite
