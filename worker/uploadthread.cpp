#include "worker/uploadthread.h"

#include "forms/messages.h"
#include "forms/upload.h"
#include "worker/curl.h"
#include "worker/imageprep.h"
#include "worker/sitetext.h"

#include <QDebug>
#include <QFile>
#include <QMutexLocker>
#include <QSemaphore>
#include <QStandardItemModel>

#include <cstdio>
#include <memory>
#include <utility>

namespace {

size_t readFromFile(char* buffer, size_t size, size_t nitems, void* file)
{
    const qint64 n = static_cast<QFile*>(file)->read(buffer, qint64(size * nitems));
    return n < 0 ? CURL_READFUNC_ABORT : size_t(n);
}

int seekInFile(void* file, curl_off_t offset, int origin)
{
    if (origin != SEEK_SET)
        return CURL_SEEKFUNC_CANTSEEK;
    return static_cast<QFile*>(file)->seek(offset) ? CURL_SEEKFUNC_OK : CURL_SEEKFUNC_FAIL;
}

// Sets the request's address, as Latin-1 text, with its trace line. libcurl
// keeps its own copy.
void setAddress(CURL* handle, const QString& url)
{
    const QByteArray bytes = sitetext::latin1(url);
    qDebug() << "URL:" << bytes;
    curl_easy_setopt(handle, CURLOPT_URL, bytes.constData());
}

void addTextPart(curl_mime* form, const char* name, const QByteArray& value)
{
    curl_mimepart* part = curl_mime_addpart(form);
    curl_mime_name(part, name);
    curl_mime_data(part, value.constData(), size_t(value.size()));
}

} // namespace

uploadThread::uploadThread(QObject* parent) : QThread(parent)
{
    QMutexLocker lock(&mutex);
    cancelled = false;
    // Each run's end disposes of the windows of that run.
    connect(this, &QThread::finished, this, &uploadThread::threadend);
}

uploadThread::~uploadThread()
{
    stopping = true;
    {
        QMutexLocker lock(&mutex);
        cancelled = true;
    }
    wait();
    for (const auto& windows : runWindows) {
        for (const auto& window : windows)
            delete window.data();
    }
    delete uploadWindow.data();
}

void uploadThread::setTimeouts(const transfer::Timeouts& value)
{
    QMutexLocker lock(&mutex);
    timeouts = value;
}

Upload* uploadThread::progressWindow() const
{
    return uploadWindow.data();
}

void uploadThread::setProgressWindowEnabled(bool enabled)
{
    QMutexLocker lock(&mutex);
    progressWindowEnabled = enabled;
}

void uploadThread::cancel()
{
    QMutexLocker lock(&mutex);
    cancelled = true;
}

void uploadThread::setLoginData(QString website_, QString username_, QString password_)
{
    QMutexLocker lock(&mutex);
    website = website_;
    username = username_;
    password = password_;
}

void uploadThread::setCategory(int category_)
{
    QMutexLocker lock(&mutex);
    category = category_;
}

void uploadThread::setResize(int resize_)
{
    QMutexLocker lock(&mutex);
    resize = resize_;
}

void uploadThread::setResizeData(int maxwidth_, int maxheight_)
{
    QMutexLocker lock(&mutex);
    maxwidth = maxwidth_;
    maxheight = maxheight_;
}

void uploadThread::setFilelistData(QStandardItemModel& filelistmodel_)
{
    QMutexLocker lock(&mutex);
    filelistmodel = &filelistmodel_;
}

void uploadThread::startUpload()
{
    Upload* window = nullptr;
    if (progressWindowEnabled) {
        window = new Upload();
        connect(window, &Upload::sigcancel, this, &uploadThread::cancel);
        connect(this, &uploadThread::updateFilename, window, &Upload::updateFilename);
        connect(this, &uploadThread::updateProgress, window, &Upload::updateProgress);
        uploadWindow = window;
        window->show();
    }
    if (isRunning()) {
        // No second job: the window goes when the running one ends.
        if (window && !runWindows.isEmpty())
            runWindows.last().append(window);
        return;
    }
    {
        // The batch works on its own copy of the rows: the list may change
        // under the window once the user has closed it.
        QMutexLocker lock(&mutex);
        batchRows =
            filelistmodel ? picturelist::snapshot(*filelistmodel) : QList<picturelist::Row>();
    }
    start(UploadBatch, window);
}

