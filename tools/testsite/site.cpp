#include "site.h"

#include "pages.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <httplib.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace testsite {

namespace {

const QStringList kTargets = {QStringLiteral("login"), QStringLiteral("gallery"),
                              QStringLiteral("upload"), QStringLiteral("any")};
const QStringList kKinds = {
    QStringLiteral("refuse"),     QStringLiteral("stall"),    QStringLiteral("close"),
    QStringLiteral("status500"),  QStringLiteral("redirect"), QStringLiteral("zero-before"),
    QStringLiteral("zero-after"), QStringLiteral("empty"),    QStringLiteral("no-categories"),
    QStringLiteral("endless"),    QStringLiteral("trickle"),  QStringLiteral("gzip")};

const char kHtml[] = "text/html; charset=ISO-8859-1";
const QByteArray kSessionCookie = QByteArrayLiteral("ORVASESSID");

// Name/value pairs of an application/x-www-form-urlencoded body, as bytes.
QList<QPair<QByteArray, QByteArray>> decodeForm(const QByteArray& body)
{
    QList<QPair<QByteArray, QByteArray>> fields;
    for (QByteArray piece : body.split('&')) {
        if (piece.isEmpty())
            continue;
        piece.replace('+', ' ');
        const qsizetype eq = piece.indexOf('=');
        const QByteArray name = eq < 0 ? piece : piece.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : piece.mid(eq + 1);
        fields.append(
            {QByteArray::fromPercentEncoding(name), QByteArray::fromPercentEncoding(value)});
    }
    return fields;
}

QByteArray formValue(const QList<QPair<QByteArray, QByteArray>>& fields, const QByteArray& name,
                     bool* present = nullptr)
{
    for (const auto& field : fields) {
        if (field.first == name) {
            if (present)
                *present = true;
            return field.second;
        }
    }
    if (present)
        *present = false;
    return {};
}

QByteArray toBytes(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

std::string toStd(const QByteArray& bytes)
{
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// The path with runs of slashes collapsed, as a web server maps it to a file.
QString normalisedPath(const std::string& path)
{
    QString p = QString::fromLatin1(toBytes(path));
    static const QRegularExpression slashes(QStringLiteral("/{2,}"));
    p.replace(slashes, QStringLiteral("/"));
    return p;
}

QString sanitisedFileName(const QByteArray& raw)
{
    QString name = QString::fromLatin1(raw);
    const qsizetype cut =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        name = name.mid(cut + 1);
    for (QChar& c : name) {
        const ushort u = c.unicode();
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                           (u >= '0' && u <= '9') || u == '.' || u == '-' || u == '_';
        if (!plain)
            c = QLatin1Char('_');
    }
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("picture");
    return name.left(100);
}

const char* sniffedContentType(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return "image/jpeg";
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return "image/png";
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return "image/gif";
    if (bytes.startsWith("BM"))
        return "image/bmp";
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return "image/webp";
    if (bytes.startsWith(QByteArrayView("II*\0", 4)) ||
        bytes.startsWith(QByteArrayView("MM\0*", 4)))
        return "image/tiff";
    return "application/octet-stream";
}

// `bytes` as a gzip stream.
QByteArray gzipped(const QByteArray& bytes)
{
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(int(deflateBound(&z, uLong(bytes.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.truncate(done ? qsizetype(z.total_out) : 0);
    deflateEnd(&z);
    return out;
}

bool faultMatches(const QString& target, const QString& route)
{
    return target == QLatin1String("any") || target == route;
}

// The text before or after which the zero byte of a zero-* fault goes.
QByteArray markerOf(const QString& route)
{
    if (route == QLatin1String("login") || route == QLatin1String("admin"))
        return QByteArrayLiteral("<title>orva AdminMenu</title>");
    if (route == QLatin1String("gallery"))
        return QByteArrayLiteral("?gallery-S");
    if (route == QLatin1String("upload"))
        return QByteArrayLiteral("erfolgreich hochgeladen");
    return {};
}

void insertZero(QByteArray& body, const QString& route, bool after)
{
    const QByteArray marker = markerOf(route);
    qsizetype at = marker.isEmpty() ? -1 : body.indexOf(marker);
    if (at < 0) {
        at = after ? body.size() : 0;
    } else if (after) {
        if (route == QLatin1String("gallery")) {
            // After the first complete category row.
            const qsizetype rowEnd = body.indexOf("</tr>", at);
            at = rowEnd < 0 ? body.size() : rowEnd + 5;
        } else {
            at += marker.size();
        }
    }
    body.insert(at, '\0');
}

} // namespace

// ---------------------------------------------------------------------------------------

QList<Category> defaultCategories()
{
    return {
        {0, 3, QStringLiteral("Allgemein")},
        {0, 7, QStringLiteral("Urlaub &amp; Reisen")},
        {1, 12, QStringLiteral("Italien")},
        {2, 45, QStringLiteral("Rom &amp; Umgebung")},
        {1, 13, QStringLiteral("Fr\u00e4nkische Schweiz")},
        {0, 250, QStringLiteral("Tom &amp; Jerry")},
        {1, 251, QStringLiteral("Cartoons &lt;alt&gt;")},
        {0, 1200, QStringLiteral("Archiv 2006")},
    };
}

bool loadCategories(const QString& path, QList<Category>* out, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QList<Category> categories;
    QSet<int> ids;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        bool depthOk = false, idOk = false;
        Category category;
        if (fields.size() == 3) {
            category.depth = fields[0].toInt(&depthOk);
            category.id = fields[1].toInt(&idOk);
            category.name = fields[2];
        }
        if (!depthOk || !idOk || category.depth < 0 || ids.contains(category.id)) {
            *error = QStringLiteral("%1:%2: expected \"depth<TAB>id<TAB>name\" with a new id")
                         .arg(path)
                         .arg(i + 1);
            return false;
        }
        ids.insert(category.id);
        categories.append(category);
    }
    *out = categories;
    return true;
}

bool validateFault(const Fault& fault, QString* error)
{
    if (!kTargets.contains(fault.target)) {
        *error = QStringLiteral("unknown fault target \"%1\" (%2)")
                     .arg(fault.target, kTargets.join(QLatin1String(", ")));
        return false;
    }
    if (!kKinds.contains(fault.kind)) {
        *error = QStringLiteral("unknown fault kind \"%1\" (%2)")
                     .arg(fault.kind, kKinds.join(QLatin1String(", ")));
        return false;
    }
    if (fault.nth < 0 || fault.seconds < 0) {
        *error = QStringLiteral("fault numbers must not be negative");
        return false;
    }
    return true;
}

bool parseFaultSpec(const QString& spec, Fault* out, QString* error)
{
    const QStringList fields = spec.split(QLatin1Char(':'));
    if (fields.size() < 2 || fields.size() > 4) {
        *error = QStringLiteral("fault \"%1\": expected target:kind[:nth[:seconds]]").arg(spec);
        return false;
    }
    Fault fault;
    fault.target = fields[0];
    fault.kind = fields[1];
    bool ok = true;
    if (fields.size() > 2)
        fault.nth = fields[2].toInt(&ok);
    if (ok && fields.size() > 3)
        fault.seconds = fields[3].toInt(&ok);
    if (!ok) {
        *error = QStringLiteral("fault \"%1\": nth and seconds must be numbers").arg(spec);
        return false;
    }
    if (!validateFault(fault, error))
        return false;
    *out = fault;
    return true;
}

// ---------------------------------------------------------------------------------------

// One request on its way through the site: what the log records and the answer.
struct Site::Exchange
{
    QString route = QStringLiteral("other");
    QString query;
    QString cookie;
    bool session = false;
    QJsonObject form;
    QJsonArray parts;
    int category = -1; // uploads
    QString stored;
    QString result = QStringLiteral("ok");

    QStringList faults; // kinds that fire for this request
    int stallSeconds = 0;

    int status = 200;
    QByteArray contentType = kHtml;
    QByteArray body;
    QByteArray setCookie;
    QString redirectPath = QStringLiteral("/index.php");

    bool has(const char* kind) const { return faults.contains(QLatin1String(kind)); }
};

Site::Site(Config config) : config_(std::move(config)) {}

Site::~Site() = default;

bool Site::open(QString* error)
{
    if (!config_.logPath.isEmpty()) {
        log_.setFileName(config_.logPath);
        if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *error = QStringLiteral("cannot write the log %1: %2")
                         .arg(config_.logPath, log_.errorString());
            return false;
        }
    }
    QDir store(config_.storeDir);
    if (!store.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("cannot create the store %1").arg(config_.storeDir);
        return false;
    }
    config_.storeDir = store.absolutePath();

    // Comments of pictures stored by an earlier run of the site.
    QHash<QString, QString> comments;
    comments_.setFileName(store.filePath(QStringLiteral(".comments.jsonl")));
    if (comments_.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : comments_.readAll().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (!o.isEmpty())
                comments.insert(o.value(QLatin1String("stored")).toString(),
                                o.value(QLatin1String("comment")).toString());
        }
        comments_.close();
    }
    if (!comments_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = QStringLiteral("cannot write %1").arg(comments_.fileName());
        return false;
    }

    static const QRegularExpression stored(QStringLiteral("^([0-9]+)_."));
    for (const Category& category : std::as_const(config_.categories)) {
        QDir dir(store.filePath(QString::number(category.id)));
        QList<QPair<int, QString>> found;
        for (const QString& name : dir.entryList(QDir::Files)) {
            const QRegularExpressionMatch m = stored.match(name);
            if (m.hasMatch())
                found.append({m.captured(1).toInt(), name});
        }
        std::sort(found.begin(), found.end());
        for (const auto& [seq, name] : found) {
            nextPictureSeq_ = std::max(nextPictureSeq_, seq + 1);
            pictures_[category.id].append({name, comments.value(dir.filePath(name))});
        }
    }
    return true;
}

void Site::install(httplib::Server& server)
{
    server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        if (req.path.rfind("/_control/", 0) == 0)
            handleControl(req, res);
        else
            handleGet(req, res);
    });
    server.Post(".*",
                [this](const httplib::Request& req, httplib::Response& res,
                       const httplib::ContentReader& reader) { handlePost(req, res, reader); });
    const auto other = [this](const httplib::Request& req, httplib::Response& res) {
        handleOther(req, res);
    };
    server.Put(".*", other);
    server.Patch(".*", other);
    server.Delete(".*", other);
    server.Options(".*", other);
}

bool Site::addFault(const Fault& fault, QString* error)
{
    if (!validateFault(fault, error))
        return false;
    std::lock_guard lock(mutex_);
    Fault added = fault;
    added.seen = 0;
    faults_.append(added);
    return true;
}

void Site::clearFaults()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

void Site::shutdown()
{
    {
        std::lock_guard lock(stallMutex_);
        stopping_ = true;
    }
    stallWake_.notify_all();
}

bool Site::stopping()
{
    std::lock_guard lock(stallMutex_);
    return stopping_;
}

void Site::throttle(size_t bytes)
{
    if (config_.uploadMbits <= 0)
        return;
    const auto busy = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(bytes * 8 / (config_.uploadMbits * 1e6)));
    std::unique_lock lock(stallMutex_);
    uplinkFree_ = std::max(uplinkFree_, std::chrono::steady_clock::now()) + busy;
    const auto until = uplinkFree_;
    stallWake_.wait_until(lock, until, [this] { return stopping_; });
}

