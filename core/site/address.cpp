#include "core/site/address.h"

#include "core/site/transfer.h"

#include <QRegularExpression>
#include <QUrl>

namespace siteaddress {

QString clean(const QString& typed)
{
    QString address = typed.trimmed();
    const qsizetype end = address.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    if (end >= 0)
        address.truncate(end);
    // Not the slashes of "http://", though.
    const qsizetype scheme = address.indexOf(QLatin1String("://"));
    const qsizetype keep = scheme >= 0 ? scheme + 3 : 0;
    const auto dropSlashes = [&address, keep] {
        while (address.size() > keep && address.endsWith(QLatin1Char('/')))
            address.chop(1);
    };
    dropSlashes();
    for (const QLatin1StringView page :
         {QLatin1StringView("/admin.php"), QLatin1StringView("/index.php")}) {
        if (address.size() - page.size() >= keep && address.endsWith(page, Qt::CaseInsensitive)) {
            address.chop(page.size());
            dropSlashes();
            break;
        }
    }
    return address.trimmed();
}

bool usable(const QString& address)
{
    if (address.isEmpty() || address.contains(QLatin1Char(' ')) ||
        transfer::hasForeignScheme(address))
        return false;
    const bool schemeGiven = address.contains(QLatin1String("://"));
    const QUrl url(schemeGiven ? address : QStringLiteral("http://") + address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace siteaddress