void uploadThread::getCategories()
{
    if (isRunning())
        return;
    start(CategoryFetch, nullptr);
}

void uploadThread::start(JobMode mode, Upload* window)
{
    {
        QMutexLocker lock(&mutex);
        cancelled = false;
        jobMode = mode;
    }
    runWindows.append({QPointer<Upload>(window)});
    QThread::start(QThread::LowPriority);
}

void uploadThread::threadend()
{
    if (runWindows.isEmpty())
        return;
    for (const QPointer<Upload>& window : runWindows.takeFirst()) {
        if (!window)
            continue;
        if (uploadWindow == window)
            uploadWindow = nullptr;
        window->deleteLater();
    }
}

bool uploadThread::isCancelled()
{
    QMutexLocker lock(&mutex);
    return cancelled;
}

void uploadThread::run()
{
    {
        QMutexLocker lock(&mutex);
        job.website = website;
        job.username = username;
        job.password = password;
        job.category = category;
        job.resize = resize;
        job.maxwidth = maxwidth;
        job.maxheight = maxheight;
        job.jobMode = jobMode;
        // The run takes the snapshot over; nothing of it stays behind for later.
        job.rows = std::exchange(batchRows, {});
        if (jobMode != UploadBatch)
            job.rows.clear();
        job.timeouts = timeouts;
        job.thumbnails = progressWindowEnabled;
    }

    bool error = false;
    if (curl::Easy handle = curl::makeEasy()) {
        transfer::setUpHandle(handle.get(), this, job.timeouts);
        if (!isCancelled()) {
            error = !login(handle.get());
            emit loginFinished(!error);
        }
        if (job.jobMode == UploadBatch && !isCancelled() && !error)
            error = !processFilelist(handle.get());
        if (job.jobMode == CategoryFetch && !isCancelled() && !error)
            emitContentAsBA(handle.get());
    }
    job.rows.clear();
    qDebug(" thread end");
}

bool uploadThread::login(CURL* handle)
{
    qDebug("login");
    setAddress(handle, QStringLiteral("%1/admin.php").arg(job.website));

    // A form body: the values are percent-encoded, so "&", "=", "+" and "%"
    // in a password reach the site as typed.
    const QByteArray body = "name=" + sitetext::formEncoded(sitetext::latin1(job.username)) +
                            "&pass=" + sitetext::formEncoded(sitetext::latin1(job.password)) +
                            "&user_login_sub=Login";
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(handle, CURLOPT_COPYPOSTFIELDS, body.constData());

    QByteArray answer;
    return exchange(handle, &answer, sitetext::loginMarker, QStringLiteral("login error"),
                    tr("could not log in"));
}

bool uploadThread::emitContentAsBA(CURL* handle)
{
    qDebug("emitContentAsBA");
    setAddress(handle, QStringLiteral("%1/admin.php?gallery").arg(job.website));
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);

    QByteArray page;
    if (!exchange(handle, &page, sitetext::categoryMarker, QStringLiteral("error"),
                  tr("no Categories found")))
        return false;
    emit updateCategories(page);
    return true;
}

bool uploadThread::processFilelist(CURL* handle)
{
    qDebug("processFilelist");
    setAddress(handle, QStringLiteral("%1/admin.php?gallery-uploadImages-%2")
                           .arg(job.website, QString::number(job.category)));

    for (int r = 0; r < job.rows.size() && !isCancelled(); ++r) {
        const picturelist::Row& row = job.rows.at(r);
        const PictureResult result = processRow(handle, row);
        emit pictureFinished(r, row.name, result);
    }
    return true;
}