void Site::stall(int seconds)
{
    std::unique_lock lock(stallMutex_);
    stallWake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_; });
}

// --- control -------------------------------------------------------------------------

void Site::handleControl(const httplib::Request& req, httplib::Response& res)
{
    const auto text = [&res](int status, const QString& body) {
        res.status = status;
        res.set_content(toStd(body.toUtf8() + '\n'), "text/plain; charset=utf-8");
    };
    if (req.path == "/_control/clear") {
        clearFaults();
        text(200, QStringLiteral("ok"));
        return;
    }
    if (req.path == "/_control/fault") {
        Fault fault;
        fault.target = QString::fromStdString(req.get_param_value("target"));
        fault.kind = QString::fromStdString(req.get_param_value("kind"));
        bool ok = true;
        if (req.has_param("nth"))
            fault.nth = QString::fromStdString(req.get_param_value("nth")).toInt(&ok);
        if (ok && req.has_param("seconds"))
            fault.seconds = QString::fromStdString(req.get_param_value("seconds")).toInt(&ok);
        QString error = QStringLiteral("nth and seconds must be numbers");
        if (ok && addFault(fault, &error))
            text(200, QStringLiteral("ok"));
        else
            text(400, error);
        return;
    }
    text(404, QStringLiteral("unknown control request"));
}

