#include "pages.h"

#include <QRegularExpression>

namespace testsite::pages {

namespace {

QString head(const QString& title)
{
    return QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
                          "<html>\n<head>\n"
                          "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                          "charset=ISO-8859-1\">\n"
                          "<title>%1</title>\n"
                          "<style type=\"text/css\">body{font-family:sans-serif} "
                          ".error{color:#a00} .ok{color:#070} "
                          "table.list td{padding:2px 8px}</style>\n"
                          "</head>\n<body>\n")
        .arg(title);
}

QString foot()
{
    return QStringLiteral("<hr>\n<p class=\"footer\">orva CMS</p>\n</body>\n</html>\n");
}

QString adminNavigation()
{
    return QStringLiteral("<div id=\"menu\"><a href=\"admin.php\">&Uuml;bersicht</a> | "
                          "<a href=\"?gallery\">Galerie</a> | "
                          "<a href=\"?gallery-new\">Neue Kategorie</a> | "
                          "<a href=\"?news\">News</a> | "
                          "<a href=\"index.php\">Zur Webseite</a></div>\n");
}

QString pictureSource(int id, const Picture& picture)
{
    return QStringLiteral("pictures/%1/%2").arg(id).arg(escapeHtml(picture.fileName));
}

QString pictureList(int id, const QList<Picture>& pictures)
{
    if (pictures.isEmpty())
        return QStringLiteral("<p>Diese Kategorie enth&auml;lt noch keine Bilder.</p>\n");
    QString html = QStringLiteral("<div class=\"pictures\">\n");
    for (const Picture& picture : pictures) {
        html += QStringLiteral("<div class=\"picture\"><a href=\"%1\"><img src=\"%1\" "
                               "alt=\"%2\" style=\"max-width:320px;max-height:240px\"></a>"
                               "<p class=\"comment\">%3</p></div>\n")
                    .arg(pictureSource(id, picture), escapeHtml(picture.fileName),
                         escapeHtml(picture.comment));
    }
    return html + QStringLiteral("</div>\n");
}

} // namespace

QString escapeHtml(const QString& text)
{
    static const QRegularExpression bareAmpersand(
        QStringLiteral("&(?!#[0-9]+;|#[xX][0-9a-fA-F]+;)"));
    QString out = text;
    out.replace(bareAmpersand, QStringLiteral("&amp;"));
    out.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    out.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    out.replace(QLatin1Char('"'), QStringLiteral("&quot;"));
    return out;
}

QString indent(int depth)
{
    return QStringLiteral("&nbsp;&nbsp;").repeated(qMax(0, depth));
}

QString categoryRow(const Category& category, int pictureCount)
{
    return QStringLiteral("<tr><td>%1<a href=\"?gallery-S%2\">%3</a></td><td>%4 Bilder</td>"
                          "<td><a href=\"?gallery-edit-%2\">bearbeiten</a></td></tr>\n")
        .arg(indent(category.depth), QString::number(category.id), category.name,
             QString::number(pictureCount));
}

QString loginPage(const QString& message)
{
    QString html = head(QStringLiteral("orva Login"));
    html += QStringLiteral("<h1>Anmeldung</h1>\n");
    if (!message.isEmpty())
        html += QStringLiteral("<p class=\"error\">%1</p>\n").arg(message);
    html += QStringLiteral("<form method=\"post\" action=\"admin.php\">\n"
                           "<table>\n"
                           "<tr><th>Benutzer:</th><th><input type=\"text\" name=\"name\"></th>"
                           "</tr>\n"
                           "<tr><th>Passwort:</th><th><input type=\"password\" name=\"pass\">"
                           "</th></tr>\n"
                           "</table>\n"
                           "<input type=\"submit\" name=\"user_login_sub\" value=\"Login\">\n"
                           "</form>\n");
    return html + foot();
}

QString adminMenu(const QString& user)
{
    QString html = head(QStringLiteral("orva AdminMenu"));
    html += QStringLiteral("<h1>Administration</h1>\n");
    html += adminNavigation();
    html += QStringLiteral("<p>Angemeldet als <b>%1</b>.</p>\n"
                           "<ul class=\"admin\">\n"
                           "<li><a href=\"?gallery\">Galerie verwalten</a></li>\n"
                           "<li><a href=\"?news\">News schreiben</a></li>\n"
                           "<li><a href=\"?gallery-new\">Neue Galerie-Kategorie</a></li>\n"
                           "</ul>\n")
                .arg(escapeHtml(user));
    return html + foot();
}

