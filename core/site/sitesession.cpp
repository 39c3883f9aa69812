#include "core/site/sitesession.h"

#include "core/history/contenthash.h"
#include "core/site/address.h"
#include "core/site/curl.h"
#include "core/site/sitetext.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace {

const QString curlTitle = QStringLiteral("curl");

// A file sent as it is: read through QFile, so any path the system can name
// opens, and never more or less than the size announced in the request.
struct FileSource
{
    QFile file;
    qint64 size = 0;
    qint64 position = 0;
    bool changed = false; // it ended before its announced size
    // The bytes read so far, in order, when asked for; `hashed` goes false
    // when libcurl reads anything twice or skips anything.
    std::unique_ptr<history::ContentHash> hash;
    bool hashed = true;
};

size_t readFromFile(char* buffer, size_t size, size_t nitems, void* user)
{
    auto* source = static_cast<FileSource*>(user);
    const qint64 wanted = qMin(qint64(size * nitems), source->size - source->position);
    if (wanted <= 0)
        return 0;
    const qint64 n = source->file.read(buffer, wanted);
    if (n <= 0) {
        source->changed = true;
        return CURL_READFUNC_ABORT;
    }
    source->position += n;
    if (source->hash)
        source->hash->add(QByteArrayView(buffer, n));
    return size_t(n);
}

int seekInFile(void* user, curl_off_t offset, int origin)
{
    auto* source = static_cast<FileSource*>(user);
    if (origin != SEEK_SET)
        return CURL_SEEKFUNC_CANTSEEK;
    if (!source->file.seek(offset))
        return CURL_SEEKFUNC_FAIL;
    source->position = offset;
    if (source->hash) {
        source->hash->reset();
        source->hashed = offset == 0;
    }
    return CURL_SEEKFUNC_OK;
}

Outcome readFailure(const QString& path, const QString& why)
{
    Outcome o = Outcome::failure(Outcome::Unreadable, curlTitle, curl::describe(CURLE_READ_ERROR),
                                 QStringLiteral("%1: %2").arg(path, why));
    o.curlCode = CURLE_READ_ERROR;
    o.file = path;
    return o;
}

// No connection, or no answer in time: the next request would fare no better.
bool leavesSiteUnreachable(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
        return true;
    default:
        return false;
    }
}

} // namespace

SiteSession::SiteSession(const Config& config, transfer::ProgressReceiver* progress)
    : config_(config), progress_(progress), easy_(std::make_unique<curl::Easy>())
{
    config_.login.website = siteaddress::clean(config_.login.website);
    if (transfer::hasForeignScheme(config_.login.website)) {
        refused_ = Outcome::failure(
            Outcome::BadAddress, QStringLiteral("error"),
            QCoreApplication::translate("uploadThread",
                                        "the site address must begin with http:// or https://"),
            transfer::withoutUserInfo(config_.login.website));
        return;
    }
    // Reading a FIFO or a device would hold the job forever.
    if (const QFileInfo ca(config_.caCertificates);
        !config_.caCertificates.isEmpty() && ca.exists() && !ca.isFile()) {
        refused_ =
            Outcome::failure(Outcome::Unreadable, QStringLiteral("error"),
                             QCoreApplication::translate(
                                 "uploadThread", "the CA certificate file is not a regular file"),
                             config_.caCertificates);
        refused_.file = config_.caCertificates;
        return;
    }
    const transfer::Timeouts& t = config_.timeouts;
    easy_->set(CURLOPT_WRITEFUNCTION, &curl::writeCallback);
    easy_->set(CURLOPT_NOPROGRESS, 0L);
    easy_->set(CURLOPT_XFERINFOFUNCTION, &curl::progressCallback);
    easy_->set(CURLOPT_XFERINFODATA, static_cast<void*>(progress));
    easy_->set(CURLOPT_COOKIEFILE, "");
    // Every encoding libcurl can decode is offered, and answers come decoded.
    easy_->set(CURLOPT_ACCEPT_ENCODING, "");
    easy_->set(CURLOPT_CONNECTTIMEOUT, t.connectSeconds);
    easy_->set(CURLOPT_LOW_SPEED_LIMIT, t.minimumSpeed);
    easy_->set(CURLOPT_LOW_SPEED_TIME, t.slowSeconds);
    easy_->set(CURLOPT_PROTOCOLS_STR, "http,https");
    easy_->set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // The worker thread must never be woken by SIGALRM from name resolution.
    easy_->set(CURLOPT_NOSIGNAL, 1L);
    if (!config_.caCertificates.isEmpty())
        easy_->set(CURLOPT_CAINFO, QFile::encodeName(config_.caCertificates).constData());
}