// --- requests ------------------------------------------------------------------------

void Site::begin(Exchange& ex, const httplib::Request& req)
{
    const qsizetype q = qsizetype(req.target.find('?'));
    ex.query = q < 0 ? QString() : QString::fromLatin1(toBytes(req.target.substr(size_t(q) + 1)));

    QStringList cookies;
    for (auto it = req.headers.lower_bound("Cookie"); it != req.headers.upper_bound("Cookie"); ++it)
        cookies.append(QString::fromLatin1(toBytes(it->second)));
    ex.cookie = cookies.join(QLatin1String("; "));
    ex.session = hasSession(ex.cookie);
}

// Counts the request for every fault that watches its route and collects the kinds
// that fire. Call once the route is known.
static void collectFaults(QList<Fault>& faults, const QString& route, QStringList* kinds,
                          int* stallSeconds)
{
    for (Fault& fault : faults) {
        if (!faultMatches(fault.target, route))
            continue;
        ++fault.seen;
        if (fault.nth != 0 && fault.seen != fault.nth)
            continue;
        if (!kinds->contains(fault.kind))
            kinds->append(fault.kind);
        if (fault.kind == QLatin1String("stall"))
            *stallSeconds = std::max(*stallSeconds, fault.seconds);
    }
}

void Site::handleGet(const httplib::Request& req, httplib::Response& res)
{
    Exchange ex;
    begin(ex, req);
    const QString path = normalisedPath(req.path);
    static const QRegularExpression categoryAdmin(QStringLiteral("^gallery-S([0-9]+)$"));
    QRegularExpressionMatch m;
    if (path == QLatin1String("/admin.php")) {
        if (ex.query.isEmpty())
            ex.route = QStringLiteral("admin");
        else if (ex.query == QLatin1String("gallery"))
            ex.route = QStringLiteral("gallery");
        else if ((m = categoryAdmin.match(ex.query)).hasMatch())
            ex.route = QStringLiteral("category-admin");
    } else if (path == QLatin1String("/") || path == QLatin1String("/index.php")) {
        ex.route = QStringLiteral("public");
    } else if (path.startsWith(QLatin1String("/pictures/"))) {
        ex.route = QStringLiteral("picture");
    }
    {
        std::lock_guard lock(mutex_);
        collectFaults(faults_, ex.route, &ex.faults, &ex.stallSeconds);
    }

    if (ex.route == QLatin1String("admin"))
        answerAdmin(ex);
    else if (ex.route == QLatin1String("gallery"))
        answerGallery(ex);
    else if (ex.route == QLatin1String("category-admin"))
        answerCategoryAdmin(ex, m.captured(1).toInt());
    else if (ex.route == QLatin1String("public"))
        answerPublic(ex);
    else if (ex.route == QLatin1String("picture"))
        answerPicture(ex, path);
    else {
        ex.status = 404;
        ex.result = QStringLiteral("bad-request");
        ex.body = pages::notFound().toLatin1();
    }
    finish(ex, req, res);
}

