#include "core/site/transfer.h"

#include <QRegularExpression>

namespace transfer {

const char* contentTypeFor(const QString& fileName)
{
    static const struct
    {
        const char* extension;
        const char* type;
    } known[] = {
        {".gif", "image/gif"},       {".jpg", "image/jpeg"},    {".jpeg", "image/jpeg"},
        {".png", "image/png"},       {".svg", "image/svg+xml"}, {".txt", "text/plain"},
        {".htm", "text/html"},       {".html", "text/html"},    {".pdf", "application/pdf"},
        {".xml", "application/xml"},
    };
    for (const auto& k : known) {
        if (fileName.endsWith(QLatin1String(k.extension), Qt::CaseInsensitive))
            return k.type;
    }
    return "application/octet-stream";
}

bool hasForeignScheme(const QString& address)
{
    static const QRegularExpression scheme(QStringLiteral("^\\s*([A-Za-z][A-Za-z0-9+.-]*):"));
    const QRegularExpressionMatch m = scheme.match(address);
    if (!m.hasMatch())
        return false;
    const QString name = m.captured(1).toLower();
    if (name == QLatin1String("http") || name == QLatin1String("https"))
        return false;
    // "host:8080/..." has no scheme: what follows the colon is a port.
    static const QRegularExpression port(QStringLiteral("^[0-9]+(/|$)"));
    return !port.match(address.mid(m.capturedEnd(0))).hasMatch();
}

QString withoutUserInfo(const QString& address)
{
    static const QRegularExpression scheme(QStringLiteral("^\\s*[A-Za-z][A-Za-z0-9+.-]*://"));
    const qsizetype start = qMax<qsizetype>(0, scheme.match(address).capturedEnd(0));
    qsizetype end = address.size();
    for (const QChar c : {QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype at = address.indexOf(c, start);
        if (at >= 0)
            end = qMin(end, at);
    }
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'), end - 1);
    if (at < start)
        return address;
    return address.left(start) + QLatin1String("***") + address.mid(at);
}

} // namespace transfer