SiteSession::~SiteSession() = default;

Outcome SiteSession::checkFile(const QString& path)
{
    if (path.isEmpty())
        return Outcome(); // a picture in memory
    const QFileInfo info(path);
    const char* why = nullptr;
    if (!info.exists())
        why = QT_TRANSLATE_NOOP("uploadThread", "does not exist");
    else if (!info.isFile())
        why = QT_TRANSLATE_NOOP("uploadThread", "not a regular file");
    else if (!info.isReadable())
        why = QT_TRANSLATE_NOOP("uploadThread", "cannot be read: permission denied");
    else
        return Outcome();
    Outcome o =
        Outcome::quiet(Outcome::Unreadable, QCoreApplication::translate("uploadThread", why));
    o.curlCode = CURLE_READ_ERROR;
    o.file = path;
    return o;
}

Outcome SiteSession::setAddress(const QString& url)
{
    if (!refused_.ok())
        return refused_;
    const QByteArray bytes = sitetext::latin1(url);
    qDebug() << "URL:" << sitetext::latin1(transfer::withoutUserInfo(url));
    easy_->set(CURLOPT_URL, bytes.constData()); // libcurl keeps its own copy
    return Outcome();
}

Outcome SiteSession::login()
{
    if (Outcome o = setAddress(QStringLiteral("%1/admin.php").arg(config_.login.website)); !o.ok())
        return o;
    // A form body: the values are percent-encoded, so "&", "=", "+" and "%"
    // in a password reach the site as typed.
    const QByteArray body =
        "name=" + sitetext::formEncoded(sitetext::latin1(config_.login.username)) +
        "&pass=" + sitetext::formEncoded(sitetext::latin1(config_.login.password)) +
        "&user_login_sub=Login";
    easy_->set(CURLOPT_POSTFIELDSIZE, long(body.size()));
    easy_->set(CURLOPT_COPYPOSTFIELDS, body.constData());
    QByteArray answer;
    Outcome o = perform(&answer, sitetext::loginMarker, QStringLiteral("login error"),
                        QCoreApplication::translate("uploadThread", "could not log in"));
    if (o.httpStatus == 404) // most likely an address that is not the site's base
        o.detail =
            QCoreApplication::translate(
                "uploadThread", "%1 was not found (HTTP status 404): the site address must be "
                                "the part before /admin.php, such as %2")
                .arg(QStringLiteral("%1/admin.php").arg(config_.login.website),
                     siteaddress::example);
    return o;
}

Outcome SiteSession::galleryPage(QByteArray* page)
{
    if (Outcome o = setAddress(QStringLiteral("%1/admin.php?gallery").arg(config_.login.website));
        !o.ok())
        return o;
    easy_->set(CURLOPT_HTTPGET, 1L);
    return perform(page, sitetext::categoryMarker, QStringLiteral("error"),
                   QCoreApplication::translate("uploadThread", "no Categories found"));
}

Outcome SiteSession::beginBatch(int category)
{
    return setAddress(QStringLiteral("%1/admin.php?gallery-uploadImages-%2")
                          .arg(config_.login.website, QString::number(category)));
}