void Site::handlePost(const httplib::Request& req, httplib::Response& res,
                      const httplib::ContentReader& reader)
{
    Exchange ex;
    begin(ex, req);
    const QString path = normalisedPath(req.path);
    static const QRegularExpression upload(QStringLiteral("^gallery-uploadImages-(.*)$"));
    const QRegularExpressionMatch m = upload.match(ex.query);
    if (path == QLatin1String("/admin.php") && ex.query.isEmpty())
        ex.route = QStringLiteral("login");
    else if (path == QLatin1String("/admin.php") && m.hasMatch())
        ex.route = QStringLiteral("upload");

    if (ex.route == QLatin1String("upload")) {
        answerUpload(ex, m.captured(1), req, reader);
    } else {
        QByteArray body;
        reader([this, &body](const char* data, size_t length) {
            throttle(length);
            body.append(data, qsizetype(length));
            return true;
        });
        if (ex.route == QLatin1String("login")) {
            answerLogin(ex, body);
        } else {
            std::lock_guard lock(mutex_);
            collectFaults(faults_, ex.route, &ex.faults, &ex.stallSeconds);
        }
        if (ex.route == QLatin1String("other")) {
            ex.status = 404;
            ex.result = QStringLiteral("bad-request");
            ex.body = pages::notFound().toLatin1();
        }
    }
    finish(ex, req, res);
}

