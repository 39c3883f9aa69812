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
// owner alone, whether it is new or was there before.
void restrictToOwner(const QString& path)
{
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly))
        return;
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
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
    if (access_ == ReadWrite)
        store_.setValue(keyName(key), value);
}

void Settings::sync()
{
    if (access_ != ReadWrite)
        return;
    store_.sync();
    restrictToOwner(path_);
}

UploadJob Settings::job() const
{
    UploadJob job;
    job.login = {text(Website), text(Username), text(Password)};
    job.category = number(Category);
    job.resize = number(Resize);
    job.maxwidth = number(MaxWidth);
    job.maxheight = number(MaxHeight);
    job.options.quality = qBound(-1, number(Quality), 100);
    job.options.keepLocation = number(Metadata) != 0;
    job.options.caCertificates = text(CaCertificates);
    return job;
}
