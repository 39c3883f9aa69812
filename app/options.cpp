#include "app/options.h"

#include "core/settings.h"
#include "core/site/address.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

const QRegularExpression& sizePattern()
{
    static const QRegularExpression size(QStringLiteral("^([1-9][0-9]{0,4})x([1-9][0-9]{0,4})$"));
    return size;
}

} // namespace

SettingsOptions::SettingsOptions()
    : site(QStringLiteral("site"), QStringLiteral("The site's base address."),
           QStringLiteral("URL")),
      user(QStringLiteral("user"), QStringLiteral("The administrator's user name."),
           QStringLiteral("NAME")),
      category(QStringLiteral("category"),
               QStringLiteral("The gallery category to upload to (see --list-categories)."),
               QStringLiteral("ID")),
      resize(QStringLiteral("resize"),
             QStringLiteral("Scale pictures down to fit WIDTHxHEIGHT and send them as JPEG."),
             QStringLiteral("WIDTHxHEIGHT")),
      noResize(QStringLiteral("no-resize"), QStringLiteral("Send picture files as they are.")),
      quality(QStringLiteral("quality"),
              QStringLiteral("JPEG quality of scaled pictures, 0 to 100 (default: 75)."),
              QStringLiteral("N")),
      keepLocation(
          QStringLiteral("keep-location"),
          QStringLiteral("Scaled pictures keep their location (GPS); by default it is removed.")),
      cacert(QStringLiteral("cacert"),
             QStringLiteral("Trust the CA certificates in FILE (PEM) for an https site."),
             QStringLiteral("FILE")),
      options{site, user, category, resize, noResize, quality, keepLocation, cacert}
{
}

void SettingsOptions::addTo(QCommandLineParser& parser) const
{
    parser.addOptions(options);
}

QString SettingsOptions::check(const QCommandLineParser& parser, int maxSide) const
{
    bool ok = true;
    if (parser.isSet(category))
        parser.value(category).toInt(&ok);
    if (!ok)
        return QStringLiteral("--category needs a number");
    if (parser.isSet(resize) && parser.isSet(noResize))
        return QStringLiteral("give either --resize or --no-resize");
    if (parser.isSet(quality)) {
        const int value = parser.value(quality).toInt(&ok);
        if (!ok || value < 0 || value > 100)
            return QStringLiteral("--quality needs a number from 0 to 100");
    }
    if (parser.isSet(resize)) {
        const QRegularExpressionMatch match = sizePattern().match(parser.value(resize));
        if (!match.hasMatch() || match.captured(1).toInt() > maxSide ||
            match.captured(2).toInt() > maxSide)
            return QStringLiteral("--resize needs WIDTHxHEIGHT, such as 1024x768, each at most %1")
                .arg(maxSide);
    }
    return QString();
}

void SettingsOptions::apply(const QCommandLineParser& parser, UploadJob& job) const
{
    if (parser.isSet(site))
        job.login.website = siteaddress::clean(parser.value(site));
    if (parser.isSet(user))
        job.login.username = parser.value(user);
    if (parser.isSet(category))
        job.category = parser.value(category).toInt();
    if (parser.isSet(noResize))
        job.resize = 0;
    if (parser.isSet(resize)) {
        const QRegularExpressionMatch match = sizePattern().match(parser.value(resize));
        job.resize = 2;
        job.maxwidth = match.captured(1).toInt();
        job.maxheight = match.captured(2).toInt();
    }
    if (parser.isSet(quality))
        job.options.quality = parser.value(quality).toInt();
    if (parser.isSet(keepLocation))
        job.options.keepLocation = true;
    if (parser.isSet(cacert))
        job.options.caCertificates = parser.value(cacert);
}

void SettingsOptions::store(const QCommandLineParser& parser, Settings& settings) const
{
    UploadJob job = settings.job();
    apply(parser, job);
    const auto put = [&](const QCommandLineOption& option, Settings::Key key,
                         const QVariant& value) {
        if (parser.isSet(option))
            settings.setValue(key, value);
    };
    put(site, Settings::Website, job.login.website);
    put(user, Settings::Username, job.login.username);
    put(category, Settings::Category, job.category);
    put(noResize, Settings::Resize, 0);
    put(resize, Settings::Resize, 2);
    put(resize, Settings::MaxWidth, QString::number(job.maxwidth));
    put(resize, Settings::MaxHeight, QString::number(job.maxheight));
    put(quality, Settings::Quality, job.options.quality);
    put(keepLocation, Settings::Metadata, 2);
    put(cacert, Settings::CaCertificates, job.options.caCertificates);
}