void Site::handleOther(const httplib::Request& req, httplib::Response& res)
{
    Exchange ex;
    begin(ex, req);
    {
        std::lock_guard lock(mutex_);
        collectFaults(faults_, ex.route, &ex.faults, &ex.stallSeconds);
    }
    ex.status = 405;
    ex.result = QStringLiteral("bad-request");
    ex.body = pages::notFound().toLatin1();
    finish(ex, req, res);
}

void Site::answerLogin(Exchange& ex, const QByteArray& body)
{
    const auto fields = decodeForm(body);
    for (const auto& field : fields)
        ex.form.insert(QString::fromLatin1(field.first), QString::fromLatin1(field.second));
    {
        std::lock_guard lock(mutex_);
        collectFaults(faults_, ex.route, &ex.faults, &ex.stallSeconds);
    }
    bool submitted = false;
    formValue(fields, "user_login_sub", &submitted);
    const QByteArray name = formValue(fields, "name");
    const bool good = name == config_.user && formValue(fields, "pass") == config_.password;
    if (!submitted) {
        ex.result = QStringLiteral("bad-request");
        ex.body = pages::loginPage(QString()).toLatin1();
    } else if (!good || ex.has("refuse")) {
        ex.result = QStringLiteral("refused");
        ex.body = pages::loginPage(QStringLiteral("Benutzername oder Passwort falsch.")).toLatin1();
    } else {
        ex.setCookie = kSessionCookie + '=' + newSession().toLatin1() + "; Path=/";
        ex.body = pages::adminMenu(QString::fromLatin1(name)).toLatin1();
    }
}

void Site::answerAdmin(Exchange& ex)
{
    if (!ex.session || ex.has("refuse")) {
        ex.result = ex.session ? QStringLiteral("refused") : QStringLiteral("no-session");
        ex.body = pages::loginPage(QString()).toLatin1();
        return;
    }
    ex.body = pages::adminMenu(QString::fromLatin1(config_.user)).toLatin1();
    ex.redirectPath = QStringLiteral("/index.php");
}

void Site::answerGallery(Exchange& ex)
{
    ex.redirectPath = QStringLiteral("/admin.php");
    if (!ex.session || ex.has("refuse")) {
        ex.result = ex.session ? QStringLiteral("refused") : QStringLiteral("no-session");
        ex.body = pages::loginPage(QString()).toLatin1();
        return;
    }
    QMap<int, int> counts;
    {
        std::lock_guard lock(mutex_);
        for (auto it = pictures_.cbegin(); it != pictures_.cend(); ++it)
            counts.insert(it.key(), int(it.value().size()));
    }
    ex.body = pages::galleryAdmin(config_.categories, counts, !ex.has("no-categories")).toLatin1();
}