uploadThread::PictureResult uploadThread::processRow(CURL* handle, const picturelist::Row& row)
{
    qDebug() << row.fullPath;
    QByteArray bytes;
    if (!row.fullPath.isEmpty()) {
        emit updateFilename(row.name,
                            job.thumbnails ? imageprep::thumbnail(row.fullPath) : QImage());
        if (row.fullPath.endsWith(QLatin1String("svg")) || job.resize != 0) {
            if (!resizeImage(row.fullPath, &bytes))
                return Skipped;
            return uploadGallery(handle, row.name, row.fullPath, row.comment, &bytes) ? Sent
                                                                                      : Failed;
        }
        return uploadGallery(handle, row.name, row.fullPath, row.comment, nullptr) ? Sent : Failed;
    }

    qDebug("clipboard");
    QImage image = row.image;
    emit updateFilename(row.name, job.thumbnails ? imageprep::thumbnail(image) : QImage());
    const bool prepared =
        job.resize != 0 ? resizeImageFromQImage(&image, &bytes) : saveImage(&image, &bytes);
    if (!prepared)
        return Skipped;
    return uploadGallery(handle, row.name, QString(), row.comment, &bytes) ? Sent : Failed;
}

bool uploadThread::uploadGallery(CURL* handle, const QString& filename, const QString& fullPath,
                                 const QString& comment, const QByteArray* bytes)
{
    qDebug("uploadGallery");
    qDebug() << "uploadGallery:filename" << filename;

    // The picture travels under its bare name; the local folders stay private.
    const QByteArray partName = sitetext::latin1(filename);
    QFile file(fullPath);
    curl::Mime form(curl_mime_init(handle));
    curl_mimepart* picture = curl_mime_addpart(form.get());
    curl_mime_name(picture, "file[]");
    if (bytes) {
        curl_mime_data(picture, bytes->constData(), size_t(bytes->size()));
    } else {
        // Read through QFile, so any path the system can name opens.
        if (!file.open(QIODevice::ReadOnly)) {
            informUser(QStringLiteral("curl"), transfer::describe(CURLE_READ_ERROR));
            return false;
        }
        curl_mime_data_cb(picture, curl_off_t(file.size()), &readFromFile, &seekInFile, nullptr,
                          &file);
    }
    curl_mime_filename(picture, partName.constData());
    curl_mime_type(picture, transfer::contentTypeFor(filename));
    addTextPart(form.get(), "besch[]", sitetext::latin1WithCharRefs(comment));
    addTextPart(form.get(), "hochladen", "yes");
    addTextPart(form.get(), "submit", "Absenden");
    curl_easy_setopt(handle, CURLOPT_MIMEPOST, form.get());

    QByteArray answer;
    const bool arrived = exchange(handle, &answer, sitetext::uploadMarker,
                                  QStringLiteral("file upload error"), tr("could not upload file"));
    curl_easy_setopt(handle, CURLOPT_MIMEPOST, nullptr); // the form dies with this call
    return arrived;
}

bool uploadThread::exchange(CURL* handle, QByteArray* answer, QLatin1StringView marker,
                            const QString& title, const QString& text)
{
    const CURLcode result = transfer::perform(handle, answer);
    if (result != CURLE_OK) {
        informUser(QStringLiteral("curl"), transfer::describe(result));
        return false;
    }
    if (!sitetext::bodyContains(*answer, marker)) {
        informUser(title, text);
        return false;
    }
    return true;
}

bool uploadThread::resizeImage(const QString& path, QByteArray* bytes)
{
    return imageprep::resizeImage(path, bytes, job.maxwidth, job.maxheight);
}

bool uploadThread::resizeImageFromQImage(QImage* image, QByteArray* bytes)
{
    return imageprep::resizeImageFromQImage(image, bytes, job.maxwidth, job.maxheight);
}

bool uploadThread::saveImage(QImage* image, QByteArray* bytes)
{
    return imageprep::saveImage(image, bytes);
}

void uploadThread::informUser(const QString& title, const QString& text)
{
    if (QThread::currentThread() == thread()) {
        messages::information(title, text);
        return;
    }
    // The box is shown on the GUI thread; this thread waits until it is closed,
    // unless the worker is being destroyed meanwhile.
    auto closed = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(
        this,
        [title, text, closed] {
            messages::information(title, text);
            closed->release();
        },
        Qt::QueuedConnection);
    while (!closed->tryAcquire(1, 50)) {
        if (stopping)
            return;
    }
}

void uploadThread::reportProgress(int ultotal, int ulnow)
{
    emit updateProgress(ultotal, ulnow);
}

bool uploadThread::abortTransfer() const
{
    return stopping;
}