QString galleryAdmin(const QList<Category>& categories, const QMap<int, int>& counts,
                     bool withCategories)
{
    QString html = head(QStringLiteral("orva Galerie"));
    html += QStringLiteral("<h1>Galerie</h1>\n");
    html += adminNavigation();
    html += QStringLiteral("<h2>Kategorien</h2>\n"
                           "<table class=\"list\" border=\"0\" cellspacing=\"1\">\n"
                           "<tr><th>Kategorie</th><th>Bilder</th><th>Aktion</th></tr>\n");
    if (withCategories && !categories.isEmpty()) {
        for (const Category& category : categories)
            html += categoryRow(category, counts.value(category.id));
    } else {
        html += QStringLiteral("<tr><th colspan=\"3\">Es gibt noch keine Kategorien.</th>"
                               "</tr>\n");
    }
    html += QStringLiteral("</table>\n"
                           "<p><a href=\"?gallery-new\">Neue Kategorie anlegen</a></p>\n");
    return html + foot();
}

QString categoryAdmin(const Category* category, int id, const QList<Picture>& pictures)
{
    QString html = head(QStringLiteral("orva Galerie"));
    html += adminNavigation();
    if (!category) {
        html += QStringLiteral("<p class=\"error\">Die Kategorie %1 gibt es nicht.</p>\n").arg(id);
        return html + foot();
    }
    html += QStringLiteral("<h1>Kategorie: %1</h1>\n").arg(category->name);
    html += QStringLiteral("<form method=\"post\" action=\"admin.php?gallery-uploadImages-%1\" "
                           "enctype=\"multipart/form-data\">\n"
                           "<p>Bild: <input type=\"file\" name=\"file[]\"></p>\n"
                           "<p>Beschreibung: <input type=\"text\" name=\"besch[]\" size=\"60\">"
                           "</p>\n"
                           "<input type=\"hidden\" name=\"hochladen\" value=\"yes\">\n"
                           "<input type=\"submit\" name=\"submit\" value=\"Absenden\">\n"
                           "</form>\n")
                .arg(id);
    html += QStringLiteral("<h2>Bilder (%1)</h2>\n").arg(pictures.size());
    html += pictureList(id, pictures);
    html += QStringLiteral("<p><a href=\"index.php?gallery-%1\">&Ouml;ffentliche Ansicht</a></p>\n")
                .arg(id);
    return html + foot();
}

QString uploadDone(int id, const QString& storedName)
{
    QString html = head(QStringLiteral("orva Galerie"));
    html += adminNavigation();
    html += QStringLiteral("<p class=\"ok\">Das Bild wurde erfolgreich hochgeladen.</p>\n"
                           "<p>Gespeichert als %1.</p>\n"
                           "<p><a href=\"?gallery-S%2\">Zur&uuml;ck zur Kategorie</a></p>\n")
                .arg(escapeHtml(storedName), QString::number(id));
    return html + foot();
}

QString uploadFailed(int id, const QString& reason)
{
    QString html = head(QStringLiteral("orva Galerie"));
    html += adminNavigation();
    html += QStringLiteral("<p class=\"error\">Fehler beim Hochladen: %1</p>\n").arg(reason);
    if (id > 0)
        html += QStringLiteral("<p><a href=\"?gallery-S%1\">Zur&uuml;ck zur Kategorie</a></p>\n")
                    .arg(id);
    return html + foot();
}

QString publicIndex(const QList<Category>& categories, const QMap<int, int>& counts)
{
    QString html = head(QStringLiteral("Galerie"));
    html += QStringLiteral("<h1>Galerie</h1>\n<ul class=\"categories\">\n");
    for (const Category& category : categories) {
        html += QStringLiteral("<li style=\"margin-left:%1em\"><a href=\"index.php?gallery-%2\">"
                               "%3</a> (%4 Bilder)</li>\n")
                    .arg(QString::number(2 * category.depth), QString::number(category.id),
                         category.name, QString::number(counts.value(category.id)));
    }
    html += QStringLiteral("</ul>\n<p><a href=\"admin.php\">Administration</a></p>\n");
    return html + foot();
}

QString publicCategory(const Category* category, int id, const QList<Picture>& pictures)
{
    QString html = head(QStringLiteral("Galerie"));
    html += QStringLiteral("<p><a href=\"index.php\">Alle Kategorien</a></p>\n");
    if (!category) {
        html += QStringLiteral("<p class=\"error\">Die Kategorie %1 gibt es nicht.</p>\n").arg(id);
        return html + foot();
    }
    html += QStringLiteral("<h1>%1</h1>\n").arg(category->name);
    html += pictureList(id, pictures);
    return html + foot();
}

QString notFound()
{
    return head(QStringLiteral("orva")) +
           QStringLiteral("<p class=\"error\">Diese Seite gibt es nicht.</p>\n"
                          "<p><a href=\"index.php\">Zur Startseite</a></p>\n") +
           foot();
}

QString refused()
{
    return head(QStringLiteral("orva")) +
           QStringLiteral("<p class=\"error\">Zugriff verweigert.</p>\n") + foot();
}

QString redirected()
{
    return QStringLiteral("<html><body><p>Diese Seite ist umgezogen.</p></body></html>\n");
}

} // namespace testsite::pages