void Site::answerCategoryAdmin(Exchange& ex, int id)
{
    ex.redirectPath = QStringLiteral("/admin.php?gallery");
    if (!ex.session || ex.has("refuse")) {
        ex.result = ex.session ? QStringLiteral("refused") : QStringLiteral("no-session");
        ex.body = pages::loginPage(QString()).toLatin1();
        return;
    }
    const Category* found = category(id);
    if (!found)
        ex.result = QStringLiteral("no-category");
    QList<Picture> pictures;
    {
        std::lock_guard lock(mutex_);
        pictures = pictures_.value(id);
    }
    ex.body = pages::categoryAdmin(found, id, pictures).toLatin1();
}

void Site::answerUpload(Exchange& ex, const QString& idText, const httplib::Request& req,
                        const httplib::ContentReader& reader)
{
    struct Part
    {
        QByteArray name, filename, contentType, content;
    };
    QList<Part> parts;
    bool parsed = false;
    if (req.is_multipart_form_data()) {
        parsed = reader(
            [&parts](const httplib::MultipartFormData& header) {
                parts.append({toBytes(header.name),
                              toBytes(header.filename),
                              toBytes(header.content_type),
                              {}});
                return true;
            },
            [this, &parts](const char* data, size_t length) {
                throttle(length);
                if (!parts.isEmpty())
                    parts.last().content.append(data, qsizetype(length));
                return true;
            });
    } else {
        reader([this](const char*, size_t length) {
            throttle(length);
            return true;
        });
    }

    const Part* file = nullptr;
    QByteArray comment, hochladen;
    bool hasHochladen = false;
    for (const Part& part : std::as_const(parts)) {
        QJsonObject o;
        o.insert(QLatin1String("name"), QString::fromLatin1(part.name));
        o.insert(QLatin1String("content_type"), QString::fromLatin1(part.contentType));
        o.insert(QLatin1String("size"), double(part.content.size()));
        if (part.filename.isEmpty()) {
            o.insert(QLatin1String("value"), QString::fromLatin1(part.content));
        } else {
            o.insert(QLatin1String("filename"), QString::fromLatin1(part.filename));
            o.insert(
                QLatin1String("sha256"),
                QString::fromLatin1(
                    QCryptographicHash::hash(part.content, QCryptographicHash::Sha256).toHex()));
        }
        ex.parts.append(o);
        if (part.name == "file[]" && !file)
            file = &part;
        else if (part.name == "besch[]" && comment.isNull())
            comment = part.content.isNull() ? QByteArray("") : part.content;
        else if (part.name == "hochladen" && !hasHochladen) {
            hochladen = part.content;
            hasHochladen = true;
        }
    }

    bool idOk = false;
    const int id = idText.toInt(&idOk);
    if (idOk)
        ex.category = id;
    ex.redirectPath = idOk ? QStringLiteral("/admin.php?gallery-S%1").arg(id)
                           : QStringLiteral("/admin.php?gallery");
    {
        std::lock_guard lock(mutex_);
        collectFaults(faults_, ex.route, &ex.faults, &ex.stallSeconds);
    }

    const auto fail = [&ex, id](const char* result, const QString& reason) {
        ex.result = QLatin1String(result);
        ex.body = pages::uploadFailed(id, reason).toLatin1();
    };
    if (!ex.session) {
        ex.result = QStringLiteral("no-session");
        ex.body = pages::loginPage(QString()).toLatin1();
    } else if (!idOk || !category(id)) {
        fail("no-category", QStringLiteral("Die Kategorie gibt es nicht."));
    } else if (!parsed) {
        fail("bad-request", QStringLiteral("Das Formular ist unvollst&auml;ndig."));
    } else if (!file || file->filename.isEmpty() || file->content.isEmpty()) {
        fail("bad-request", QStringLiteral("Es wurde keine Datei ausgew&auml;hlt."));
    } else if (hochladen != "yes") {
        fail("bad-request", QStringLiteral("Das Formular ist unvollst&auml;ndig."));
    } else if (ex.has("refuse")) {
        fail("refused", QStringLiteral("Das Bild konnte nicht gespeichert werden."));
    } else {
        ex.stored = storePicture(id, file->filename, file->content, QString::fromLatin1(comment));
        if (ex.stored.isEmpty())
            fail("bad-request", QStringLiteral("Das Bild konnte nicht gespeichert werden."));
        else
            ex.body = pages::uploadDone(id, QFileInfo(ex.stored).fileName()).toLatin1();
    }
}

