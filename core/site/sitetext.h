#pragma once

#include <QByteArray>
#include <QString>

// Text as the site speaks it: Latin-1, markers found in page bodies read up to
// their first zero byte.
namespace sitetext {

// Latin-1 bytes of `text`; a character outside Latin-1 becomes "?".
QByteArray latin1(const QString& text);

// Latin-1 bytes of `text`; a character outside Latin-1 becomes an HTML numeric
// character reference ("&#9749;"), as a browser sends it in a Latin-1 form.
QByteArray latin1WithCharRefs(const QString& text);

// `bytes` percent-encoded for an application/x-www-form-urlencoded body.
QByteArray formEncoded(const QByteArray& bytes);

// A page body as Latin-1 text up to its first zero byte (all of it without one).
QString bodyText(const QByteArray& body);

// True when `marker` stands in bodyText(body), compared case-sensitively.
bool bodyContains(const QByteArray& body, QLatin1StringView marker);

// The markers of the site.
inline constexpr QLatin1StringView loginMarker{"<title>orva AdminMenu</title>"};
inline constexpr QLatin1StringView categoryMarker{"?gallery-S"};
inline constexpr QLatin1StringView uploadMarker{"erfolgreich hochgeladen"};

} // namespace sitetext