Outcome SiteSession::upload(const UploadItem& item)
{
    if (!refused_.ok())
        return refused_;
    qDebug() << "uploadGallery:filename" << (item.bytes ? item.name : item.path);

    FileSource source;
    if (!item.bytes) {
        if (Outcome o = checkFile(item.path); !o.ok())
            return o;
        source.file.setFileName(item.path);
        if (!source.file.open(QIODevice::ReadOnly))
            return readFailure(item.path, source.file.errorString());
        source.size = source.file.size();
        if (item.contentHash)
            source.hash = std::make_unique<history::ContentHash>();
    }

    // The picture travels under its bare name; the local folders stay private.
    const QByteArray partName = sitetext::latin1(item.name);
    curl::Mime form(*easy_);
    if (curl_mimepart* picture = form.addPart("file[]")) {
        if (item.bytes) {
            form.check(
                curl_mime_data(picture, item.bytes->constData(), size_t(item.bytes->size())));
        } else {
            form.check(curl_mime_data_cb(picture, curl_off_t(source.size), &readFromFile,
                                         &seekInFile, nullptr, &source));
        }
        form.check(curl_mime_filename(picture, partName.constData()));
        // A prepared picture is a JPEG, whatever name it travels under.
        form.check(curl_mime_type(picture,
                                  item.bytes ? "image/jpeg" : transfer::contentTypeFor(item.name)));
    }
    form.addText("besch[]", sitetext::latin1WithCharRefs(item.comment));
    form.addText("hochladen", "yes");
    form.addText("submit", "Absenden");
    if (const CURLcode code = form.takeError(); code != CURLE_OK) {
        Outcome o = Outcome::failure(Outcome::TransferFailed, curlTitle, curl::describe(code));
        o.curlCode = code;
        o.file = item.path;
        return o;
    }
    easy_->set(CURLOPT_MIMEPOST, form.get());

    QByteArray answer;
    Outcome o = perform(&answer, sitetext::uploadMarker, QStringLiteral("file upload error"),
                        QCoreApplication::translate("uploadThread", "could not upload file"));
    easy_->set(CURLOPT_MIMEPOST, static_cast<curl_mime*>(nullptr)); // the form dies here
    if (source.changed)
        o = readFailure(item.path, QCoreApplication::translate(
                                       "uploadThread", "the file changed while it was sent"));
    else if (o.curlCode == CURLE_ABORTED_BY_CALLBACK && progress_ && progress_->abortTransfer())
        o = Outcome::quiet(Outcome::Cancelled,
                           QCoreApplication::translate("uploadThread", "cancelled"));
    o.file = item.path;
    o.bytes = item.bytes ? item.bytes->size() : source.size;
    if (item.contentHash)
        *item.contentHash = source.hash && source.hashed && source.position == source.size
                                ? source.hash->hex()
                                : QByteArray();
    return o;
}

Outcome SiteSession::perform(QByteArray* answer, QLatin1StringView marker, const QString& title,
                             const QString& text)
{
    curl::Sink sink{answer, config_.timeouts.maxAnswerBytes};
    easy_->set(CURLOPT_WRITEDATA, static_cast<void*>(&sink));
    const CURLcode code = easy_->perform();
    // The sink dies with this call; no later request may write into it.
    easy_->set(CURLOPT_WRITEDATA, static_cast<void*>(nullptr));

    Outcome o;
    o.httpStatus = code == CURLE_OK ? easy_->responseCode() : 0;
    if (sink.overflowed) {
        o = Outcome::failure(
            Outcome::TooLarge, curlTitle,
            QCoreApplication::translate("uploadThread", "answer too large"),
            QCoreApplication::translate("uploadThread", "the site sent more than %1 bytes")
                .arg(config_.timeouts.maxAnswerBytes));
    } else if (code != CURLE_OK) {
        o = Outcome::failure(Outcome::TransferFailed, curlTitle, curl::describe(code),
                             easy_->errorText());
        o.curlCode = code;
        o.siteUnreachable = leavesSiteUnreachable(code);
    } else if (o.httpStatus >= 400) {
        const long status = o.httpStatus;
        o = Outcome::failure(
            Outcome::Refused, title, text,
            QCoreApplication::translate("uploadThread", "the site answered with HTTP status %1")
                .arg(status));
        o.httpStatus = status;
    } else if (!sitetext::bodyContains(*answer, marker)) {
        const long status = o.httpStatus;
        o = Outcome::failure(Outcome::Refused, title, text);
        o.httpStatus = status;
    }
    return o;
}