void Site::answerPublic(Exchange& ex)
{
    static const QRegularExpression categoryPage(QStringLiteral("^gallery-([0-9]+)$"));
    const QRegularExpressionMatch m = categoryPage.match(ex.query);
    QMap<int, int> counts;
    QList<Picture> pictures;
    const int id = m.hasMatch() ? m.captured(1).toInt() : -1;
    {
        std::lock_guard lock(mutex_);
        for (auto it = pictures_.cbegin(); it != pictures_.cend(); ++it)
            counts.insert(it.key(), int(it.value().size()));
        pictures = pictures_.value(id);
    }
    if (ex.has("refuse")) {
        ex.status = 403;
        ex.result = QStringLiteral("refused");
        ex.body = pages::refused().toLatin1();
    } else if (m.hasMatch()) {
        const Category* found = category(id);
        if (!found)
            ex.result = QStringLiteral("no-category");
        ex.body = pages::publicCategory(found, id, pictures).toLatin1();
    } else {
        ex.body = pages::publicIndex(config_.categories, counts).toLatin1();
    }
}

void Site::answerPicture(Exchange& ex, const QString& path)
{
    static const QRegularExpression picture(
        QStringLiteral("^/pictures/([0-9]+)/([0-9]+_[A-Za-z0-9._-]+)$"));
    const QRegularExpressionMatch m = picture.match(path);
    QFile file;
    if (m.hasMatch() && category(m.captured(1).toInt()))
        file.setFileName(
            QDir(config_.storeDir).filePath(m.captured(1) + QLatin1Char('/') + m.captured(2)));
    if (ex.has("refuse")) {
        ex.status = 403;
        ex.result = QStringLiteral("refused");
        ex.body = pages::refused().toLatin1();
    } else if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
        ex.status = 404;
        ex.result = QStringLiteral("bad-request");
        ex.body = pages::notFound().toLatin1();
    } else {
        ex.body = file.readAll();
        ex.contentType = sniffedContentType(ex.body);
    }
}

