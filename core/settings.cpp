#include "core/settings.h"

#include <QFile>

const QString Settings::FileName = QStringLiteral("vemo.ini");

namespace {

struct KeyInfo
{
    const char* name;
    const char* fallback; // the value of a missing key; null: empty
};

const KeyInfo keys[] = {
    {"website", nullptr}, {"username", nullptr}, {"password", nullptr}, {"category", nullptr},
    {"resize", "0"},      {"maxwidth", "1000"},  {"maxheight", "1000"}, {"directory", nullptr},
    {"cacert", nullptr},  {"quality", "-1"},     {"metadata", "0"},     {"geometry", nullptr},
    {"columns", nullptr},
};

// The settings hold the password: the file is readable and writable by its
// owner alone, whether it is new or was there before. A file its owner made
// read-only stays so.
void restrictToOwner(const QString& path)
{
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly))
        return;
    file.close();
    file.setPermissions(file.permissions() & (QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ReadUser | QFileDevice::WriteUser));
}

// The file name, after a store that writes has made the file owner-only.
QString openedFor(Settings::Access access, const QString& path)
{
    if (access == Settings::ReadWrite)
        restrictToOwner(path);
    return path;
}

} // namespace

Settings::Settings(Access access, const QString& fileName)
    : path_(fileName), access_(access), store_(openedFor(access, fileName), QSettings::IniFormat)
{
}

Settings::~Settings()
{
    sync();
}

QString Settings::keyName(Key key)
{
    return QLatin1String(keys[key].name);
}

QVariant Settings::value(Key key) const
{
    const char* fallback = keys[key].fallback;
    return store_.value(keyName(key), fallback ? QString::fromLatin1(fallback) : QString());
}

bool Settings::contains(Key key) const
{
    return store_.contains(keyName(key));
}

void Settings::setValue(Key key, const QVariant& value)
{
    if (access_ != ReadWrite)
        return;
    store_.setValue(keyName(key), value);
    sync();
    if (store_.status() != QSettings::NoError && !writeFailedTold_ && writeFailed_) {
        writeFailedTold_ = true;
        writeFailed_();
    }
}

void Settings::sync()
{
    if (access_ != ReadWrite)
        return;
    store_.sync();
    restrictToOwner(path_);
}

int Settings::size(Key key) const
{
    bool ok = false;
    const int value = text(key).toInt(&ok);
    if (ok && value > 0)
        return value;
    const int fallback = QString::fromLatin1(keys[key].fallback).toInt();
    if (!noted_.contains(key)) {
        noted_.append(key);
        qWarning("%s: %s \"%s\" is not a size in pixels; %d is used", qPrintable(path_),
                 keys[key].name, qPrintable(text(key)), fallback);
    }
    return fallback;
}

UploadJob Settings::job() const
{
    UploadJob job;
    job.login = {text(Website), text(Username), text(Password)};
    job.category = number(Category);
    job.resize = number(Resize);
    job.maxwidth = size(MaxWidth);
    job.maxheight = size(MaxHeight);
    job.options.quality = qBound(-1, number(Quality), 100);
    job.options.keepLocation = number(Metadata) != 0;
    job.options.caCertificates = text(CaCertificates);
    return job;
}
