#include "core/site/sitetext.h"

namespace sitetext {

QByteArray latin1(const QString& text)
{
    // QString::toLatin1() already turns every character above U+00FF into "?".
    return text.toLatin1();
}

QByteArray latin1WithCharRefs(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() <= 0xff) {
            out.append(char(c.unicode()));
            continue;
        }
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
            ++i;
        } else if (c.isSurrogate()) {
            out.append('?'); // half a pair names no character
            continue;
        }
        out.append("&#").append(QByteArray::number(quint32(code))).append(';');
    }
    return out;
}

QByteArray formEncoded(const QByteArray& bytes)
{
    return bytes.toPercentEncoding();
}

QString bodyText(const QByteArray& body)
{
    const qsizetype zero = body.indexOf('\0');
    return QString::fromLatin1(zero < 0 ? body : body.left(zero));
}

bool bodyContains(const QByteArray& body, QLatin1StringView marker)
{
    return bodyText(body).contains(marker, Qt::CaseSensitive);
}

} // namespace sitetext