void Site::finish(Exchange& ex, const httplib::Request& req, httplib::Response& res)
{
    // Faults that change the answer's bytes; the picture has been stored already.
    QByteArray body = ex.body;
    if (ex.has("zero-before"))
        insertZero(body, ex.route, false);
    if (ex.has("zero-after"))
        insertZero(body, ex.route, true);
    if (ex.has("empty"))
        body.clear();
    if (ex.has("gzip")) // asked for or not, as some servers do
        body = gzipped(body);
    int status = ex.status;
    if (ex.has("status500"))
        status = 500;
    QByteArray location;
    if (ex.has("redirect")) {
        status = 302;
        const std::string host = req.get_header_value("Host");
        location = "http://" + toBytes(host.empty() ? std::string("127.0.0.1") : host) +
                   ex.redirectPath.toLatin1();
        body = pages::redirected().toLatin1();
    }

    QJsonObject line;
    line.insert(QLatin1String("method"), QString::fromStdString(req.method));
    line.insert(QLatin1String("target"), QString::fromLatin1(toBytes(req.target)));
    line.insert(QLatin1String("path"), QString::fromLatin1(toBytes(req.path)));
    line.insert(QLatin1String("query"), ex.query);
    line.insert(QLatin1String("route"), ex.route);
    line.insert(QLatin1String("cookie"), ex.cookie);
    line.insert(QLatin1String("session"), ex.session);
    line.insert(QLatin1String("form"), ex.form);
    line.insert(QLatin1String("parts"), ex.parts);
    if (ex.route == QLatin1String("upload") && ex.category >= 0)
        line.insert(QLatin1String("category"), ex.category);
    if (!ex.stored.isEmpty())
        line.insert(QLatin1String("stored"), ex.stored);
    line.insert(QLatin1String("result"), ex.result);
    if (!ex.faults.isEmpty())
        line.insert(QLatin1String("fault"), ex.faults.join(QLatin1Char('+')));
    writeLog(line);

    if (ex.has("stall"))
        stall(ex.stallSeconds);

    res.status = status;
    if (!ex.setCookie.isEmpty())
        res.set_header("Set-Cookie", toStd(ex.setCookie));
    if (!location.isEmpty())
        res.set_header("Location", toStd(location));
    if (ex.has("gzip"))
        res.set_header("Content-Encoding", "gzip");
    const std::string contentType = toStd(ex.contentType);
    if (ex.has("endless")) {
        // The page, then filler without end, until the client gives up.
        const auto page = std::make_shared<std::string>(toStd(body));
        res.set_chunked_content_provider(
            contentType, [this, page](size_t offset, httplib::DataSink& sink) {
                static const std::string filler(64 * 1024, ' ');
                const std::string& chunk = offset == 0 ? *page : filler;
                return !stopping() && sink.write(chunk.data(), chunk.size());
            });
    } else if (ex.has("trickle")) {
        // One byte of the page a second, never reaching its end.
        const auto page = std::make_shared<std::string>(toStd(body) + std::string(1 << 20, ' '));
        res.set_chunked_content_provider(
            contentType, [this, page](size_t offset, httplib::DataSink& sink) {
                if (offset > 0)
                    stall(1);
                return !stopping() && offset < page->size() && sink.write(page->data() + offset, 1);
            });
    } else if (ex.has("close")) {
        // Announce the whole body, send half of it, then drop the connection.
        const auto shared = std::make_shared<std::string>(toStd(body));
        const size_t announced = std::max<size_t>(shared->size(), 1);
        res.set_content_provider(announced, contentType,
                                 [shared](size_t offset, size_t, httplib::DataSink& sink) {
                                     const size_t half = shared->size() / 2;
                                     if (offset < half)
                                         sink.write(shared->data() + offset, half - offset);
                                     return false;
                                 });
    } else {
        res.set_content(toStd(body), contentType);
    }
}

// --- state ---------------------------------------------------------------------------

bool Site::hasSession(const QString& cookieHeader) const
{
    const QString prefix = QString::fromLatin1(kSessionCookie) + QLatin1Char('=');
    std::lock_guard lock(mutex_);
    for (const QString& cookie : cookieHeader.split(QLatin1Char(';'))) {
        const QString c = cookie.trimmed();
        if (c.startsWith(prefix) && sessions_.contains(c.mid(prefix.size())))
            return true;
    }
    return false;
}

QString Site::newSession()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    const QString id =
        QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
    std::lock_guard lock(mutex_);
    sessions_.insert(id);
    return id;
}

const Category* Site::category(int id) const
{
    for (const Category& c : config_.categories) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

QString Site::storePicture(int id, const QByteArray& fileName, const QByteArray& bytes,
                           const QString& comment)
{
    std::lock_guard lock(mutex_);
    QDir dir(QDir(config_.storeDir).filePath(QString::number(id)));
    if (!dir.mkpath(QStringLiteral(".")))
        return {};
    const QString name =
        QStringLiteral("%1_%2").arg(QString::number(nextPictureSeq_), sanitisedFileName(fileName));
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "orva-testsite: cannot store %s\n", qPrintable(file.fileName()));
        file.remove();
        return {};
    }
    file.close();
    ++nextPictureSeq_;
    pictures_[id].append({name, comment});

    QJsonObject note;
    note.insert(QLatin1String("stored"), file.fileName());
    note.insert(QLatin1String("comment"), comment);
    comments_.write(QJsonDocument(note).toJson(QJsonDocument::Compact) + '\n');
    comments_.flush();
    return file.fileName();
}

void Site::writeLog(QJsonObject line)
{
    std::lock_guard lock(mutex_);
    line.insert(QLatin1String("seq"), nextLogSeq_++);
    if (!log_.isOpen())
        return;
    log_.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
    log_.flush();
}

} // namespace testsite
